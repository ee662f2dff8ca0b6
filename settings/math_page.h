#pragma once

#include "settings/block_io.h"
#include "ui/page.h"

namespace vexs {

// "Каналы математические": four sheets of identical layout, one per math
// channel М1..М4, each moving the channel's 298-byte record between the
// device and its controls.
class MathChannelsPage : public ChannelPage
{
    Q_OBJECT
public:
    explicit MathChannelsPage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;
    // Start-up state: one table row per sheet, row 1 holding "0" and "0".
    void resetTables();

    // Handlers shared by the four sheets; m is the math channel 1..4. A read
    // shows nothing unless every chunk arrived; chunks the device accepted
    // before a failed write stay written.
    void ButtonReadNastrMatCan1Click(int m) { readGroupIntoPage(m_ctx, GroupFamily::Math, m); }
    void ButtonWriteNastrMatCan1Click(int m) { writeGroupFromPage(m_ctx, GroupFamily::Math, m); }
    // Runs whenever the point counter of sheet m changes: the table gets
    // N + 1 rows (header row included), N clamped to 1..32. Values already
    // typed are left alone.
    void UpDownMatCanKolCoeff1ChangingEx(int m, int newValue);

    static constexpr int kSheets = 4;

private:
    QWidget *buildSheet(int m);
};

} // namespace vexs
