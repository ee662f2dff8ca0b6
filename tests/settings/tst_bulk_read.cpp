// The bulk read "Считать настройки прибора": the request sequence and the
// identification block on their own (a scripted device, no waits), then end
// to end against the simulated recorder: the image, the 27 requests, the
// channel labels, and a read that fails midway and must change nothing.
#include "link/link_activity.h"
#include "link/modbus.h"
#include "link/tcp_client.h"
#include "settings/bulk_read.h"
#include "settings/encodings.h"
#include "settings/identification.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "settings/value_controls.h"
#include "ui/controls.h"
#include "ui/date_field.h"
#include "tests/support/captured_boxes.h"
#include "tests/support/window_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QProgressBar>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <memory>

using namespace vexs;
using namespace vexs::test;

namespace {

// "function register count" of a request frame.
QString summary(const QByteArray &frame)
{
    if (frame.size() < 6)
        return QStringLiteral("short frame ") + QString::fromLatin1(frame.toHex(' '));
    auto byte = [&frame](int i) { return int(quint8(frame.at(i))); };
    return QStringLiteral("%1 %2 %3").arg(byte(1)).arg(byte(2) * 256 + byte(3)).arg(byte(4) * 256 + byte(5));
}

QStringList summaries(const QList<QByteArray> &frames)
{
    QStringList s;
    for (const QByteArray &f : frames)
        s << summary(f);
    return s;
}

// The requests of a bulk read that stops after `blocks` settings blocks
// (25 = all of them) and then asks for the module status.
QStringList expectedRequests(bool identAnswered, int blocks)
{
    QStringList s{QStringLiteral("3 10012 11")};
    if (identAnswered) {
        for (int b = 0; b < std::min(blocks, 24); ++b)
            s << QStringLiteral("3 %1 32").arg(32 * b);
        if (blocks == 25)
            s << QStringLiteral("3 768 4");
    }
    s << QStringLiteral("4 0 48");
    return s;
}

// A device that answers reads of registers 0..771 from `area`, except the
// request numbered `failAt` (from 0), which gets no answer.
class ScriptedDevice : public IExchange, public ILinkSettings
{
public:
    QByteArray area;
    int failAt = -1;
    bool reset = false; // the failing request resets the connection
    QList<QByteArray> requests;
    QList<int> waits;

    QByteArray exchange(int waitMs, const QByteArray &request) override
    {
        requests << request;
        waits << waitMs;
        if (requests.size() - 1 == failAt && reset)
            throw ESocketError(QStringLiteral("Connection reset by peer"), 104, QStringLiteral("recv"));
        if (requests.size() - 1 == failAt)
            return {};
        const int first = quint8(request.at(2)) * 256 + quint8(request.at(3));
        const int count = quint8(request.at(4)) * 256 + quint8(request.at(5));
        QByteArray reply;
        reply += request.at(0);
        reply += request.at(1);
        reply += char(2 * count);
        reply += area.mid(2 * first, 2 * count);
        frames::appendCrc(reply);
        return reply;
    }
    quint8 slaveAddress() const override { return 1; }
    int interfaceIndex() const override { return 0; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return 4; }
};

QByteArray randomBytes(int n, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray bytes(n, '\0');
    for (char &b : bytes)
        b = char(rng.bounded(256));
    return bytes;
}

// What the configuration pages show, control by control: list indexes, edit
// texts, spinner positions, grid cells, dates.
QStringList pagesState(TformMain &w)
{
    QStringList state;
    for (int page = 2; page <= 9; ++page) {
        QWidget *sheet = w.findChild<QWidget *>(QStringLiteral("TabSheet%1").arg(page));
        if (!sheet)
            continue;
        for (QWidget *child : sheet->findChildren<QWidget *>()) {
            const QString name = child->objectName();
            if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
                continue;
            if (auto *combo = qobject_cast<QComboBox *>(child)) {
                state << name + QLatin1Char('=') + QString::number(combo->currentIndex());
            } else if (auto *date = qobject_cast<DateField *>(child)) {
                state << name + QLatin1Char('=') + date->value().toString(Qt::ISODate);
            } else if (auto *spin = qobject_cast<QSpinBox *>(child)) {
                state << name + QLatin1Char('=') + QString::number(spin->value());
            } else if (auto *edit = qobject_cast<QLineEdit *>(child)) {
                state << name + QLatin1Char('=') + edit->displayText();
            } else if (auto *grid = qobject_cast<QTableWidget *>(child)) {
                QStringList cells;
                for (int r = 0; r < grid->rowCount(); ++r) {
                    for (int c = 0; c < grid->columnCount(); ++c)
                        cells << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
                }
                state << name + QLatin1Char('=') + cells.join(QLatin1Char('|'));
            } else if (auto *label = qobject_cast<QLabel *>(child)) {
                // Board versions; the channel captions are relabelled on purpose.
                if (name.startsWith(QLatin1String("StaticTextVer")))
                    state << name + QLatin1Char('=') + label->text();
            }
        }
    }
    state.sort();
    return state;
}

QStringList differences(const QStringList &a, const QStringList &b)
{
    QStringList diff;
    for (const QString &s : a) {
        if (!b.contains(s))
            diff << QStringLiteral("was ") + s;
    }
    for (const QString &s : b) {
        if (!a.contains(s))
            diff << QStringLiteral("now ") + s;
    }
    return diff;
}

// The identification registers 10012..10020 (date digits, serial, kit).
QByteArray identification(const QByteArray &dateDigits, const QByteArray &serial, const QByteArray &kit)
{
    return dateDigits + serial + kit;
}

// Every channel name the label refresh writes, as (control, item or -1 for
// the caption, text).
struct Expected
{
    QString control;
    int item;
    QString text;
};

QList<Expected> expectedLabels(const std::array<bool, 4> &absent, const std::array<bool, 4> &channelOn,
                                const std::array<bool, 4> &mathOn)
{
    QList<Expected> list;
    for (int n = 1; n <= 4; ++n) {
        const QString suffix = absent[n - 1] ? QStringLiteral(" -нет") : QString();
        const QString name = QStringLiteral("Канал %1").arg(n) + suffix;
        for (const char *caption : {"StaticTextCan", "StaticTextCanIzm", "StaticTextOutCan", "StaticTextRegArhCan"})
            list << Expected{composedName(QString::fromLatin1(caption), n), -1, QLatin1Char(' ') + name};
        list << Expected{composedName(QStringLiteral("ComboBoxOutCan"), n), 0, name};
        list << Expected{QStringLiteral("ComboBoxRegCan"), n - 1, name};
        list << Expected{QStringLiteral("ComboBoxIndCan"), n - 1, name};
        list << Expected{composedName(QStringLiteral("StaticTextCalibrCan"), n), -1,
                         absent[n - 1] ? QStringLiteral("нет") : QString()};
        for (int m = 1; m <= 4; ++m) {
            for (const char *letter : {"A", "B", "C", "D"})
                list << Expected{composedName(QStringLiteral("ComboBoxMatCanZn") + QLatin1String(letter), m), n - 1,
                                 QLatin1String(letter) + QLatin1Char('=') + name};
        }
        for (int s = 1; s <= 8; ++s) {
            QString item = name;
            if (!absent[n - 1] && !channelOn[n - 1])
                item += QStringLiteral(" -выкл");
            list << Expected{composedName(QStringLiteral("ComboBoxUstCan"), s), n - 1, item};
            list << Expected{composedName(QStringLiteral("ComboBoxUstCan"), s), 3 + n,
                             QStringLiteral("Канал М%1").arg(n) + (mathOn[n - 1] ? QString() : QStringLiteral(" -выкл"))};
        }
    }
    return list;
}

// Compares the window with the expected labels; controls that no page has
// yet are listed in `missing` instead.
QStringList labelMismatches(TformMain &w, IControls &c, const QList<Expected> &expected, QStringList &missing)
{
    QStringList wrong;
    for (const Expected &e : expected) {
        if (!w.findChild<QWidget *>(e.control)) {
            if (!missing.contains(e.control))
                missing << e.control;
            continue;
        }
        const QString shown = e.item < 0 ? c.text(e.control) : c.itemText(e.control, e.item);
        if (shown != e.text)
            wrong << QStringLiteral("%1[%2]: '%3' instead of '%4'").arg(e.control).arg(e.item).arg(shown, e.text);
    }
    return wrong;
}

} // namespace

class tst_bulk_read : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    // Without widgets.
    void areaRequestSequence_data();
    void areaRequestSequence();
    void identificationDate_data();
    void identificationDate();
    void identificationReplyLength();
    void identificationEncoding_data();
    void identificationEncoding();

    // Against the simulator.
    void fullRead();
    void channelLabels_data();
    void channelLabels();
    void failureAtTwelfthBlockChangesNothing();
    void gatewayResetDuringTheRead();
    void noAnswerAtAll();
    void missingModuleMarkedAt9600();
    void progressAndStop();
};

void tst_bulk_read::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void tst_bulk_read::areaRequestSequence_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<int>("stopAfter"); // the user stops once this many blocks came
    QTest::addColumn<int>("requests");

    QTest::newRow("all answered") << -1 << -1 << 25;
    QTest::newRow("first block") << 0 << -1 << 1;
    QTest::newRow("twelfth block") << 11 << -1 << 12;
    QTest::newRow("last 32-register block") << 23 << -1 << 24;
    QTest::newRow("last 4-register block") << 24 << -1 << 25;
    QTest::newRow("stopped after block 12") << -1 << 12 << 12;
    QTest::newRow("stopped after block 24") << -1 << 24 << 24;
    QTest::newRow("stopped during the last") << -1 << 25 << 25;
}

void tst_bulk_read::areaRequestSequence()
{
    QFETCH(int, failAt);
    QFETCH(int, stopAfter);
    QFETCH(int, requests);

    ScriptedDevice device;
    device.area = randomBytes(SettingsImage::Size, 310);
    device.failAt = failAt;
    ModbusMaster modbus(device, device);
    const std::optional<QByteArray> area =
        readSettingsArea(modbus, [stopAfter](int done, int) { return done != stopAfter; });

    QStringList expected = expectedRequests(true, 25).mid(1, requests);
    QCOMPARE(summaries(device.requests), expected);
    for (int i = 0; i < device.waits.size(); ++i)
        QCOMPARE(device.waits[i], i < 24 ? 200 : 100);
    if (failAt < 0 && stopAfter < 0) {
        QVERIFY(area.has_value());
        QCOMPARE(*area, device.area);
    } else {
        QVERIFY(!area.has_value());
    }
}

void tst_bulk_read::identificationDate_data()
{
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<int>("currentYear");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("notDigit");

    QTest::newRow("century from the clock") << QByteArray("311205") << 2026 << QDate(2005, 12, 31) << QString();
    QTest::newRow("previous century") << QByteArray("050309") << 1999 << QDate(1909, 3, 5) << QString();
    QTest::newRow("leap day") << QByteArray("290200") << 2026 << QDate(2000, 2, 29) << QString();
    QTest::newRow("no leap day") << QByteArray("290201") << 2026 << QDate() << QString();
    QTest::newRow("31 February") << QByteArray("310209") << 2026 << QDate() << QString();
    QTest::newRow("month 13") << QByteArray("011309") << 2026 << QDate() << QString();
    QTest::newRow("day 0") << QByteArray("000109") << 2026 << QDate() << QString();
    QTest::newRow("letter") << QByteArray("3x1205") << 2026 << QDate() << QStringLiteral("x");
    QTest::newRow("first bad byte is named") << QByteArray("31-2 5") << 2026 << QDate() << QStringLiteral("-");
    QTest::newRow("zero byte") << QByteArray("3112\0005", 6) << 2026 << QDate() << QStringLiteral("#0");
    QTest::newRow("Cyrillic byte") << QByteArray("31\xC0" "205") << 2026 << QDate() << QStringLiteral("А");
}

void tst_bulk_read::identificationDate()
{
    QFETCH(QByteArray, digits);
    QFETCH(int, currentYear);
    QFETCH(QDate, date);
    QFETCH(QString, notDigit);

    const IdentificationDate d = decodeIdentificationDate(digits, currentYear);
    QCOMPARE(d.date, date);
    QCOMPARE(d.notDigit.has_value(), !notDigit.isEmpty());
    if (d.notDigit)
        QCOMPARE(notDigitText(*d.notDigit), notDigit);
}

void tst_bulk_read::identificationReplyLength()
{
    QByteArray reply = hexBytes("01 03 16") + "311205" + "001234" + hexBytes("01 02 03 04 05 06 00 17 69 00");
    frames::appendCrc(reply);
    QCOMPARE(reply.size(), 27);
    const auto block = decodeIdentificationReply(reply, 2026);
    QVERIFY(block);
    QCOMPARE(block->date.date, QDate(2005, 12, 31));
    QCOMPARE(block->serial, QStringLiteral("001234"));
    QCOMPARE(block->kitOptions, (std::array<quint8, 6>{1, 2, 3, 4, 5, 6}));
    QCOMPARE(block->versionProc, quint8(23));
    QCOMPARE(block->versionInd, quint8(105));
    QCOMPARE(block->versionDac, quint8(0));

    for (int size : {0, 1, 26, 28}) {
        QByteArray other = reply;
        other.resize(size, '\0');
        QVERIFY2(!decodeIdentificationReply(other, 2026), qPrintable(QString::number(size)));
    }
}

void tst_bulk_read::identificationEncoding_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused

    QTest::newRow("5 March 2009") << QDate(2009, 3, 5) << "001234"
                                  << QByteArray("050309001234" "\x00\x01\x02\x00\x04\xFF", 18);
    QTest::newRow("year 2100") << QDate(2100, 11, 30) << "999999"
                               << QByteArray("301100999999" "\x00\x01\x02\x00\x04\xFF", 18);
    QTest::newRow("five characters") << QDate(2009, 3, 5) << "12345" << QByteArray();
    QTest::newRow("seven characters") << QDate(2009, 3, 5) << "1234567" << QByteArray();
    QTest::newRow("no date") << QDate() << "001234" << QByteArray();
}

void tst_bulk_read::identificationEncoding()
{
    QFETCH(QDate, date);
    QFETCH(QString, serial);
    QFETCH(QByteArray, bytes);

    const auto data = encodeIdentification(date, serial, {0, 1, 2, 0, 4, -1});
    QCOMPARE(data.has_value(), !bytes.isEmpty());
    if (data)
        QCOMPARE(data->toHex(' '), bytes.toHex(' '));
}

void tst_bulk_read::fullRead()
{
    WindowFixture fx;
    RecorderModel &model = fx.sim().model();
    const QByteArray area = randomBytes(SettingsImage::Size, 771);
    model.setSettingsArea(area);
    QVERIFY(model.setHoldingBytes(10012, identification("311205", "004711", hexBytes("01 03 02 01 04 01"))));
    QVERIFY(model.setHoldingBytes(10021, hexBytes("00 17 69 00")));

    fx.click(QStringLiteral("Button11"));

    QCOMPARE(fx.boxes.texts(), QStringList());
    QCOMPARE(summaries(fx.requests()), expectedRequests(true, 25));
    QCOMPARE(fx.window().image().bytes().toHex(' '), model.settingsArea().toHex(' '));
    QCOMPARE(model.settingsArea(), area);

    IControls &c = fx.controls();
    QCOMPARE(c.text(QStringLiteral("LabelInfo")), QStringLiteral("Настройки успешно считаны"));
    QVERIFY(!c.isShown(QStringLiteral("PanelInfo")));
    QVERIFY(c.isShown(QStringLiteral("TreeView1")));

    // Identification page: the century comes from the workstation clock.
    QCOMPARE(c.date(QStringLiteral("DateEdit2")), QDate(QDate::currentDate().year() / 100 * 100 + 5, 12, 31));
    QCOMPARE(c.text(QStringLiteral("MaskEditManufSN")), QStringLiteral("004711"));
    QCOMPARE(c.itemIndex(QStringLiteral("ComboBoxManuf3")), 2);
    QCOMPARE(c.text(QStringLiteral("StaticTextVerProc")), QStringLiteral("2.3"));
    QCOMPARE(c.text(QStringLiteral("StaticTextVerInd")), QStringLiteral("10.5"));
    QCOMPARE(c.text(QStringLiteral("StaticTextVerDac")), QStringLiteral("0.0"));

    // The measurement page shows the image.
    for (int n = 1; n <= 4; ++n) {
        const QByteArray record = area.mid(40 * (n - 1), 40);
        const int type = quint8(record.at(1));
        QCOMPARE(c.itemIndex(composedName(QStringLiteral("ComboBoxCanTypeGrad"), n)), type < 22 ? type : -1);
        QCOMPARE(c.text(composedName(QStringLiteral("EditCanNPI"), n)), formatReal(readFloat(record, 10)));
        QCOMPARE(c.text(composedName(QStringLiteral("EditIndBarVPI"), n)), formatReal(readFloat(record, 36)));
        QCOMPARE(c.text(composedName(QStringLiteral("EditCanEd"), n)), decodeTextField(record.mid(22, 6), 6, '\0'));
        const int colours = quint8(record.at(31));
        QCOMPARE(c.itemIndex(composedName(QStringLiteral("ComboBoxIndBarColorUstMense"), n)),
                 colours >> 4 < 3 ? colours >> 4 : -1);
    }
}

void tst_bulk_read::channelLabels_data()
{
    QTest::addColumn<int>("absentChannel"); // 0: none
    QTest::addColumn<int>("offChannel");    // measurement channel switched off, 0: none
    QTest::addColumn<int>("offMath");       // math channel switched off, 0: none
    QTest::addColumn<QByteArray>("dateDigits");
    QTest::addColumn<bool>("dateTaken");

    // An absent module wins over the channel's switch.
    QTest::newRow("module 2 missing") << 2 << 0 << 0 << QByteArray("010203") << true;
    // A date byte that is not a digit keeps the date, silently.
    QTest::newRow("channel 3 and math 4 off") << 0 << 3 << 4 << QByteArray("01x203") << false;
}

void tst_bulk_read::channelLabels()
{
    QFETCH(int, absentChannel);
    QFETCH(int, offChannel);
    QFETCH(int, offMath);
    QFETCH(QByteArray, dateDigits);
    QFETCH(bool, dateTaken);

    WindowFixture fx;
    RecorderModel &model = fx.sim().model();
    QByteArray area = randomBytes(SettingsImage::Size, 42);
    std::array<bool, 4> absent{}, channelOn{}, mathOn{};
    for (int n = 1; n <= 4; ++n) {
        channelOn[n - 1] = n != offChannel;
        mathOn[n - 1] = n != offMath;
        absent[n - 1] = n == absentChannel;
        area[measurementChannelLayout().recordOffset(n)] = char(channelOn[n - 1] ? 1 : 0);
        area[mathChannelLayout().recordOffset(n)] = char(mathOn[n - 1] ? 1 : 0);
        model.setModuleMissing(n, absent[n - 1]);
    }
    model.setSettingsArea(area);
    QVERIFY(model.setHoldingBytes(10012, identification(dateDigits, "000001", QByteArray(6, '\0'))));
    const QDate earlier(2011, 7, 14);
    fx.controls().setDate(QStringLiteral("DateEdit2"), earlier);

    fx.click(QStringLiteral("Button11"));
    QCOMPARE(fx.boxes.texts(), QStringList());
    QCOMPARE(fx.controls().text(QStringLiteral("LabelInfo")), QStringLiteral("Настройки успешно считаны"));

    QStringList missing;
    const QStringList wrong =
        labelMismatches(fx.window(), fx.controls(), expectedLabels(absent, channelOn, mathOn), missing);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
    if (!missing.isEmpty())
        qWarning("not on any page yet, not checked: %s", qPrintable(missing.join(QLatin1Char(' '))));

    const QDate shown = fx.controls().date(QStringLiteral("DateEdit2"));
    QCOMPARE(shown, dateTaken ? QDate(QDate::currentDate().year() / 100 * 100 + 3, 2, 1) : earlier);
    QCOMPARE(fx.controls().text(QStringLiteral("MaskEditManufSN")), QStringLiteral("000001"));
}

void tst_bulk_read::failureAtTwelfthBlockChangesNothing()
{
    WindowFixture fx;
    RecorderModel &model = fx.sim().model();
    const QByteArray before = randomBytes(SettingsImage::Size, 1);
    model.setSettingsArea(before);
    QVERIFY(model.setHoldingBytes(10012, identification("010101", "111111", hexBytes("00 00 00 00 00 00"))));
    fx.click(QStringLiteral("Button11"));
    QCOMPARE(fx.controls().text(QStringLiteral("LabelInfo")), QStringLiteral("Настройки успешно считаны"));
    QCOMPARE(fx.window().image().bytes(), before);
    // An edit made since then is the user's and stays too.
    fx.controls().setText(QStringLiteral("EditCanNPI1"), QStringLiteral("123,5"));
    const QStringList pagesBefore = pagesState(fx.window());

    // The device now holds other settings and identification, and the
    // request for register 352 goes unanswered.
    model.setSettingsArea(randomBytes(SettingsImage::Size, 2));
    QVERIFY(model.setHoldingBytes(10012, identification("020202", "222222", hexBytes("01 01 01 01 01 01"))));
    FaultRule rule;
    rule.kind = FaultRule::Silent;
    rule.function = FunctionReadHolding;
    rule.firstRegister = 352;
    fx.sim().faults().add(rule);
    fx.clearRequests();

    fx.click(QStringLiteral("Button11"));

    QCOMPARE(fx.boxes.texts(), QStringList());
    QCOMPARE(summaries(fx.requests()), expectedRequests(true, 12));
    IControls &c = fx.controls();
    QCOMPARE(c.text(QStringLiteral("LabelInfo")), QStringLiteral("Нет связи с прибором"));
    QVERIFY(c.isShown(QStringLiteral("PanelInfo")));
    QVERIFY(!c.isShown(QStringLiteral("TreeView1")));
    QCOMPARE(fx.window().image().bytes().toHex(' '), before.toHex(' '));
    // The identification block's own reply was valid, so its page shows it;
    // every other page keeps what it had.
    QCOMPARE(c.text(QStringLiteral("MaskEditManufSN")), QStringLiteral("222222"));
    QCOMPARE(c.itemIndex(QStringLiteral("ComboBoxManuf1")), 1);
    auto settingsPages = [](QStringList state) {
        state.removeIf([](const QString &entry) {
            return entry.startsWith(QLatin1String("ComboBoxManuf"))
                   || entry.startsWith(QLatin1String("MaskEditManufSN"))
                   || entry.startsWith(QLatin1String("DateEdit2"));
        });
        return state;
    };
    const QStringList pagesAfter = settingsPages(pagesState(fx.window()));
    QVERIFY2(pagesAfter == settingsPages(pagesBefore),
             qPrintable(differences(settingsPages(pagesBefore), pagesAfter).mid(0, 20).join('\n')));
    QVERIFY(pagesAfter.size() > 100);
}

void tst_bulk_read::gatewayResetDuringTheRead()
{
    ScriptedDevice device;
    device.failAt = 0;
    device.reset = true;
    ModbusMaster modbus(device, device);
    CapturedBoxes boxes;
    ValueControls controls;
    LinkActivity activity;
    SettingsImage image;
    struct : NullShellStatus
    {
        QString info;
        void showInfo(const QString &text) override { info = text; }
    } status;
    PageContext ctx{modbus, boxes, controls, activity, image, device, status};
    QVERIFY_THROWS_EXCEPTION(ESocketError, Button11Click(ctx));
    QCOMPARE(status.info, QStringLiteral("Нет связи с прибором"));
}

void tst_bulk_read::noAnswerAtAll()
{
    WindowFixture fx;
    fx.sim().model().setModuleMissing(1, true); // never heard
    fx.sim().faults().add(FaultRule{FaultRule::Silent});
    const QStringList pagesBefore = pagesState(fx.window());

    fx.click(QStringLiteral("Button11"));

    QCOMPARE(fx.boxes.texts(), QStringList());
    QCOMPARE(summaries(fx.requests()), expectedRequests(false, 0));
    IControls &c = fx.controls();
    QCOMPARE(c.text(QStringLiteral("LabelInfo")), QStringLiteral("Нет связи с прибором"));
    QVERIFY(c.isShown(QStringLiteral("PanelInfo")));
    QVERIFY(!c.isShown(QStringLiteral("TreeView1")));
    QCOMPARE(fx.window().image().bytes(), QByteArray(SettingsImage::Size, '\0'));
    QCOMPARE(pagesState(fx.window()), pagesBefore);

    // Installed forms everywhere; the switches of the all-zero image are off.
    QStringList missing;
    const QStringList wrong =
        labelMismatches(fx.window(), c, expectedLabels({}, {}, {}), missing);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
    if (!missing.isEmpty())
        qWarning("not on any page yet, not checked: %s", qPrintable(missing.join(QLatin1Char(' '))));
}

void tst_bulk_read::missingModuleMarkedAt9600()
{
    // The module status reply needs 113 ms on the wire at 9600 bit/s: the
    // read waits for it as the poll does.
    WindowFixture fx;
    fx.sim().setBaud(9600);
    fx.controls().setItemIndex(QStringLiteral("ComboBoxBaud"), 0);
    fx.sim().model().setModuleMissing(2, true);
    fx.click(QStringLiteral("Button11"));
    QCOMPARE(fx.controls().text(QStringLiteral("StaticTextCan2")), QStringLiteral(" Канал 2 -нет"));
    QCOMPARE(fx.controls().text(QStringLiteral("StaticTextCan1")), QStringLiteral(" Канал 1"));
}

void tst_bulk_read::progressAndStop()
{
    WindowFixture fx;
    auto *bar = fx.window().findChild<QProgressBar *>(QStringLiteral("ProgressBarOperation"));
    QVERIFY(bar);
    int maximum = 0;
    int valueSeen = 0;
    auto *address = fx.window().findChild<QWidget *>(QStringLiteral("UpDownAdr"));
    bool addressHeld = false;
    // Stopped after a few blocks: the image and the settings pages stay.
    QTimer::singleShot(2300, &fx.window(), [&] {
        addressHeld = !address->isEnabled();
        maximum = bar->maximum();
        valueSeen = bar->value();
        fx.button(QStringLiteral("ButtonCancelOperation"))->click();
    });
    fx.click(QStringLiteral("Button11"));
    QCOMPARE(maximum, 27);
    QVERIFY2(valueSeen >= 2 && valueSeen < 10, qPrintable(QString::number(valueSeen)));
    QCOMPARE(fx.controls().text(QStringLiteral("LabelInfo")), QStringLiteral("Чтение настроек прервано"));
    QVERIFY(!fx.window().image().isLoaded());
    // Identification, the blocks up to the stop, then the module status.
    const QList<QByteArray> sent = fx.requests();
    QVERIFY(sent.size() < 12);
    QCOMPARE(sent.last().left(6), QByteArray::fromHex("010400000030"));
    QVERIFY(!bar->isVisible());
    // The recorder cannot change under a running read.
    QVERIFY(addressHeld);
    QVERIFY(address->isEnabled());
}

QTEST_MAIN(tst_bulk_read)
#include "tst_bulk_read.moc"
