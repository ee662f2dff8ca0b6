#include "settings/recording_page.h"

#include "link/modbus.h"
#include "settings/block_io.h"
#include "settings/encodings.h"
#include "settings/field_lists.h"
#include "settings/record_layout.h"
#include "ui/controls.h"
#include "ui/date_field.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QDate>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTime>
#include <QVBoxLayout>

namespace vexs {

namespace {

constexpr int kClockRegister = 10006;
constexpr int kClockRegisters = 3;
constexpr int kClockWriteWaitMs = 5000;
constexpr int kClockReadRegisters = 32;
constexpr int kClockReadWaitMs = 100;
constexpr int kClockBytes = 6;   // sec, min, hour, day, month, year mod 100

const QString kBadTime = QStringLiteral("Неверное время");

QString twoDigits(int value)
{
    return PadLeft(QString::number(value), 2, QLatin1Char('0'));
}

QString timeText(int hours, int minutes, int seconds)
{
    return twoDigits(hours) + QLatin1Char(':') + twoDigits(minutes) + QLatin1Char(':')
           + twoDigits(seconds);
}

} // namespace

RecordingPage::RecordingPage(PageContext &context, QWidget *parent) : ChannelPage(context, parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(buildRecordingGroup(), 0, Qt::AlignTop);
    row->addWidget(buildClockGroup(), 0, Qt::AlignTop);
    row->addStretch(1);
}

QWidget *RecordingPage::buildRecordingGroup()
{
    auto *group = new QGroupBox(QStringLiteral(" Регистрация/Архивирование  "), this);
    auto *grid = new QGridLayout(group);
    grid->setHorizontalSpacing(8);
    grid->setColumnMinimumWidth(2, 24);

    QFont heading = font();
    heading.setBold(true);
    auto *reg = makeLabel(QStringLiteral("Регистрация"), group);
    reg->setFont(heading);
    grid->addWidget(reg, 0, 0, 1, 2);
    auto *arh = makeLabel(QStringLiteral("Архивирование"), group);
    arh->setFont(heading);
    grid->addWidget(arh, 0, 3, 1, 2);

    // Recording column.
    auto list = [](const QString &name) { return makeFieldList(recordingLayout(), name); };
    addFormRow(grid, 1, QStringLiteral("Вкл/Выкл"), list(QStringLiteral("ComboBoxRegVkl")));
    addFormRow(grid, 2, QStringLiteral("Выбор канала"), list(QStringLiteral("ComboBoxRegCan")));
    addFormRow(grid, 3, QStringLiteral("Скорость оборота"), list(QStringLiteral("ComboBoxRegSpeed")));
    addFormRow(grid, 4, QStringLiteral("Поправка, ед.изм"), makeEdit(QStringLiteral("EditRegCorr")),
               QString::fromLatin1(label::RegCorr));

    // Archiving column.
    grid->addWidget(makeLabel(QStringLiteral("Период"), group), 1, 3);
    grid->addWidget(list(QStringLiteral("ComboBoxRegArhPeriod1")), 1, 4);
    for (int k = 1; k <= 8; ++k) {
        // Measurement channels have named labels, relabelled by the bulk read.
        QLabel *name = k <= 4 ? makeLabel(QStringLiteral("Канал ") + QString::number(k), group,
                                          composedName(QStringLiteral("StaticTextRegArhCan"), k))
                              : makeLabel(QStringLiteral("Канал М") + QString::number(k - 4), group);
        grid->addWidget(name, 1 + k, 3);
        grid->addWidget(list(composedName(QStringLiteral("ComboBoxRegArhVkl"), k)), 1 + k, 4);
    }

    const auto buttons = makeReadWriteButtons(
        m_ctx, QStringLiteral("ButtonReadNastrReg"), QStringLiteral("ButtonWriteNastrReg"),
        [this] { ButtonReadNastrRegClick(); }, [this] { ButtonWriteNastrRegClick(); });
    grid->addLayout(buttons.row(RowAlign::Right), 10, 0, 1, 5);
    return group;
}

QWidget *RecordingPage::buildClockGroup()
{
    auto *group = new QGroupBox(QStringLiteral(" Дата/Время "), this);
    auto *grid = new QGridLayout(group);

    grid->addWidget(makeLabel(QStringLiteral("Дата:"), group), 0, 0);
    auto *date = new DateField(group);
    date->setObjectName(QStringLiteral("DateEdit1"));
    grid->addWidget(date, 0, 1);

    grid->addWidget(makeLabel(QStringLiteral("Время:"), group), 1, 0);
    QLineEdit *time = makeEdit(QStringLiteral("MaskEditTime"), group);
    time->setInputMask(QStringLiteral("99:99:99;_"));
    time->setText(QStringLiteral("00:00:00"));
    grid->addWidget(time, 1, 1);

    auto *setNow =
        makeButton(QStringLiteral("ButtonSetDate"), QStringLiteral("Установить текущую"), group);
    grid->addWidget(setNow, 2, 0, 1, 2);
    connectAction(setNow, m_ctx.boxes, [this] { ButtonSetDateClick(); });
    const auto buttons = makeReadWriteButtons(
        m_ctx, QStringLiteral("ButtonReadDateTime"), QStringLiteral("ButtonWriteDateTime"),
        [this] { ButtonReadDateTimeClick(); }, [this] { ButtonWriteDateTimeClick(); });
    grid->addLayout(buttons.row(), 3, 0, 1, 2);
    return group;
}

void RecordingPage::ButtonSetDateClick()
{
    // One reading of the clock: date and time apart could straddle midnight.
    const QDateTime now = QDateTime::currentDateTime();
    m_ctx.controls.setDate(QStringLiteral("DateEdit1"), now.date());
    m_ctx.controls.setText(QStringLiteral("MaskEditTime"),
                           timeText(now.time().hour(), now.time().minute(), now.time().second()));
}

std::optional<int> RecordingPage::timeFieldValue(QStringView field)
{
    qsizetype i = 0;
    while (i < field.size() && field[i] == QLatin1Char(' '))
        ++i;
    if (i == field.size())
        return std::nullopt;
    int value = 0;
    for (; i < field.size(); ++i) {
        const QChar c = field[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = 10 * value + (c.unicode() - '0');
        if (value > 1000000)
            return std::nullopt; // far outside every range; keeps the sum bounded
    }
    return value;
}

void RecordingPage::ButtonWriteDateTimeClick()
{
    // An empty date field would otherwise send a date nobody chose.
    const QDate date = m_ctx.controls.date(QStringLiteral("DateEdit1"));
    if (!date.isValid()) {
        m_ctx.boxes.error(QStringLiteral("Не задана дата"));
        return;
    }
    if (const QString century = dateOutsideCentury(date); !century.isEmpty()) {
        m_ctx.boxes.error(century);
        return;
    }

    // Characters 1-2, 4-5 and 7-8 of the time text, checked in that order.
    // A longer text (a three-digit byte read from the device, shown whole)
    // would otherwise go out cut to a time nobody saw.
    const QString time = m_ctx.controls.text(QStringLiteral("MaskEditTime"));
    if (time.size() > 8) {
        m_ctx.boxes.error(kBadTime);
        return;
    }
    const QStringView text(time);
    const struct
    {
        int at;
        int max;
    } fields[3] = {{0, 23}, {3, 59}, {6, 59}};
    int values[3] = {};
    for (int i = 0; i < 3; ++i) {
        const auto v = timeFieldValue(text.mid(fields[i].at, 2));
        if (!v || *v > fields[i].max) {
            m_ctx.boxes.error(kBadTime);
            return;
        }
        values[i] = *v;
    }

    QByteArray record(kClockBytes, '\0');
    record[0] = char(values[2]);
    record[1] = char(values[1]);
    record[2] = char(values[0]);
    record[3] = char(date.day());
    record[4] = char(date.month());
    record[5] = char(date.year() % 100);

    // The recorder sets its clock within the wait, as it carries out a
    // calibration step: with fast exchange the acknowledgement does not end
    // it, and nothing else goes out before it is over.
    if (!journalReady(m_ctx))
        return;
    const bool ok = sendCommand(m_ctx.modbus, kClockRegister, kClockRegisters, record, kClockWriteWaitMs);
    if (ok)
        m_ctx.boxes.info(kDone);
    else
        m_ctx.boxes.error(noLinkText(m_ctx.modbus));
    const QString set = QStringLiteral("%1 %2:%3:%4")
                            .arg(date.toString(QStringLiteral("dd.MM.yyyy")))
                            .arg(values[0], 2, 10, QLatin1Char('0'))
                            .arg(values[1], 2, 10, QLatin1Char('0'))
                            .arg(values[2], 2, 10, QLatin1Char('0'));
    journalWrite(m_ctx, QStringLiteral("Часы прибора"), {{QStringLiteral("Дата и время"), QString(), set}}, ok,
                 journalOutcome(m_ctx.modbus, ok));
}

void RecordingPage::ButtonReadDateTimeClick()
{
    // At 9600 bit/s request and reply alone take 80 ms of the 100: the wait
    // grows with the line time, as the poll's does.
    const std::optional<QByteArray> clock =
        readBlock(m_ctx.modbus, true, {{0, kClockReadRegisters}},
                  readWaitMs(m_ctx.link, kClockReadWaitMs, kClockReadRegisters));
    if (!clock) {
        m_ctx.boxes.error(QStringLiteral("Нет связи"));
        return;
    }
    auto byte = [&clock](int i) { return int(quint8(clock->at(i))); };

    // The device keeps only the year within its century; the century is the
    // workstation's.
    const int year = QDate::currentDate().year() / 100 * 100 + byte(5);
    const QDate date(year, byte(4), byte(3));
    // A year byte past 99 names no year within the century: as impossible
    // as month 0, it keeps the date shown.
    if (date.isValid() && byte(5) <= 99)
        m_ctx.controls.setDate(QStringLiteral("DateEdit1"), date);
    m_ctx.controls.setText(QStringLiteral("MaskEditTime"), timeText(byte(2), byte(1), byte(0)));
    m_ctx.boxes.info(kDone);
}

void RecordingPage::relabelChannels(const ChannelPresence &presence)
{
    for (int n = 1; n <= 4; ++n) {
        const QString item = channelName(n, presence.absent[n - 1]);
        m_ctx.controls.setItemText(QStringLiteral("ComboBoxRegCan"), n - 1, item);
        m_ctx.controls.setText(composedName(QStringLiteral("StaticTextRegArhCan"), n), QLatin1Char(' ') + item);
    }
}

} // namespace vexs
