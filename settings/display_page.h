#pragma once

#include "ui/page_context.h"

#include <QWidget>

namespace vexs {


// "Индикация": the display block (registers 736..743) in two groups with
// buttons of their own: the display mode (736..738, read as 736..739) and the
// display channel (739..743).
class DisplayPage : public QWidget, public IChannelLabels
{
    Q_OBJECT
public:
    explicit DisplayPage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;

    void ButtonReadNastrIndClick();
    void ButtonWriteNastrIndClick();
    void ButtonReadNastrIndStatClick();
    void ButtonWriteNastrIndStatClick();

private:
    QWidget *buildModeGroup();
    QWidget *buildChannelGroup();

    PageContext &m_ctx;
};

} // namespace vexs
