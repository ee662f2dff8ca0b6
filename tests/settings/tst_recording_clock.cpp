// The recording block and the device clock against the simulated recorder.
#include "settings/encodings.h"
#include "ui/controls.h"
#include "sim/recorder_model.h"
#include "tests/support/frame_fields.h"
#include "shell/connection_bar.h"
#include "tests/support/window_fixture.h"

#include <QDate>
#include <QLineEdit>
#include <QLocale>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTime>
#include <QtEndian>

#include <memory>

using namespace vexs;
using namespace vexs::test;

namespace {

constexpr int kRecordingRegister = 728;
constexpr int kClockRegister = 10006;

const QString kNoLink = QStringLiteral("Нет связи с прибором");
const QString kBadTime = QStringLiteral("Неверное время");
const QString kCorrMessage = QStringLiteral("Поправка, ед.изм.Неверное значение");

QByteArray floatBytes(float v)
{
    QByteArray b(4, '\0');
    writeFloat(b, 0, v);
    return b;
}

// 16 bytes: on, channel, speed, period, correction, archive switches 1..8.
QByteArray recordingBlock(int on, int channel, int speed, int period, float corr,
                          const QByteArray &archive)
{
    QByteArray b;
    b.append(char(on)).append(char(channel)).append(char(speed)).append(char(period));
    b.append(floatBytes(corr));
    b.append(archive);
    return b;
}

QString name(const char *prefix, int n)
{
    return QString::fromLatin1(prefix) + QString::number(n);
}

// Types into a masked edit as a user would, from its first position; '>'
// presses the right arrow, leaving a position unfilled.
void typeMasked(QLineEdit *edit, const QString &keys)
{
    edit->setFocus();
    edit->clear();
    edit->setCursorPosition(0);
    for (const QChar c : keys) {
        if (c == QLatin1Char('>'))
            QTest::keyClick(edit, Qt::Key_Right);
        else
            QTest::keyClicks(edit, QString(c));
    }
}

int secondsOfDay(const QByteArray &clock)
{
    return 3600 * quint8(clock[2]) + 60 * quint8(clock[1]) + quint8(clock[0]);
}

} // namespace

class TestRecordingClock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void pageStartsAsBuilt();

    void recordingReadWriteRoundTrip_data();
    void recordingReadWriteRoundTrip();
    void recordingWriteSendsEditedPage();
    void recordingCorrectionRefused_data();
    void recordingCorrectionRefused();
    void noReplyLeavesPage_data();
    void noReplyLeavesPage();

    void setCurrentDateCopiesClock();
    void clockWriteRefusesDate_data();
    void clockWriteRefusesDate();
    void clockWriteRefusesTime_data();
    void clockWriteRefusesTime();
    void clockWriteAndReadBack_data();
    void clockWriteAndReadBack();
    void clockRead_data();
    void timeReadPastTheMaskIsNotWritten();
    void clockReadAt9600();
    void clockWriteKeepsItsWaitInFastExchange();
    void clockRead();

private:
    IControls &c() { return m_fx->controls(); }
    RecorderModel &model() { return m_fx->sim().model(); }
    QLineEdit *timeEdit() { return m_fx->window().findChild<QLineEdit *>(QStringLiteral("MaskEditTime")); }

    std::unique_ptr<WindowFixture> m_fx;
};

void TestRecordingClock::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    m_fx = std::make_unique<WindowFixture>();
    m_fx->revealEverything();
    m_fx->window().selectNode(7);
}

void TestRecordingClock::cleanupTestCase()
{
    m_fx.reset();
}

void TestRecordingClock::init()
{
    m_fx->sim().faults().clear();
    model().unfreezeLiveRecord();
    m_fx->boxes.clear();
    m_fx->clearRequests();
}

void TestRecordingClock::pageStartsAsBuilt()
{
    // Lists the device's bytes index into: their item counts are the ranges.
    QCOMPARE(c().itemCount(QStringLiteral("ComboBoxRegCan")), 9);
    QCOMPARE(c().itemText(QStringLiteral("ComboBoxRegCan"), 8), QString());
    QCOMPARE(c().itemText(QStringLiteral("ComboBoxRegCan"), 4), QStringLiteral("Канал М1"));
    QCOMPARE(c().itemCount(QStringLiteral("ComboBoxRegSpeed")), 13);
    QCOMPARE(c().itemText(QStringLiteral("ComboBoxRegSpeed"), 12), QStringLiteral("192ч"));
    QCOMPARE(c().itemCount(QStringLiteral("ComboBoxRegArhPeriod1")), 16);
    QCOMPARE(c().itemText(QStringLiteral("ComboBoxRegArhPeriod1"), 15), QStringLiteral("1ч"));
    QCOMPARE(c().text(QStringLiteral("StaticTextRegCorr")), QStringLiteral("Поправка, ед.изм"));
    QCOMPARE(c().text(QStringLiteral("StaticTextRegArhCan4")), QStringLiteral("Канал 4"));
    QVERIFY(c().date(QStringLiteral("DateEdit1")).isNull());
    QCOMPARE(c().text(QStringLiteral("MaskEditTime")), QStringLiteral("00:00:00"));
}

void TestRecordingClock::recordingReadWriteRoundTrip_data()
{
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<int>("canIndex");
    QTest::addColumn<QString>("corrText");
    QTest::addColumn<QByteArray>("written");

    const QByteArray archive = QByteArray::fromHex("0100010001000100");
    const QByteArray plain = recordingBlock(1, 5, 12, 15, -20.0f, archive);
    QTest::newRow("every field") << plain << 5 << QStringLiteral("-20,000") << plain;

    const QByteArray ninth = recordingBlock(0, 8, 0, 3, 1.0f, archive);
    QTest::newRow("channel byte 8 is the empty ninth item") << ninth << 8 << QStringLiteral("1,000")
                                                             << ninth;

    // No selection goes back as 0xFF, whatever the device held.
    const QByteArray beyond = recordingBlock(1, 9, 2, 3, 0.5f, QByteArray::fromHex("0007000000000000"));
    QByteArray beyondWritten = beyond;
    beyondWritten[1] = char(0xFF);
    beyondWritten[9] = char(0xFF);
    QTest::newRow("bytes past the lists leave no selection") << beyond << -1 << QStringLiteral("0,500")
                                                             << beyondWritten;
}

void TestRecordingClock::recordingReadWriteRoundTrip()
{
    QFETCH(QByteArray, device);
    QFETCH(int, canIndex);
    QFETCH(QString, corrText);
    QFETCH(QByteArray, written);

    QVERIFY(model().setHoldingBytes(kRecordingRegister, device));
    m_fx->click(QStringLiteral("ButtonReadNastrReg"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{QStringLiteral("Выполнено")});
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxRegCan")), canIndex);
    QCOMPARE(c().text(QStringLiteral("EditRegCorr")), corrText);
    for (int k = 1; k <= 8; ++k) {
        const int b = quint8(device[7 + k]);
        QCOMPARE(c().itemIndex(name("ComboBoxRegArhVkl", k)), b < 2 ? b : -1);
    }

    // Written back over other contents, the device ends up with what the page shows.
    QVERIFY(model().setHoldingBytes(kRecordingRegister, QByteArray(16, '\x55')));
    m_fx->boxes.clear();
    m_fx->clearRequests();
    m_fx->click(QStringLiteral("ButtonWriteNastrReg"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{QStringLiteral("Выполнено")});
    const QList<QByteArray> sent = m_fx->requests();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(functionOf(sent[0]), 0x10);
    QCOMPARE(firstOf(sent[0]), kRecordingRegister);
    QCOMPARE(countOf(sent[0]), 8);
    QCOMPARE(model().holdingBytes(kRecordingRegister, 8).toHex(' '), written.toHex(' '));
}

void TestRecordingClock::recordingWriteSendsEditedPage()
{
    c().setItemIndex(QStringLiteral("ComboBoxRegVkl"), 1);
    c().setItemIndex(QStringLiteral("ComboBoxRegCan"), 7);
    c().setItemIndex(QStringLiteral("ComboBoxRegSpeed"), 4);
    c().setItemIndex(QStringLiteral("ComboBoxRegArhPeriod1"), 9);
    c().setText(QStringLiteral("EditRegCorr"), QStringLiteral(" 3.25 ")); // a full stop is accepted too
    for (int k = 1; k <= 8; ++k)
        c().setItemIndex(name("ComboBoxRegArhVkl", k), k % 2);

    m_fx->click(QStringLiteral("ButtonWriteNastrReg"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{QStringLiteral("Выполнено")});
    const QByteArray expected = recordingBlock(1, 7, 4, 9, 3.25f, QByteArray::fromHex("0100010001000100"));
    QCOMPARE(model().holdingBytes(kRecordingRegister, 8).toHex(' '), expected.toHex(' '));
}

void TestRecordingClock::recordingCorrectionRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("letters") << QStringLiteral("abc");
    QTest::newRow("empty") << QString();
    QTest::newRow("beyond single precision") << QStringLiteral("1e39");
    QTest::newRow("two separators") << QStringLiteral("1,2.3");
}

void TestRecordingClock::recordingCorrectionRefused()
{
    QFETCH(QString, text);
    const QByteArray before = model().holdingBytes(kRecordingRegister, 8);
    c().setText(QStringLiteral("EditRegCorr"), text);
    m_fx->click(QStringLiteral("ButtonWriteNastrReg"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kCorrMessage});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    QVERIFY(m_fx->requests().isEmpty());
    QCOMPARE(model().holdingBytes(kRecordingRegister, 8), before);
    c().setText(QStringLiteral("EditRegCorr"), QStringLiteral("0"));
}

void TestRecordingClock::noReplyLeavesPage_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("function");
    QTest::addColumn<QString>("message");
    QTest::newRow("recording read") << QStringLiteral("ButtonReadNastrReg") << 0x03 << kNoLink;
    QTest::newRow("recording write") << QStringLiteral("ButtonWriteNastrReg") << 0x10 << kNoLink;
    QTest::newRow("clock read") << QStringLiteral("ButtonReadDateTime") << 0x04 << QStringLiteral("Нет связи");
}

void TestRecordingClock::noReplyLeavesPage()
{
    QFETCH(QString, button);
    QFETCH(int, function);
    QFETCH(QString, message);

    c().setItemIndex(QStringLiteral("ComboBoxRegSpeed"), 7);
    c().setText(QStringLiteral("EditRegCorr"), QStringLiteral("2,500"));
    c().setDate(QStringLiteral("DateEdit1"), QDate(2021, 3, 4));
    c().setText(QStringLiteral("MaskEditTime"), QStringLiteral("01:02:03"));
    FaultRule silent;
    silent.kind = FaultRule::Silent;
    silent.function = function;
    m_fx->sim().faults().add(silent);

    m_fx->click(button);
    QCOMPARE(m_fx->boxes.firstLines(), QStringList{message});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    QCOMPARE(m_fx->requests().size(), 1);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxRegSpeed")), 7);
    QCOMPARE(c().text(QStringLiteral("EditRegCorr")), QStringLiteral("2,500"));
    QCOMPARE(c().date(QStringLiteral("DateEdit1")), QDate(2021, 3, 4));
    QCOMPARE(c().text(QStringLiteral("MaskEditTime")), QStringLiteral("01:02:03"));
}

void TestRecordingClock::setCurrentDateCopiesClock()
{
    c().setDate(QStringLiteral("DateEdit1"), QDate());
    const QDateTime before = QDateTime::currentDateTime();
    m_fx->click(QStringLiteral("ButtonSetDate"));
    const QDateTime after = QDateTime::currentDateTime();

    QVERIFY(m_fx->requests().isEmpty());
    QVERIFY(m_fx->boxes.boxes.isEmpty());
    const QDate date = c().date(QStringLiteral("DateEdit1"));
    QVERIFY(date == before.date() || date == after.date());
    const QTime shown = QTime::fromString(c().text(QStringLiteral("MaskEditTime")), QStringLiteral("hh:mm:ss"));
    QVERIFY(shown.isValid());
    const QDateTime at(date, shown);
    QVERIFY2(at >= before.addSecs(-1) && at <= after, qPrintable(at.toString()));
}

void TestRecordingClock::clockWriteRefusesDate_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("message");
    // Only the calendar, "Установить текущую" and a clock read fill the field.
    QTest::newRow("no date") << QDate() << QStringLiteral("Не задана дата");
    // The device keeps the year within its century.
    const int century = QDate::currentDate().year() / 100 * 100;
    QTest::newRow("next century") << QDate(century + 100, 1, 1)
                                  << QStringLiteral("Год должен быть от %1 до %2").arg(century).arg(century + 99);
}

void TestRecordingClock::clockWriteRefusesDate()
{
    QFETCH(QDate, date);
    QFETCH(QString, message);
    c().setDate(QStringLiteral("DateEdit1"), date);
    c().setText(QStringLiteral("MaskEditTime"), QStringLiteral("12:00:00"));
    m_fx->click(QStringLiteral("ButtonWriteDateTime"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{message});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    QVERIFY(m_fx->requests().isEmpty());
}

void TestRecordingClock::clockWriteRefusesTime_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");
    QTest::newRow("minutes second position unfilled") << QStringLiteral("105>07") << QStringLiteral("10:5 :07");
    QTest::newRow("minutes both unfilled") << QStringLiteral("10>>07") << QStringLiteral("10:  :07");
    QTest::newRow("minutes 60") << QStringLiteral("106007") << QStringLiteral("10:60:07");
    QTest::newRow("hours 24") << QStringLiteral("240000") << QStringLiteral("24:00:00");
    QTest::newRow("seconds 60") << QStringLiteral("235960") << QStringLiteral("23:59:60");
    QTest::newRow("seconds last position unfilled") << QStringLiteral("10006") << QStringLiteral("10:00:6 ");
    QTest::newRow("nothing typed") << QString() << QStringLiteral("  :  :  ");
}

void TestRecordingClock::clockWriteRefusesTime()
{
    QFETCH(QString, keys);
    QFETCH(QString, shown);

    c().setDate(QStringLiteral("DateEdit1"), QDate(2024, 2, 29));
    typeMasked(timeEdit(), keys);
    QCOMPARE(c().text(QStringLiteral("MaskEditTime")), shown);
    m_fx->click(QStringLiteral("ButtonWriteDateTime"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kBadTime});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    QVERIFY(m_fx->requests().isEmpty());
}

void TestRecordingClock::clockWriteAndReadBack_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("record"); // sec, min, hour, day, month, year % 100

    QTest::newRow("29 February 2024, 10:00:05")
        << QDate(2024, 2, 29) << QStringLiteral("100005") << QStringLiteral("10:00:05")
        << QByteArray::fromHex("05000a1d0218");
    // The first minutes position left unfilled reads as one digit.
    QTest::newRow("minutes of one digit")
        << QDate(2031, 12, 31) << QStringLiteral("00>507") << QStringLiteral("00: 5:07")
        << QByteArray::fromHex("0705001f0c1f");
}

void TestRecordingClock::clockWriteAndReadBack()
{
    QFETCH(QDate, date);
    QFETCH(QString, keys);
    QFETCH(QString, shown);
    QFETCH(QByteArray, record);

    c().setDate(QStringLiteral("DateEdit1"), date);
    typeMasked(timeEdit(), keys);
    QCOMPARE(c().text(QStringLiteral("MaskEditTime")), shown);
    m_fx->click(QStringLiteral("ButtonWriteDateTime"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{QStringLiteral("Выполнено")});
    const QList<QByteArray> sent = m_fx->requests();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(functionOf(sent[0]), 0x10);
    QCOMPARE(firstOf(sent[0]), kClockRegister);
    QCOMPARE(countOf(sent[0]), 3);
    QCOMPARE(writeDataOf(sent[0]).toHex(' '), record.toHex(' '));

    // The device's clock runs on from what was written (the write waits 5 s).
    model().freezeLiveRecord();
    const QByteArray clock = model().liveRecord().left(6);
    QCOMPARE(clock.mid(3).toHex(' '), record.mid(3).toHex(' '));
    const int ran = secondsOfDay(clock) - secondsOfDay(record);
    QVERIFY2(ran >= 0 && ran < 30, qPrintable(clock.toHex(' ')));

    // Read back through the live record: the same date and the running time.
    c().setDate(QStringLiteral("DateEdit1"), QDate(2000, 1, 1));
    m_fx->boxes.clear();
    m_fx->click(QStringLiteral("ButtonReadDateTime"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{QStringLiteral("Выполнено")});
    QCOMPARE(c().date(QStringLiteral("DateEdit1")), date);
    const QString time = QStringLiteral("%1:%2:%3")
                             .arg(quint8(clock[2]), 2, 10, QLatin1Char('0'))
                             .arg(quint8(clock[1]), 2, 10, QLatin1Char('0'))
                             .arg(quint8(clock[0]), 2, 10, QLatin1Char('0'));
    QCOMPARE(c().text(QStringLiteral("MaskEditTime")), time);
}

void TestRecordingClock::clockRead_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("time");

    const QDate before(2023, 5, 6);
    const int century = QDate::currentDate().year() / 100 * 100;
    QTest::newRow("31 February keeps the date, sets the time")
        << QByteArray::fromHex("05000a1f0218") << before << QStringLiteral("10:00:05");
    QTest::newRow("century from the workstation")
        << QByteArray::fromHex("090507010163") << QDate(century + 99, 1, 1) << QStringLiteral("07:05:09");
    QTest::newRow("month 0 keeps the date")
        << QByteArray::fromHex("000000010018") << before << QStringLiteral("00:00:00");
    QTest::newRow("year byte over 99 keeps the date")
        << QByteArray::fromHex("0000000f06c8") << before << QStringLiteral("00:00:00");
    QTest::newRow("time bytes are shown unchecked")
        << QByteArray::fromHex("073d190f0618") << QDate(century + 24, 6, 15) << QStringLiteral("25:61:07");
}

void TestRecordingClock::clockRead()
{
    QFETCH(QByteArray, record);
    QFETCH(QDate, date);
    QFETCH(QString, time);

    c().setDate(QStringLiteral("DateEdit1"), QDate(2023, 5, 6));
    c().setText(QStringLiteral("MaskEditTime"), QStringLiteral("11:11:11"));
    model().setClockBytes(record);
    model().freezeLiveRecord();

    m_fx->click(QStringLiteral("ButtonReadDateTime"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{QStringLiteral("Выполнено")});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Info);
    const QList<QByteArray> sent = m_fx->requests();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(functionOf(sent[0]), 0x04);
    QCOMPARE(firstOf(sent[0]), 0);
    QCOMPARE(countOf(sent[0]), 32);
    QCOMPARE(c().date(QStringLiteral("DateEdit1")), date);
    QCOMPARE(c().text(QStringLiteral("MaskEditTime")), time);
}

// A seconds byte of 123 is shown whole; writing it back would cut it to 12.
void TestRecordingClock::timeReadPastTheMaskIsNotWritten()
{
    model().setClockBytes(QByteArray::fromHex("7b050a0f0618"));
    model().freezeLiveRecord();
    m_fx->click(QStringLiteral("ButtonReadDateTime"));
    QCOMPARE(c().text(QStringLiteral("MaskEditTime")), QStringLiteral("10:05:123"));
    m_fx->clearRequests();
    m_fx->boxes.boxes.clear();
    m_fx->click(QStringLiteral("ButtonWriteDateTime"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kBadTime});
    QVERIFY(m_fx->requests().isEmpty());
}

// The recorder sets its clock within the wait: with fast exchange on the
// acknowledgement must not end it, and no request follows before it is over.
void TestRecordingClock::clockWriteKeepsItsWaitInFastExchange()
{
    m_fx->window().connectionBar().setFastExchange(true);
    c().setDate(QStringLiteral("DateEdit1"), QDate(2024, 3, 9));
    c().setText(QStringLiteral("MaskEditTime"), QStringLiteral("12:00:00"));
    QElapsedTimer clock;
    clock.start();
    m_fx->click(QStringLiteral("ButtonWriteDateTime"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{QStringLiteral("Выполнено")});
    QVERIFY2(clock.elapsed() >= 4900, qPrintable(QString::number(clock.elapsed())));
}

// At 9600 bit/s the reply alone takes 72 ms: a recorder that answers 30 ms
// later is still heard.
void TestRecordingClock::clockReadAt9600()
{
    WindowFixture::Options o;
    o.latencyMs = 30;
    WindowFixture fx(o);
    fx.sim().setBaud(9600);
    fx.controls().setItemIndex(QStringLiteral("ComboBoxBaud"), 0);
    fx.sim().model().setClockBytes(QByteArray::fromHex("05070912030e"));
    fx.sim().model().freezeLiveRecord();
    fx.click(QStringLiteral("ButtonReadDateTime"));
    QCOMPARE(fx.boxes.texts(), QStringList{QStringLiteral("Выполнено")});
    QCOMPARE(fx.controls().text(QStringLiteral("MaskEditTime")), QStringLiteral("09:07:05"));
}

QTEST_MAIN(TestRecordingClock)
#include "tst_recording_clock.moc"
