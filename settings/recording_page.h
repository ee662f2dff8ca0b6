#pragma once

#include <QStringView>
#include "ui/page_context.h"

#include <QWidget>

#include <optional>

namespace vexs {


// "Регистрация/архивирование/Дата/Время": the recording block (registers
// 728..735) and the device clock (written at 10006..10008, read from input
// registers 0..2).
class RecordingPage : public QWidget, public IChannelLabels
{
    Q_OBJECT
public:
    explicit RecordingPage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;

    void ButtonReadNastrRegClick();
    void ButtonWriteNastrRegClick();
    void ButtonSetDateClick();
    void ButtonWriteDateTimeClick();
    void ButtonReadDateTimeClick();

    // A field of the time text as the ordinary decimal conversion takes it:
    // leading blanks are skipped, then only digits may follow (at least one).
    // " 5" is 5; "5 ", "  " and "" are refused.
    static std::optional<int> timeFieldValue(QStringView field);

private:
    QWidget *buildRecordingGroup();
    QWidget *buildClockGroup();

    PageContext &m_ctx;
};

} // namespace vexs
