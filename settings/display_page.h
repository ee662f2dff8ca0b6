#pragma once

#include "settings/block_io.h"
#include "ui/page.h"

namespace vexs {

// "Индикация": the display block (registers 736..743) in two groups with
// buttons of their own: the display mode (736..738, read as 736..739) and the
// display channel (739..743).
class DisplayPage : public ChannelPage
{
    Q_OBJECT
public:
    explicit DisplayPage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;

    void ButtonReadNastrIndClick() { readGroupIntoPage(m_ctx, GroupFamily::DisplayMode); }
    void ButtonWriteNastrIndClick() { writeGroupFromPage(m_ctx, GroupFamily::DisplayMode); }
    void ButtonReadNastrIndStatClick() { readGroupIntoPage(m_ctx, GroupFamily::DisplayChannel); }
    void ButtonWriteNastrIndStatClick();

private:
    QWidget *buildModeGroup();
    QWidget *buildChannelGroup();
};

} // namespace vexs
