#pragma once

#include "settings/block_io.h"
#include "ui/page.h"

class QVBoxLayout;

namespace vexs {

// "Выходные сигналы": one row per output (on/off and what drives it), each
// read and written as its own one-register record.
class OutputsPage : public ChannelPage
{
    Q_OBJECT
public:
    explicit OutputsPage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;
    // The output check group of the service subsystem sits on this page,
    // below the four rows.
    void addServiceGroup(QWidget *group);

    // Handlers shared by the rows; n is the output 1..4.
    void ButtonReadNastrOut1Click(int n) { readGroupIntoPage(m_ctx, GroupFamily::Output, n); }
    void ButtonWriteNastrOut1Click(int n) { writeGroupFromPage(m_ctx, GroupFamily::Output, n); }

    static constexpr int kOutputs = 4;

private:
    QVBoxLayout *m_layout = nullptr;
};

} // namespace vexs
