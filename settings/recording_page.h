#pragma once

#include "settings/block_io.h"
#include "ui/page.h"

#include <QStringView>

#include <optional>

namespace vexs {

// "Регистрация/архивирование/Дата/Время": the recording block (registers
// 728..735) and the device clock (written at 10006..10008, read from input
// registers 0..2).
class RecordingPage : public ChannelPage
{
    Q_OBJECT
public:
    explicit RecordingPage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;

    void ButtonReadNastrRegClick() { readGroupIntoPage(m_ctx, GroupFamily::Recording); }
    void ButtonWriteNastrRegClick() { writeGroupFromPage(m_ctx, GroupFamily::Recording); }
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
};

} // namespace vexs
