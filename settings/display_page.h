#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

// "Индикация": the display block (registers 736..743) in two groups with
// buttons of their own: the display mode (736..738, read as 736..739) and the
// display channel (739..743).
class DisplayPage : public QWidget
{
    Q_OBJECT
public:
    explicit DisplayPage(PageContext &context, QWidget *parent = nullptr);

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
