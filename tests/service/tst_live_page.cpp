// The measurement page: decoding of the live-data record, the poll's wait at
// each line speed, and the poll against the simulated recorder over the
// pseudo-terminal and over TCP.

#include "link/link_activity.h"
#include "link/modbus.h"
#include "service/live_page.h"
#include "service/live_record.h"
#include "ui/controls.h"
#include "ui/page_context.h"
#include "tests/service/page_harness.h"
#include "tests/support/window_fixture.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLocale>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <bit>
#include <cstring>

using namespace vexs;
using namespace vexs::test;

namespace {

const QString CR = QStringLiteral("\r\n");

void putFloat(QByteArray &record, int at, float value)
{
    const quint32 bits = std::bit_cast<quint32>(value);
    for (int i = 0; i < 4; ++i)
        record[at + i] = char((bits >> (8 * i)) & 0xFF);
}

// A record with one case of interest per field; the expected texts are
// written out below by hand.
QByteArray knownRecord()
{
    QByteArray r(96, '\0');
    const char clock[] = {5, 7, 9, 12, 3, 24};
    std::memcpy(r.data(), clock, 6);
    r[6] = char(0x01); // board status word 0x0401, low octet first
    r[7] = char(0x04);

    struct Channel { quint8 on, status; float param, fiz, temp; };
    const Channel channels[] = {
        {2, 0x21, 12.5f, 4.0f, 21.25f},
        {0, 0xFF, -3.75f, 0.0f, 19.0f},
        {1, 0x20, 12345678.0f, 0.5f, -1.5f},
        {1, 0x06, 0.0f, 100.0f, 25.125f},
    };
    for (int n = 0; n < 4; ++n) {
        const int at = 8 + 14 * n;
        r[at] = char(channels[n].on);
        r[at + 1] = char(channels[n].status);
        putFloat(r, at + 2, channels[n].param);
        putFloat(r, at + 6, channels[n].fiz);
        putFloat(r, at + 10, channels[n].temp);
    }
    struct Math { quint8 on, code; float value; };
    const Math math[] = {{1, 0xFF, 1234.5f}, {0, 0x00, -0.25f}, {3, 0x05, 7.0f}, {0, 0x40, 2.0f}};
    for (int m = 0; m < 4; ++m) {
        const int at = 64 + 6 * m;
        r[at] = char(math[m].on);
        r[at + 1] = char(math[m].code);
        putFloat(r, at + 2, math[m].value);
    }
    const quint8 setpoints[] = {1, 0, 0xFF, 0, 0, 0, 0, 7};
    for (int k = 0; k < 8; ++k)
        r[88 + k] = char(setpoints[k]);
    return r;
}

struct Expected
{
    const char *name;
    const char *text;
};

// What the page must show for knownRecord() with a decimal comma.
const Expected kExpectedTexts[] = {
    {"StaticTextOpros", "Есть связь"},
    {"StaticTextDateTime", "12.03.24  09:07:05"},
    {"StaticTextIzmerVkl1", "Вкл"},       {"StaticTextIzmerErr1", "33"},
    {"StaticTextIzmerParam1", "12,500"},  {"StaticTextIzmerFiz1", "4,000"},
    {"StaticTextIzmerTemp1", "21,250"},
    {"StaticTextIzmerVkl2", "Выкл"},      {"StaticTextIzmerErr2", "255"},
    {"StaticTextIzmerParam2", "-3,750"},  {"StaticTextIzmerFiz2", "0,000"},
    {"StaticTextIzmerTemp2", "19,000"},
    {"StaticTextIzmerVkl3", "Вкл"},       {"StaticTextIzmerErr3", "32"},
    {"StaticTextIzmerParam3", "1,23457E+7"}, {"StaticTextIzmerFiz3", "0,500"},
    {"StaticTextIzmerTemp3", "-1,500"},
    {"StaticTextIzmerVkl4", "Вкл"},       {"StaticTextIzmerErr4", "6"},
    {"StaticTextIzmerParam4", "0,000"},   {"StaticTextIzmerFiz4", "100,000"},
    {"StaticTextIzmerTemp4", "25,125"},
    {"StaticTextIzmerMatVkl1", "Вкл"},    {"StaticTextIzmerMatErr1", "255"},
    {"StaticTextIzmerMatParam1", "1234,500"},
    {"StaticTextIzmerMatVkl2", "Выкл"},   {"StaticTextIzmerMatErr2", "0"},
    {"StaticTextIzmerMatParam2", "-0,250"},
    {"StaticTextIzmerMatVkl3", "Вкл"},    {"StaticTextIzmerMatErr3", "5"},
    {"StaticTextIzmerMatParam3", "7,000"},
    {"StaticTextIzmerMatVkl4", "Выкл"},   {"StaticTextIzmerMatErr4", "64"},
    {"StaticTextIzmerMatParam4", "2,000"},
};

const QString kAllMathTexts = QStringLiteral(
    "Ошибка в канале измерения\r\nКанал измерения выключен\r\nДеление на ноль\r\n"
    "Количество точек в таблице меньше 2\r\nЗначение выходит за пределы таблицы\r\n");

const Expected kExpectedHints[] = {
    {"StaticTextIzmerErr1", "Модуль не проинизиализирован\r\n"},
    {"StaticTextIzmerErr2", "Модуль не установлен"},
    {"StaticTextIzmerErr3", ""},
    {"StaticTextIzmerErr4", "Модуль неисправен\r\nКоэффициенты калибровки некорректны\r\n"},
    {"StaticTextIzmerMatErr2", "Нет ошибок"},
    {"StaticTextIzmerMatErr3", "Ошибка в канале измерения\r\nДеление на ноль\r\n"},
    {"StaticTextIzmerMatErr4", ""},
};

const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

// Everything the poll writes, to compare two moments.
QStringList screenState(IControls &c)
{
    QStringList state;
    for (const Expected &e : kExpectedTexts) {
        const QString name = QString::fromLatin1(e.name);
        if (name == QLatin1String("StaticTextOpros"))
            continue;
        state << c.text(name) << c.hint(name);
    }
    for (int row = 1; row < 12; ++row)
        state << c.cell(QStringLiteral("StringGridErr"), 1, row);
    for (int k = 1; k <= 8; ++k)
        state << c.background(composedName(QStringLiteral("StaticTextUstSost"), k)).name();
    return state;
}

LivePage *livePage(WindowFixture &fx)
{
    auto *page = fx.window().findChild<LivePage *>();
    if (!page)
        qFatal("no measurement page");
    return page;
}

QList<RequestLog::Entry> pollRequests(WindowFixture &fx)
{
    QList<RequestLog::Entry> polls;
    for (const RequestLog::Entry &e : fx.sim().requestLog().entries()) {
        if (e.frame.size() > 1 && quint8(e.frame[1]) == FunctionReadInput)
            polls << e;
    }
    return polls;
}

// Wire time of `octets` at `baud`, 10 bits an octet.
double wireMs(int octets, int baud)
{
    return octets * 10 * 1000.0 / baud;
}

} // namespace

class TestLivePage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    // --- the record as the page shows it ---------------------------------
    void clockText_data();
    void clockText();
    void moduleStatusHint_data();
    void moduleStatusHint();
    void mathErrorHint_data();
    void mathErrorHint();
    void boardStatus_data();
    void boardStatus();
    void recordOfOtherLength_data();
    void recordOfOtherLength();
    void pollWaitCoversTheLine_data();
    void pollWaitCoversTheLine();
    void pollUsesTheConnectionBar_data();
    void pollUsesTheConnectionBar();

    // --- the page in the window ------------------------------------------
    void startState();
    void pollFillsEveryField_data();
    void pollFillsEveryField();
    void silentDeviceChangesOnlyTheLinkStatus_data();
    void silentDeviceChangesOnlyTheLinkStatus();
    void startingTwiceKeepsOnePollASecond();
    void pollAt9600();

    // --- beside the values: units, the age of stale values, the legend --
    void errorLegendAgreesWithTheHints_data();
    void errorLegendAgreesWithTheHints();
    void dataAgeText_data();
    void dataAgeText();
    void unitsFollowTheLastRead_data();
    void unitsFollowTheLastRead();
};

void TestLivePage::clockText_data()
{
    QTest::addColumn<QByteArray>("octets"); // sec, min, hour, day, month, year
    QTest::addColumn<QString>("text");
    QTest::newRow("example") << hexBytes("05 07 09 0C 03 18") << "12.03.24  09:07:05";
    QTest::newRow("zeros") << hexBytes("00 00 00 01 01 00") << "01.01.00  00:00:00";
    QTest::newRow("seconds 123 keep all digits") << hexBytes("7B 00 00 01 01 00")
                                                 << "01.01.00  00:00:123";
    QTest::newRow("day 45 shown as is") << hexBytes("3B 3B 17 2D 0C 63") << "45.12.99  23:59:59";
    QTest::newRow("255 everywhere") << hexBytes("FF FF FF FF FF FF")
                                    << "255.255.255  255:255:255";
}

void TestLivePage::clockText()
{
    QFETCH(QByteArray, octets);
    QFETCH(QString, text);
    QByteArray record(96, '\0');
    record.replace(0, 6, octets);
    QCOMPARE(decodeLiveRecord(record)->clock, text);
}

void TestLivePage::moduleStatusHint_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("hint");
    QTest::newRow("0") << 0 << "Нет ошибок";
    QTest::newRow("255 alone") << 255 << "Модуль не установлен";
    QTest::newRow("0x21") << 0x21 << "Модуль не проинизиализирован" + CR;
    QTest::newRow("0x20 no text") << 0x20 << "";
    QTest::newRow("0xE0 no text") << 0xE0 << "";
    QTest::newRow("0x1F all five in bit order")
        << 0x1F
        << "Модуль не проинизиализирован" + CR + "Модуль неисправен" + CR
               + "Коэффициенты калибровки некорректны" + CR + "Неисправен датчик температуры"
               + CR + "Выход за пределы измерений" + CR;
    QTest::newRow("0xFE") << 0xFE
                          << "Модуль неисправен" + CR + "Коэффициенты калибровки некорректны"
                                 + CR + "Неисправен датчик температуры" + CR
                                 + "Выход за пределы измерений" + CR;
    QTest::newRow("0x18") << 0x18
                          << "Неисправен датчик температуры" + CR + "Выход за пределы измерений"
                                 + CR;
}

void TestLivePage::moduleStatusHint()
{
    QFETCH(int, status);
    QFETCH(QString, hint);
    QCOMPARE(vexs::moduleStatusHint(quint8(status)), hint);
    QByteArray record(96, '\0');
    record[9 + 14 * 2] = char(status); // channel 3
    const LiveView view = *decodeLiveRecord(record);
    QCOMPARE(view.channels[2].errorCode, QString::number(status));
    QCOMPARE(view.channels[2].errorHint, hint);
}

void TestLivePage::mathErrorHint_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("hint");
    QTest::newRow("0") << 0 << "Нет ошибок";
    QTest::newRow("255 lists all five") << 255 << kAllMathTexts;
    QTest::newRow("0x1F") << 0x1F << kAllMathTexts;
    QTest::newRow("0x02") << 0x02 << "Канал измерения выключен" + CR;
    QTest::newRow("0x10") << 0x10 << "Значение выходит за пределы таблицы" + CR;
    QTest::newRow("0x60 no text") << 0x60 << "";
}

void TestLivePage::mathErrorHint()
{
    QFETCH(int, code);
    QFETCH(QString, hint);
    QByteArray record(96, '\0');
    record[65 + 6 * 3] = char(code); // math channel 4
    const LiveView view = *decodeLiveRecord(record);
    QCOMPARE(view.math[3].errorCode, QString::number(code));
    QCOMPARE(view.math[3].errorHint, hint);
}

void TestLivePage::boardStatus_data()
{
    QTest::addColumn<QByteArray>("octets"); // record octets 6 and 7
    QTest::addColumn<QString>("faultRows"); // rows showing "Ошибка"
    QTest::newRow("0x0401") << hexBytes("01 04") << "1,11";
    QTest::newRow("0") << hexBytes("00 00") << "";
    QTest::newRow("high bits never show") << hexBytes("00 F8") << "";
    QTest::newRow("all") << hexBytes("FF FF") << "1,2,3,4,5,6,7,8,9,10,11";
    QTest::newRow("0x0200 pen") << hexBytes("00 02") << "10";
    QTest::newRow("0x0080 FLASH1") << hexBytes("80 00") << "8";
}

void TestLivePage::boardStatus()
{
    QFETCH(QByteArray, octets);
    QFETCH(QString, faultRows);
    QByteArray record(96, '\0');
    record.replace(6, 2, octets);
    const LiveView view = *decodeLiveRecord(record);
    const QStringList faults = faultRows.split(u',', Qt::SkipEmptyParts);
    for (int row = 1; row <= 11; ++row) {
        const QString expected = faults.contains(QString::number(row)) ? QStringLiteral("Ошибка")
                                                                         : QStringLiteral("OK");
        QCOMPARE(view.boardStatus[row - 1], expected);
    }
}

void TestLivePage::recordOfOtherLength_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("empty") << 0;
    QTest::newRow("95") << 95;
    QTest::newRow("97") << 97;
    QTest::newRow("101, a whole reply") << 101;
}

void TestLivePage::recordOfOtherLength()
{
    QFETCH(int, length);
    QVERIFY(!decodeLiveRecord(QByteArray(length, '\x01')));
    QVERIFY(!liveRecordOfReply(QByteArray(length == 101 ? 100 : length, '\x01')));
}

void TestLivePage::pollWaitCoversTheLine_data()
{
    QTest::addColumn<int>("baud");
    for (int baud : {9600, 19200, 38400, 57600, 115200})
        QTest::newRow(qPrintable(QString::number(baud))) << baud;
}

void TestLivePage::pollWaitCoversTheLine()
{
    QFETCH(int, baud);
    const int wait = pollWaitMs(true, baud);
    // Request and reply must fit with room for the device's turnaround; the
    // written 100 ms stands wherever they fit in it, and an extension stays
    // modest.
    const double line = wireMs(8 + 101, baud);
    QVERIFY2(wait >= line + 20, qPrintable(QString::number(wait)));
    QVERIFY(wait >= 100);
    if (line + 20 <= 100)
        QCOMPARE(wait, 100);
    QVERIFY(wait <= qMax(100.0, line + 100));
    QCOMPARE(pollWaitMs(false, baud), 100);
}

void TestLivePage::pollUsesTheConnectionBar_data()
{
    QTest::addColumn<int>("interface");
    QTest::addColumn<int>("baudIndex");
    QTest::addColumn<int>("minWait");
    QTest::addColumn<int>("maxWait");
    QTest::newRow("RS-485 9600") << 0 << 0 << 134 << 214;
    QTest::newRow("RS-485 19200") << 0 << 1 << 100 << 157;
    QTest::newRow("RS-485 115200") << 0 << 4 << 100 << 100;
    QTest::newRow("RS-485 no speed chosen") << 0 << -1 << 134 << 214;
    QTest::newRow("Ethernet, 9600 chosen") << 1 << 0 << 100 << 100;
}

void TestLivePage::pollUsesTheConnectionBar()
{
    QFETCH(int, interface);
    QFETCH(int, baudIndex);
    QFETCH(int, minWait);
    QFETCH(int, maxWait);
    PageHarness<LivePage> h;
    h.link.iface = interface;
    h.link.baud = baudIndex;
    h.page->TimerDataReadTimer();
    QCOMPARE(h.link.sent.size(), 1);
    QCOMPARE(h.link.sent[0].frame, hexBytes("01 04 00 00 00 30 F0 1E"));
    QVERIFY2(h.link.sent[0].waitMs >= minWait && h.link.sent[0].waitMs <= maxWait,
             qPrintable(QString::number(h.link.sent[0].waitMs)));
    QCOMPARE(h.controls.text(QStringLiteral("StaticTextOpros")), QStringLiteral("Есть связь"));
    QVERIFY(h.boxes.boxes.isEmpty());
}

void TestLivePage::startState()
{
    WindowFixture::Options options;
    options.sim = false;
    WindowFixture fx(options);
    IControls &c = fx.controls();

    auto *timer = fx.window().findChild<QTimer *>(QStringLiteral("TimerDataRead"));
    QVERIFY(timer);
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 1000);

    // The diagnostics grid as labelled at start-up.
    auto *grid = fx.window().findChild<QTableWidget *>(QStringLiteral("StringGridErr"));
    QVERIFY(grid);
    QCOMPARE(grid->columnCount(), 2);
    QCOMPARE(grid->rowCount(), 12);
    QCOMPARE(grid->columnWidth(0), 200);
    QCOMPARE(grid->rowHeight(5), 16);
    const QStringList titles = {"Диагностика", "Питание 5В", "Питание 3В", "Питание контроллера 3В",
                                "Состояние батарейки", "Обмен I2C", "Состояние FRAM", "Обмен SPI",
                                "Состояние FLASH1", "Состояние FLASH2", "Состояние пера",
                                "Калибровка пера"};
    for (int row = 0; row < 12; ++row) {
        QCOMPARE(c.cell(QStringLiteral("StringGridErr"), 0, row), titles[row]);
        QCOMPARE(c.cell(QStringLiteral("StringGridErr"), 1, row),
                 row == 0 ? QStringLiteral("Состояние") : QString());
    }

    QCOMPARE(c.text(QStringLiteral("StaticTextOpros")), QString());
    QCOMPARE(c.text(QStringLiteral("StaticTextDateTime")), QString());
    for (const Expected &e : kExpectedTexts) {
        const QString name = QString::fromLatin1(e.name);
        if (name.startsWith(QLatin1String("StaticTextIzmer"))) {
            QCOMPARE(c.text(name), QString());
            QCOMPARE(c.background(name), kWhite);
        }
    }
    for (int k = 1; k <= 8; ++k) {
        const QString name = composedName(QStringLiteral("StaticTextUstSost"), k);
        QCOMPARE(c.text(name), QStringLiteral("Уставка ") + QString::number(k));
        QCOMPARE(c.background(name), kWhite);
    }
    for (int n = 1; n <= 4; ++n)
        QCOMPARE(c.text(composedName(QStringLiteral("StaticTextCanIzm"), n)),
                 QStringLiteral("Канал ") + QString::number(n));

    // Start and stop send nothing, so a busy link does not disable them.
    LinkActivity::Scope busy(fx.window().activity());
    QVERIFY(fx.button(QStringLiteral("Button12"))->isEnabled());
    QVERIFY(fx.button(QStringLiteral("Button3"))->isEnabled());
    QVERIFY(!fx.button(QStringLiteral("Button11"))->isEnabled());
}

// Both ways to the recorder: the serial line and the gateway.
static void addLinkRows()
{
    QTest::addColumn<bool>("tcp");
    QTest::newRow("pty") << false;
    QTest::newRow("tcp") << true;
}

void TestLivePage::pollFillsEveryField_data()
{
    addLinkRows();
}

void TestLivePage::pollFillsEveryField()
{
    QFETCH(bool, tcp);
    WindowFixture fx;
    if (tcp)
        QVERIFY(fx.connectTcp());
    fx.sim().model().setLiveRecord(knownRecord());
    IControls &c = fx.controls();

    fx.click(QStringLiteral("Button3"));
    QTRY_COMPARE_WITH_TIMEOUT(c.text(QStringLiteral("StaticTextOpros")),
                              QStringLiteral("Есть связь"), 3000);
    fx.click(QStringLiteral("Button12"));
    QVERIFY(!fx.window().findChild<QTimer *>(QStringLiteral("TimerDataRead"))->isActive());

    QCOMPARE(pollRequests(fx).first().frame, hexBytes("01 04 00 00 00 30 F0 1E"));
    for (const Expected &e : kExpectedTexts)
        QCOMPARE(c.text(QString::fromLatin1(e.name)), QString::fromUtf8(e.text));
    for (const Expected &e : kExpectedHints)
        QCOMPARE(c.hint(QString::fromLatin1(e.name)), QString::fromUtf8(e.text));
    QCOMPARE(c.hint(QStringLiteral("StaticTextIzmerMatErr1")), kAllMathTexts);
    for (int row = 1; row <= 11; ++row)
        QCOMPARE(c.cell(QStringLiteral("StringGridErr"), 1, row),
                 row == 1 || row == 11 ? QStringLiteral("Ошибка") : QStringLiteral("OK"));
    const bool tripped[] = {true, false, true, false, false, false, false, true};
    for (int k = 1; k <= 8; ++k) {
        const QString name = composedName(QStringLiteral("StaticTextUstSost"), k);
        QCOMPARE(c.background(name), tripped[k - 1] ? kRed : kWhite);
        QCOMPARE(c.text(name), QStringLiteral("Уставка ") + QString::number(k));
    }
    QVERIFY(fx.boxes.boxes.isEmpty());
}

void TestLivePage::silentDeviceChangesOnlyTheLinkStatus_data()
{
    addLinkRows();
}

void TestLivePage::silentDeviceChangesOnlyTheLinkStatus()
{
    QFETCH(bool, tcp);
    WindowFixture fx;
    if (tcp)
        QVERIFY(fx.connectTcp());
    fx.sim().model().setLiveRecord(knownRecord());
    IControls &c = fx.controls();
    LivePage *page = livePage(fx);

    const QTime polled = QTime::currentTime();
    page->TimerDataReadTimer();
    QCOMPARE(c.text(QStringLiteral("StaticTextOpros")), QStringLiteral("Есть связь"));
    QCOMPARE(c.text(QStringLiteral("StaticTextOprosTime")), QString());
    const QStringList before = screenState(c);

    // The device goes quiet, and the record it would serve changes.
    fx.sim().faults().add(FaultRule{FaultRule::Silent});
    QByteArray other(96, '\0');
    fx.sim().model().setLiveRecord(other);
    page->TimerDataReadTimer();
    QCOMPARE(c.text(QStringLiteral("StaticTextOpros")), QStringLiteral("Нет связи"));
    QCOMPARE(screenState(c), before);
    // Kept values tell when they were polled (within the second it took).
    const QString age = c.text(QStringLiteral("StaticTextOprosTime"));
    QVERIFY2(age == "данные от " + polled.toString("hh:mm:ss")
                 || age == "данные от " + polled.addSecs(1).toString("hh:mm:ss"), qPrintable(age));
    QVERIFY(fx.boxes.boxes.isEmpty());

    // It answers again: the new record shows.
    fx.sim().faults().clear();
    page->TimerDataReadTimer();
    QCOMPARE(c.text(QStringLiteral("StaticTextOpros")), QStringLiteral("Есть связь"));
    QCOMPARE(c.text(QStringLiteral("StaticTextDateTime")), QStringLiteral("00.00.00  00:00:00"));
    QCOMPARE(c.text(QStringLiteral("StaticTextOprosTime")), QString());
    QCOMPARE(c.background(QStringLiteral("StaticTextUstSost1")), kWhite);
}

void TestLivePage::startingTwiceKeepsOnePollASecond()
{
    WindowFixture fx;
    auto *timer = fx.window().findChild<QTimer *>(QStringLiteral("TimerDataRead"));
    fx.clearRequests();
    fx.click(QStringLiteral("Button3"));
    QTest::qWait(300);
    fx.click(QStringLiteral("Button3"));
    QVERIFY(timer->isActive());
    QTest::qWait(3400); // ticks due at about 1, 2 and 3 s
    fx.click(QStringLiteral("Button12"));

    const QList<RequestLog::Entry> polls = pollRequests(fx);
    QVERIFY2(polls.size() == 3, qPrintable(QString::number(polls.size())));
    for (int i = 1; i < polls.size(); ++i)
        QVERIFY2(polls[i].atMs - polls[i - 1].atMs >= 900,
                 qPrintable(QString::number(polls[i].atMs - polls[i - 1].atMs)));
    QCOMPARE(fx.window().findChildren<QTimer *>(QStringLiteral("TimerDataRead")).size(), 1);

    // Stopped means stopped; stopping twice is harmless.
    fx.click(QStringLiteral("Button12"));
    QTest::qWait(1300);
    QCOMPARE(pollRequests(fx).size(), polls.size());
}

void TestLivePage::pollAt9600()
{
    WindowFixture fx;
    fx.sim().setBaud(9600);
    fx.controls().setItemIndex(QStringLiteral("ComboBoxBaud"), 0);
    fx.sim().model().setLiveRecord(knownRecord());

    // The plain 100 ms wait is too short for this line: the simulator's
    // pacing is real.
    QVERIFY(isFailureReply(fx.window().context().modbus.ReadInputRegisters(0, 48, 100)));
    QTest::qWait(300); // let that late reply land before the next exchange opens the port

    QElapsedTimer took;
    took.start();
    livePage(fx)->TimerDataReadTimer();
    QCOMPARE(fx.controls().text(QStringLiteral("StaticTextOpros")), QStringLiteral("Есть связь"));
    QCOMPARE(fx.controls().text(QStringLiteral("StaticTextDateTime")),
             QStringLiteral("12.03.24  09:07:05"));
    QVERIFY(took.elapsed() >= wireMs(8 + 101, 9600));
    QVERIFY(took.elapsed() < 1000); // still well inside the poll's second
}

void TestLivePage::errorLegendAgreesWithTheHints_data()
{
    QTest::addColumn<int>("line"); // 0: measurement channels, 1: math channels
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("hint");
    for (int code : {0, 1, 2, 4, 8, 16, 255})
        QTest::addRow("channel %d", code) << 0 << code << vexs::moduleStatusHint(quint8(code)).remove(CR);
    for (int code : {0, 1, 2, 4, 8, 16})
        QTest::addRow("math %d", code) << 1 << code << vexs::mathErrorHint(quint8(code)).remove(CR);
}

void TestLivePage::errorLegendAgreesWithTheHints()
{
    QFETCH(int, line);
    QFETCH(int, code);
    QFETCH(QString, hint);
    PageHarness<LivePage> h;
    const QStringList lines = h.controls.text(QStringLiteral("StaticTextErrLegend")).split(u'\n');
    QCOMPARE(lines.size(), 2);
    const QStringList entries = lines[line].section(QStringLiteral(": "), 1).split(QStringLiteral("; "));
    QCOMPARE(entries.size(), line == 0 ? 7 : 6); // each code once, nothing else
    QVERIFY2(entries.contains(QStringLiteral("%1 — %2").arg(code).arg(hint)), qPrintable(lines[line]));
}

void TestLivePage::dataAgeText_data()
{
    QTest::addColumn<QDateTime>("lastGood");
    QTest::addColumn<bool>("live");
    QTest::addColumn<QString>("text");
    const QDateTime yesterday(QDate(2024, 3, 11), QTime(23, 59, 58));
    QTest::newRow("no good poll yet") << QDateTime() << false << "";
    QTest::newRow("live") << yesterday.addSecs(3) << true << "";
    QTest::newRow("lost today") << yesterday.addSecs(3) << false << "данные от 00:00:01";
    QTest::newRow("lost since yesterday") << yesterday << false << "данные от 11.03.2024 23:59:58";
}

void TestLivePage::dataAgeText()
{
    QFETCH(QDateTime, lastGood);
    QFETCH(bool, live);
    QFETCH(QString, text);
    QCOMPARE(vexs::dataAgeText(lastGood, live, QDateTime(QDate(2024, 3, 12), QTime(0, 0, 5))), text);
}

void TestLivePage::unitsFollowTheLastRead_data()
{
    // Channel 2's units become "мА" in the recorder after the first click;
    // the last click of "lost" goes unanswered.
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("units"); // channels 1..4, then M1..M4
    const QStringList factory = {"кПа", "°C", "°C", "В", "%", "°C", "ед", "кПа"};
    QTest::newRow("nothing read") << QStringList() << QStringList(8, QString());
    QTest::newRow("bulk read") << QStringList{"Button11"} << factory;
    QTest::newRow("page read after it") << QStringList{"Button11", "ButtonReadNastrCan2"}
                                        << QStringList{"кПа", "мА", "°C", "В", "%", "°C", "ед", "кПа"};
    QTest::newRow("page read of M3 alone") << QStringList{"ButtonReadNastrMatCan3"}
                                           << QStringList{"", "", "", "", "", "", "ед", ""};
    QTest::newRow("lost") << QStringList{"Button11", "Button11"} << factory;
}

void TestLivePage::unitsFollowTheLastRead()
{
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, units);
    WindowFixture fx;
    for (int i = 0; i < clicks.size(); ++i) {
        if (i == 1) // channel 2's record starts at byte 40, its units at 22 in it
            QVERIFY(fx.sim().model().setHoldingBytes(31, toWindows1251("мА") + QByteArray(4, '\0')));
        if (QTest::currentDataTag() == QLatin1String("lost") && i == 1)
            fx.sim().faults().add(FaultRule{FaultRule::Silent});
        fx.click(clicks[i]);
    }
    for (int n = 1; n <= 4; ++n) {
        QCOMPARE(fx.controls().text(composedName(QStringLiteral("StaticTextIzmerEd"), n)), units[n - 1]);
        QCOMPARE(fx.controls().text(composedName(QStringLiteral("StaticTextIzmerMatEd"), n)), units[n + 3]);
    }
}

QTEST_MAIN(TestLivePage)
#include "tst_live_page.moc"
