// The service page and the output test group: the calibration panel, the
// coefficient read, the pen commands and the output test. Tables of cases run
// against the simulator's slave in process (the frame and the wait of every
// request are recorded); a few cases run through the whole window over the
// pseudo-terminal and TCP, including the busy link during an 8000 ms wait.

#include "link/link_activity.h"
#include "link/modbus.h"
#include "service/calibration.h"
#include "service/live_page.h"
#include "service/output_test_group.h"
#include "service/service_page.h"
#include "ui/controls.h"
#include "ui/page_context.h"
#include "tests/service/page_harness.h"
#include "tests/support/window_fixture.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <bit>

using namespace vexs;
using namespace vexs::test;

Q_DECLARE_METATYPE(vexs::test::CapturedBoxes::Kind)

namespace {

using Kind = CapturedBoxes::Kind;

const QString kList = QStringLiteral("ListBoxCalibr");
const QString kValue = QStringLiteral("EditCalibrInp");

QByteArray floatBytes(float value)
{
    const quint32 bits = std::bit_cast<quint32>(value);
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char((bits >> (8 * i)) & 0xFF));
    return bytes;
}

quint16 registerOf(const QByteArray &frame)
{
    return quint16((quint8(frame[2]) << 8) | quint8(frame[3]));
}

// Data octets of a write request (function 0x10).
QByteArray writeData(const QByteArray &frame)
{
    return frame.mid(7, quint8(frame[6]));
}

FaultRule silentAt(int firstRegister)
{
    FaultRule rule{FaultRule::Silent};
    rule.firstRegister = firstRegister;
    return rule;
}

// What a command handler showed and sent: one message box, then nothing on
// the line (no payload expected) or one write of the payload to `reg` with
// the wait, which the simulated recorder took unless it was silent.
template <typename Harness>
void verifyCommand(Harness &h, Kind kind, const QString &box, const QByteArray &payload,
                   quint16 reg, int waitMs, bool silent)
{
    QCOMPARE(h.boxes.boxes.size(), 1);
    QCOMPARE(h.boxes.lastKind(), kind);
    QCOMPARE(h.boxes.lastText(), box);
    if (payload.isEmpty()) {
        QVERIFY(h.link.sent.isEmpty());
        return;
    }
    QCOMPARE(h.link.sent.size(), 1);
    QCOMPARE(registerOf(h.link.sent[0].frame), reg);
    QCOMPARE(writeData(h.link.sent[0].frame), payload);
    QCOMPARE(h.link.sent[0].waitMs, waitMs);
    if (!silent) {
        const auto writes = h.link.model.commandWrites();
        QCOMPARE(writes.size(), 1);
        QCOMPARE(writes[0].first, reg);
        QCOMPARE(writes[0].data, payload);
    }
}

const char *const kSuffixes[] = {"_Iin", "_mV", "_V", "_R", "_Iout"};
const int kOffsets[] = {0, 10, 20, 30, 42};

QString editName(int channel, int group, int point)
{
    return QStringLiteral("EditCAN") + QString::number(channel) + QLatin1String(kSuffixes[group])
           + QString::number(point);
}

// Keeps the records in memory; refuses them all while `broken` is set.
struct MemoryJournal : IWriteJournal
{
    bool ready(QString *error) override
    {
        if (broken)
            *error = QStringLiteral("журнал недоступен");
        return !broken;
    }
    bool record(JournalRecord entry, QString *) override
    {
        records << entry;
        return true;
    }
    QList<JournalRecord> records;
    bool broken = false;
};

} // namespace

class TestCalibrationPen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    // --- in process ------------------------------------------------------
    void pageAtStart();
    void stepList();
    void listSelection_data();
    void listSelection();
    void focusOrDeselectPicksNoStep();
    void upAndDown_data();
    void upAndDown();
    void channelText();
    void calibrate_data();
    void calibrate();
    void penCommands_data();
    void penCommands();
    void penCheck_data();
    void penCheck();
    void outputTest_data();
    void outputTest();
    void coefficientRead();
    void coefficientReadStopsAtFailure_data();
    void coefficientReadStopsAtFailure();
    void coefficientReadEndsItsProgressOnAReset();
    void commandsJournaled_data();
    void commandsJournaled();

    // --- through the window ------------------------------------------------
    void busyLinkDuringALongCommand();
    void commandsOverTheLink_data();
    void commandsOverTheLink();
    void nudgesOverTheLink();
    void penCheckOverTheLink();
    void coefficientReadFailureOverTheLink();
    void channelWithoutModuleAfterBulkRead();
};

void TestCalibrationPen::pageAtStart()
{
    PageHarness<ServicePage> h;
    IControls &c = h.controls;

    auto *tabs = h.root.findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->widget(0)->objectName(), QStringLiteral("TabSheet_Test"));
    QCOMPARE(tabs->tabText(0), QStringLiteral("Тесты"));
    QVERIFY(!tabs->isTabVisible(0));
    QCOMPARE(tabs->widget(1)->objectName(), QStringLiteral("TabSheetCalibr"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Калибровка"));
    QVERIFY(tabs->isTabVisible(1));
    QCOMPARE(tabs->currentIndex(), 1);

    // The test buttons: start before stop, and no action.
    for (int b = 13; b <= 22; ++b) {
        auto *button = h.root.findChild<QAbstractButton *>(composedName(QStringLiteral("Button"), b));
        QVERIFY(button);
        QCOMPARE(button->text(), b % 2 ? QStringLiteral("Старт") : QStringLiteral("Стоп"));
        button->click();
    }
    QVERIFY(h.link.sent.isEmpty());
    QVERIFY(h.boxes.boxes.isEmpty());

    QVERIFY(!c.isShown(QStringLiteral("PanelCalibr")));
    QVERIFY(c.isShown(kValue));
    QCOMPARE(c.text(QStringLiteral("EditCalibrCan")), QStringLiteral("Канал 1"));
    auto *spin = h.root.findChild<QSpinBox *>(QStringLiteral("UpDownCalibrCan"));
    QVERIFY(spin);
    QCOMPARE(spin->minimum(), 1);
    QCOMPARE(spin->maximum(), 4);
    QCOMPARE(spin->value(), 1);
    QVERIFY(!spin->wrapping());
    QCOMPARE(c.itemIndex(kList), -1);
    QCOMPARE(h.root.findChild<QAbstractButton *>(QStringLiteral("ButtonCalibr"))->text(),
             QStringLiteral("Калибровать"));
    QCOMPARE(c.text(QStringLiteral("StaticText50")), QString());
    QCOMPARE(c.text(QStringLiteral("Edit_ArrowPer")), QString());

    for (int n = 1; n <= 4; ++n) {
        QCOMPARE(c.text(composedName(QStringLiteral("StaticTextCalibrCan"), n)), QString());
        QCOMPARE(h.root.findChild<QAbstractButton *>(composedName(QStringLiteral("ButtonReadCoeffCAN"), n))->text(),
                 QStringLiteral("Считать"));
        for (int g = 0; g < 5; ++g) {
            for (int k = 1; k <= 5; ++k)
                QCOMPARE(c.text(editName(n, g, k)), QString());
        }
    }
}

void TestCalibrationPen::stepList()
{
    PageHarness<ServicePage> h;
    const int count = h.controls.itemCount(kList);
    QCOMPARE(count, 38);
    // The step codes of the items run 1..32 in order; the separators are empty.
    const QList<int> separators = {5, 11, 17, 23, 25, 36};
    int expectedCode = 1;
    for (int i = 0; i < count; ++i) {
        const QString text = h.controls.itemText(kList, i);
        if (separators.contains(i)) {
            QCOMPARE(text, QString());
            QVERIFY(!calibrationStepCode(text));
            continue;
        }
        QCOMPARE(calibrationStepCode(text), std::optional<int>(expectedCode));
        ++expectedCode;
    }
    QCOMPARE(expectedCode, 33);
    // Texts with their own spacing and punctuation.
    QCOMPARE(h.controls.itemText(kList, 10),
             QStringLiteral("10: Установите 100м В. Нажмите кнопку калибровать."));
    QCOMPARE(h.controls.itemText(kList, 14),
             QStringLiteral("13: Установите  0.0 В. Нажмите кнопку калибровать."));
    QCOMPARE(h.controls.itemText(kList, 24),
             QStringLiteral("21: Установите 3х= 50 Ом. Нажмите кнопку калибровать."));
    QCOMPARE(h.controls.itemText(kList, 29),
             QStringLiteral("25: Введите значение в мкА. Нажмите кнопку записать"));
    QCOMPARE(h.controls.itemText(kList, 37),
             QStringLiteral("32: Калибровать темп.датчик. Введите значение термометра. Нажмите калибровать"));
}

void TestCalibrationPen::listSelection_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("takesValue");
    const QList<int> withValue = {27, 29, 31, 33, 35, 37};
    for (int i = 0; i < 38; ++i)
        QTest::newRow(qPrintable(QString::number(i))) << i << withValue.contains(i);
}

void TestCalibrationPen::listSelection()
{
    QFETCH(int, index);
    QFETCH(bool, takesValue);
    PageHarness<ServicePage> h;
    h.controls.setText(kValue, QStringLiteral("123"));
    h.controls.setItemIndex(kList, index);
    QCOMPARE(h.controls.isShown(kValue), takesValue);
    QCOMPARE(h.controls.text(kValue), QString());
    QCOMPARE(h.root.findChild<QAbstractButton *>(QStringLiteral("ButtonCalibr"))->text(),
             takesValue ? QStringLiteral("Записать") : QStringLiteral("Калибровать"));
}

void TestCalibrationPen::focusOrDeselectPicksNoStep()
{
    PageHarness<ServicePage> h;
    auto *list = h.root.findChild<QListWidget *>(kList);
    // Entering the list from the keyboard picks no step by itself.
    list->setFocus(Qt::TabFocusReason);
    QCoreApplication::sendEvent(list, new QFocusEvent(QEvent::FocusIn, Qt::TabFocusReason));
    QCOMPARE(h.controls.itemIndex(kList), -1);
    h.page->ButtonCalibrClick();
    QCOMPARE(h.boxes.texts(), QStringList{QStringLiteral("Не выбран пункт калибровки")});

    // A Ctrl-click on the selected step leaves a focus frame but no step.
    h.controls.setItemIndex(kList, 6);
    QCOMPARE(h.controls.itemIndex(kList), 6);
    list->clearSelection();
    QCOMPARE(h.controls.itemIndex(kList), -1);
    h.boxes.clear();
    h.page->ButtonCalibrClick();
    QCOMPARE(h.boxes.texts(), QStringList{QStringLiteral("Не выбран пункт калибровки")});
    QVERIFY(h.link.model.commandWrites().isEmpty());
}

void TestCalibrationPen::upAndDown_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("selected");
    QTest::newRow("up, nothing selected") << -1 << "ButtonSelectCalibrUp" << 0;
    QTest::newRow("up on the first") << 0 << "ButtonSelectCalibrUp" << 0;
    QTest::newRow("up") << 28 << "ButtonSelectCalibrUp" << 27;
    QTest::newRow("down, nothing selected") << -1 << "ButtonSelectCalibrDown" << 0;
    QTest::newRow("down") << 36 << "ButtonSelectCalibrDown" << 37;
    QTest::newRow("down on the last") << 37 << "ButtonSelectCalibrDown" << 37;
}

void TestCalibrationPen::upAndDown()
{
    QFETCH(int, start);
    QFETCH(QString, button);
    QFETCH(int, selected);
    PageHarness<ServicePage> h;
    h.controls.setItemIndex(kList, start);
    h.controls.setShown(kValue, true);
    h.controls.setText(kValue, QStringLiteral("typed"));
    h.root.findChild<QAbstractButton *>(button)->click();
    QCOMPARE(h.controls.itemIndex(kList), selected);
    // The step refresh runs even when the selection did not move.
    QCOMPARE(h.controls.text(kValue), QString());
    QCOMPARE(h.controls.isShown(kValue), calibrationTakesValue(selected));
    QVERIFY(h.link.sent.isEmpty());
}

void TestCalibrationPen::channelText()
{
    PageHarness<ServicePage> h;
    IControls &c = h.controls;
    const QString edit = QStringLiteral("EditCalibrCan");

    // The labels a bulk read leaves when channels 1 and 3 have no module.
    c.setText(QStringLiteral("StaticTextCalibrCan1"), QStringLiteral("нет"));
    c.setText(QStringLiteral("StaticTextCalibrCan3"), QStringLiteral("нет"));
    QCOMPARE(c.text(edit), QStringLiteral("Канал 1")); // only the spinner changes it

    c.setPosition(QStringLiteral("UpDownCalibrCan"), 3);
    QCOMPARE(c.text(edit), QStringLiteral("Канал 3 -нет"));
    c.setPosition(QStringLiteral("UpDownCalibrCan"), 2);
    QCOMPARE(c.text(edit), QStringLiteral("Канал 2"));
    c.setPosition(QStringLiteral("UpDownCalibrCan"), 9); // the spinner keeps to 1..4
    QCOMPARE(c.text(edit), QStringLiteral("Канал 4"));
    h.page->UpDownCalibrCanChanging(0); // a position outside the range: the nearer bound
    QCOMPARE(c.text(edit), QStringLiteral("Канал 1 -нет"));
    h.page->UpDownCalibrCanChanging(7);
    QCOMPARE(c.text(edit), QStringLiteral("Канал 4"));
    // An arrow pressed at either end still refreshes the warning.
    auto *spin = h.page->findChild<QSpinBox *>(QStringLiteral("UpDownCalibrCan"));
    c.setPosition(QStringLiteral("UpDownCalibrCan"), 1);
    c.setText(edit, QString());
    spin->stepBy(-1);
    QCOMPARE(c.text(edit), QStringLiteral("Канал 1 -нет"));
    QCOMPARE(spin->value(), 1);

    // Only a warning: channel 3 is still calibrated when asked.
    c.setPosition(QStringLiteral("UpDownCalibrCan"), 3);
    c.setItemIndex(kList, 6);
    h.page->ButtonCalibrClick();
    QCOMPARE(h.link.model.commandWrites().size(), 1);
    QCOMPARE(h.link.model.commandWrites()[0].data, hexBytes("03 06 00 00 00 00"));
}

void TestCalibrationPen::calibrate_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("typedBefore"); // typed before the step is selected
    QTest::addColumn<QString>("typed");       // typed after
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QByteArray>("payload");  // empty: nothing may be sent
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("box");

    const QString done = QStringLiteral("Точка откалибрована");
    const QString notSelected = QStringLiteral("Не выбран пункт калибровки");
    const QString bad = QStringLiteral("Неверное значение");
    QTest::newRow("channel 3, step 6") << 3 << 6 << "" << "" << false
                                       << hexBytes("03 06 00 00 00 00") << Kind::Info << done;
    QTest::newRow("4000 µA is 4 mA") << 1 << 27 << "" << "4000" << false
                                     << hexBytes("01 17 00 00 80 40") << Kind::Info << done;
    QTest::newRow("12,5 µA") << 2 << 29 << "" << "12,5" << false
                             << hexBytes("02 19") + floatBytes(0.0125f) << Kind::Info << done;
    QTest::newRow("blanks around") << 4 << 35 << "" << " 20000 " << false
                                   << hexBytes("04 1F") + floatBytes(20.0f) << Kind::Info << done;
    QTest::newRow("thermometer 23,5 unscaled") << 1 << 37 << "" << "23,5" << false
                                               << hexBytes("01 20") + floatBytes(23.5f)
                                               << Kind::Info << done;
    QTest::newRow("thermometer 23.5 unscaled") << 1 << 37 << "" << "23.5" << false
                                               << hexBytes("01 20") + floatBytes(23.5f)
                                               << Kind::Info << done;
    QTest::newRow("step 22 ignores earlier text") << 2 << 26 << "999" << "" << false
                                                  << hexBytes("02 16 00 00 00 00") << Kind::Info
                                                  << done;
    QTest::newRow("first item") << 1 << 0 << "" << "" << false << hexBytes("01 01 00 00 00 00")
                                << Kind::Info << done;
    QTest::newRow("nothing selected") << 1 << -1 << "" << "" << false << QByteArray()
                                      << Kind::Error << notSelected;
    QTest::newRow("separator") << 1 << 5 << "" << "" << false << QByteArray() << Kind::Error
                               << notSelected;
    QTest::newRow("empty value") << 1 << 27 << "" << "" << false << QByteArray() << Kind::Error
                                 << bad;
    QTest::newRow("letters") << 1 << 31 << "" << "abc" << false << QByteArray() << Kind::Error
                             << bad;
    QTest::newRow("group separator") << 1 << 31 << "" << "4 000" << false << QByteArray()
                                     << Kind::Error << bad;
    QTest::newRow("too small for a single") << 1 << 27 << "" << "1e-43" << false << QByteArray()
                                            << Kind::Error << bad;
    QTest::newRow("too large for a single") << 1 << 37 << "" << "1e39" << false << QByteArray()
                                            << Kind::Error << bad;
    QTest::newRow("no reply") << 3 << 6 << "" << "" << true << hexBytes("03 06 00 00 00 00")
                              << Kind::Error << QStringLiteral("Ошибка калибровки");
}

void TestCalibrationPen::calibrate()
{
    QFETCH(int, channel);
    QFETCH(int, index);
    QFETCH(QString, typedBefore);
    QFETCH(QString, typed);
    QFETCH(bool, silent);
    QFETCH(QByteArray, payload);
    QFETCH(Kind, kind);
    QFETCH(QString, box);

    PageHarness<ServicePage> h;
    if (silent)
        h.link.faults.add(FaultRule{FaultRule::Silent});
    h.controls.setPosition(QStringLiteral("UpDownCalibrCan"), channel);
    h.controls.setText(kValue, typedBefore);
    h.controls.setItemIndex(kList, index);
    if (!typed.isEmpty())
        h.controls.setText(kValue, typed);
    h.root.findChild<QAbstractButton *>(QStringLiteral("ButtonCalibr"))->click();

    verifyCommand(h, kind, box, payload, 10001, 8000, silent);
    if (QTest::currentTestFailed() || payload.isEmpty())
        return;
    if (!silent) {
        const auto command = h.link.model.lastCalibrationCommand();
        QVERIFY(command);
        QCOMPARE(int(command->channel), channel);
    }
    // The step stays selected.
    QCOMPARE(h.controls.itemIndex(kList), index);
}

void TestCalibrationPen::penCommands_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("reg");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("wait");
    QTest::addColumn<QString>("box");    // empty for the nudges
    QTest::addColumn<QString>("status"); // StaticText50 afterwards

    QTest::newRow("~95%") << "Button4" << false << 10004 << hexBytes("00 00") << 8000
                          << "Перо установлено на максимум" << "";
    QTest::newRow("~95% failed") << "Button4" << true << 10004 << hexBytes("00 00") << 8000
                                 << "Ошибка калибровки" << "";
    QTest::newRow("~5%") << "Button6" << false << 10005 << hexBytes("9E 07") << 8000
                         << "Перо установлено" << "";
    QTest::newRow("~5% failed") << "Button6" << true << 10005 << hexBytes("9E 07") << 8000
                                << "Ошибка калибровки" << "";
    QTest::newRow("100%") << "Button8" << false << 10009 << hexBytes("00 00") << 2000
                          << "Калибровка 100% пера произведена." << "";
    QTest::newRow("100% failed") << "Button8" << true << 10009 << hexBytes("00 00") << 2000
                                 << "Ошибка калибровки 100% пера" << "";
    QTest::newRow("0%") << "Button10" << false << 10010 << hexBytes("00 00") << 2000
                        << "Калибровка 0% пера произведена." << "";
    QTest::newRow("0% failed") << "Button10" << true << 10010 << hexBytes("00 00") << 2000
                               << "Ошибка калибровки 0% пера" << "";
    QTest::newRow("up") << "Button32" << false << 10005 << hexBytes("FC FF") << 200 << "" << "OK";
    QTest::newRow("up failed") << "Button32" << true << 10005 << hexBytes("FC FF") << 200 << ""
                               << "Err";
    QTest::newRow("down") << "Button33" << false << 10005 << hexBytes("04 00") << 200 << ""
                          << "OK";
    QTest::newRow("down failed") << "Button33" << true << 10005 << hexBytes("04 00") << 200
                                 << "" << "Err";
}

void TestCalibrationPen::penCommands()
{
    QFETCH(QString, button);
    QFETCH(bool, silent);
    QFETCH(int, reg);
    QFETCH(QByteArray, payload);
    QFETCH(int, wait);
    QFETCH(QString, box);
    QFETCH(QString, status);

    PageHarness<ServicePage> h;
    if (silent)
        h.link.faults.add(FaultRule{FaultRule::Silent});
    h.root.findChild<QAbstractButton *>(button)->click();

    QCOMPARE(h.link.sent.size(), 1);
    const QByteArray frame = h.link.sent[0].frame;
    QCOMPARE(registerOf(frame), quint16(reg));
    QCOMPARE(quint8(frame[5]), quint8(1)); // count
    QCOMPARE(writeData(frame), payload);
    QCOMPARE(h.link.sent[0].waitMs, wait);
    if (!silent) {
        QCOMPARE(h.link.model.commandWrites().size(), 1);
        QCOMPARE(h.link.model.commandWrites()[0].data, payload);
    }
    QCOMPARE(h.controls.text(QStringLiteral("StaticText50")), status);
    if (box.isEmpty()) {
        QVERIFY(h.boxes.boxes.isEmpty());
    } else {
        QCOMPARE(h.boxes.boxes.size(), 1);
        QCOMPARE(h.boxes.lastKind(), silent ? Kind::Error : Kind::Info);
        QCOMPARE(h.boxes.lastText(), box);
    }
}

void TestCalibrationPen::penCheck_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QByteArray>("payload"); // empty: nothing may be sent
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("box");
    const QString set = QStringLiteral("Положение пера установлено");
    const QString range = QStringLiteral("Значение выходит за диапазон");
    const QString wrong = QStringLiteral("Неверно указан процент");
    QTest::newRow("100") << "100" << false << hexBytes("64 00") << Kind::Info << set;
    QTest::newRow("0") << "0" << false << hexBytes("00 00") << Kind::Info << set;
    QTest::newRow("42 with blanks") << " 42 " << false << hexBytes("2A 00") << Kind::Info << set;
    QTest::newRow("101") << "101" << false << QByteArray() << Kind::Error << range;
    QTest::newRow("-1") << "-1" << false << QByteArray() << Kind::Error << range;
    QTest::newRow("50.5") << "50.5" << false << QByteArray() << Kind::Error << wrong;
    QTest::newRow("50,5") << "50,5" << false << QByteArray() << Kind::Error << wrong;
    QTest::newRow("empty") << "" << false << QByteArray() << Kind::Error << wrong;
    QTest::newRow("letters") << "abc" << false << QByteArray() << Kind::Error << wrong;
    QTest::newRow("no reply") << "50" << true << hexBytes("32 00") << Kind::Error
                              << "Ошибка калибровки";
}

void TestCalibrationPen::penCheck()
{
    QFETCH(QString, typed);
    QFETCH(bool, silent);
    QFETCH(QByteArray, payload);
    QFETCH(Kind, kind);
    QFETCH(QString, box);

    PageHarness<ServicePage> h;
    if (silent)
        h.link.faults.add(FaultRule{FaultRule::Silent});
    h.controls.setText(QStringLiteral("Edit_ArrowPer"), typed);
    h.root.findChild<QAbstractButton *>(QStringLiteral("Button34"))->click();

    verifyCommand(h, kind, box, payload, 10011, 1000, silent);
}

void TestCalibrationPen::outputTest_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("channelIndex");
    QTest::addColumn<int>("currentIndex");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QByteArray>("payload"); // empty: nothing may be sent
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("box");
    const QString done = QStringLiteral("Выполнено");
    const QString failed = QStringLiteral("Ошибка выполнения команды");
    QTest::newRow("channel 2, 12 mA") << "Button1" << 1 << 2 << false
                                      << hexBytes("02 23 00 00 00 00") << Kind::Info << done;
    QTest::newRow("channel 1, 4 mA") << "Button1" << 0 << 0 << false
                                     << hexBytes("01 21 00 00 00 00") << Kind::Info << done;
    QTest::newRow("channel 3, 20 mA") << "Button1" << 2 << 4 << false
                                      << hexBytes("03 25 00 00 00 00") << Kind::Info << done;
    QTest::newRow("exit, channel 4") << "Button2" << 3 << 0 << false
                                     << hexBytes("04 26 00 00 00 00") << Kind::Info << done;
    QTest::newRow("exit ignores the current") << "Button2" << 0 << 3 << false
                                              << hexBytes("01 26 00 00 00 00") << Kind::Info
                                              << done;
    QTest::newRow("no reply") << "Button1" << 1 << 2 << true << hexBytes("02 23 00 00 00 00")
                              << Kind::Error << failed;
    QTest::newRow("no channel selected") << "Button1" << -1 << 0 << false << QByteArray()
                                         << Kind::Error << failed;
    QTest::newRow("no current selected") << "Button1" << 0 << -1 << false << QByteArray()
                                         << Kind::Error << failed;
}

void TestCalibrationPen::outputTest()
{
    QFETCH(QString, button);
    QFETCH(int, channelIndex);
    QFETCH(int, currentIndex);
    QFETCH(bool, silent);
    QFETCH(QByteArray, payload);
    QFETCH(Kind, kind);
    QFETCH(QString, box);

    PageHarness<OutputTestGroup> h;
    QCOMPARE(h.controls.itemCount(QStringLiteral("ComboBoxPointCan")), 4);
    QCOMPARE(h.controls.itemText(QStringLiteral("ComboBoxPointIout"), 2), QStringLiteral("12 мА"));
    if (silent)
        h.link.faults.add(FaultRule{FaultRule::Silent});
    h.controls.setItemIndex(QStringLiteral("ComboBoxPointCan"), channelIndex);
    h.controls.setItemIndex(QStringLiteral("ComboBoxPointIout"), currentIndex);
    h.root.findChild<QAbstractButton *>(button)->click();

    verifyCommand(h, kind, box, payload, 10001, 8000, silent);
}

void TestCalibrationPen::coefficientRead()
{
    PageHarness<ServicePage> h;
    // Known values in the input current group of channel 2; the other groups
    // keep the simulator's own coefficients.
    const float known[] = {1.5f, 0.0f, -2.25f, 100.0f, 0.001f};
    QByteArray group;
    for (float v : known)
        group += floatBytes(v);
    // Register data is in wire order, which is the payload order.
    QVERIFY(h.link.model.setHoldingBytes(12001, group));
    const QByteArray coefficients = h.link.model.coefficients(2);

    h.root.findChild<QAbstractButton *>(QStringLiteral("ButtonReadCoeffCAN2"))->click();

    QVERIFY(h.boxes.boxes.isEmpty());
    QCOMPARE(h.link.sent.size(), 5);
    const int waits[] = {5000, 10000, 10000, 10000, 10000};
    for (int g = 0; g < 5; ++g) {
        const QByteArray frame = h.link.sent[g].frame;
        QCOMPARE(frame, [&] {
            QByteArray f = hexBytes("01 03");
            const quint16 reg = quint16(12001 + kOffsets[g]);
            f.append(char(reg >> 8)).append(char(reg & 0xFF)).append(char(0)).append(char(10));
            return f;
        }() + frame.right(2));
        QCOMPARE(h.link.sent[g].waitMs, waits[g]);
    }
    // Up to 15 significant digits, shortest form, decimal comma.
    const char *const shown[] = {"1,5", "0", "-2,25", "100", "0,00100000004749745"};
    for (int k = 1; k <= 5; ++k)
        QCOMPARE(h.controls.text(editName(2, 0, k)), QString::fromUtf8(shown[k - 1]));
    // Every other point reads back as the single the device holds.
    for (int g = 1; g < 5; ++g) {
        for (int k = 1; k <= 5; ++k) {
            const QString text = h.controls.text(editName(2, g, k));
            bool ok = false;
            const double value = QLocale().toDouble(text, &ok);
            QVERIFY2(ok, qPrintable(text));
            const float expected =
                std::bit_cast<float>(quint32(quint8(coefficients[2 * kOffsets[g] + 4 * (k - 1)]))
                                     | quint32(quint8(coefficients[2 * kOffsets[g] + 4 * (k - 1) + 1])) << 8
                                     | quint32(quint8(coefficients[2 * kOffsets[g] + 4 * (k - 1) + 2])) << 16
                                     | quint32(quint8(coefficients[2 * kOffsets[g] + 4 * (k - 1) + 3])) << 24);
            QCOMPARE(float(value), expected);
        }
    }
    // Other columns untouched.
    QCOMPARE(h.controls.text(editName(1, 0, 1)), QString());
}

void TestCalibrationPen::coefficientReadStopsAtFailure_data()
{
    QTest::addColumn<int>("failingGroup"); // 0-based
    QTest::newRow("first") << 0;
    QTest::newRow("third") << 2;
    QTest::newRow("last") << 4;
}

void TestCalibrationPen::coefficientReadStopsAtFailure()
{
    QFETCH(int, failingGroup);
    PageHarness<ServicePage> h;
    h.link.faults.add(silentAt(13001 + kOffsets[failingGroup]));
    // Whatever the column held before is cleared first.
    for (int n : {1, 3}) {
        for (int g = 0; g < 5; ++g) {
            for (int k = 1; k <= 5; ++k)
                h.controls.setText(editName(n, g, k), QStringLiteral("old"));
        }
    }
    h.page->ButtonReadCoeffCAN1Click(3);

    QCOMPARE(h.link.sent.size(), failingGroup + 1);
    QCOMPARE(h.boxes.boxes.size(), 1);
    QCOMPARE(h.boxes.lastKind(), Kind::Error);
    QCOMPARE(h.boxes.firstLines().value(0), QStringLiteral("Нет связи с прибором"));
    for (int g = 0; g < 5; ++g) {
        for (int k = 1; k <= 5; ++k) {
            const QString text = h.controls.text(editName(3, g, k));
            QVERIFY2(g < failingGroup ? !text.isEmpty() && text != QLatin1String("old")
                                      : text.isEmpty(),
                     qPrintable(editName(3, g, k) + " = " + text));
            QCOMPARE(h.controls.text(editName(1, g, k)), QStringLiteral("old"));
        }
    }
}

void TestCalibrationPen::coefficientReadEndsItsProgressOnAReset()
{
    PageHarness<ServicePage> h;
    FaultRule reset{FaultRule::DropTcp};
    reset.firstRegister = 12001 + kOffsets[2];
    h.link.faults.add(reset);
    h.root.findChild<QAbstractButton *>(QStringLiteral("ButtonReadCoeffCAN2"))->click();
    QCOMPARE(h.link.sent.size(), 3);
    QCOMPARE(h.boxes.boxes.size(), 1); // the socket error, reported
    QCOMPARE(h.status.open, 0);
}

// An 8000 ms command waits; meanwhile the poll is running and a click on
// other request buttons is attempted. Only the command reaches the device.
void TestCalibrationPen::commandsJournaled_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<bool>("broken");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("changes");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("pen to the maximum") << "Button4" << false << false << "Перо: на максимум" << ""
                                        << "подтверждено прибором";
    QTest::newRow("a nudge nobody answers") << "Button33" << true << false << "Перо: шаг +4" << ""
                                            << "Нет связи с прибором: Нет ответа за 200 мс";
    QTest::newRow("pen check") << "Button34" << false << false << "Перо: проверка" << "Проверка, %=50"
                               << "подтверждено прибором";
    QTest::newRow("calibration step with a value")
        << "ButtonCalibr" << false << false << "Калибровка: канал 2, шаг 32" << "Значение=21,5"
        << "подтверждено прибором";
    QTest::newRow("no journal: nothing sent") << "Button4" << false << true << "" << "" << "";
}

void TestCalibrationPen::commandsJournaled()
{
    QFETCH(QString, button);
    QFETCH(bool, silent);
    QFETCH(bool, broken);
    QFETCH(QString, what);
    QFETCH(QString, changes);
    QFETCH(QString, outcome);
    PageHarness<ServicePage> h;
    MemoryJournal journal;
    journal.broken = broken;
    h.ctx.journal = &journal;
    if (silent)
        h.link.faults.add(FaultRule{FaultRule::Silent});
    h.controls.setText(QStringLiteral("Edit_ArrowPer"), QStringLiteral("50"));
    h.controls.setPosition(QStringLiteral("UpDownCalibrCan"), 2);
    for (int i = 0; i < h.controls.itemCount(kList); ++i) {
        if (h.controls.itemText(kList, i).startsWith(QStringLiteral("32:")))
            h.controls.setItemIndex(kList, i);
    }
    h.controls.setText(kValue, QStringLiteral("21,5"));
    h.root.findChild<QAbstractButton *>(button)->click();
    if (broken) {
        QVERIFY(h.link.sent.isEmpty());
        QCOMPARE(h.boxes.lastText(), QStringLiteral("журнал недоступен"));
        QVERIFY(journal.records.isEmpty());
        return;
    }
    QCOMPARE(journal.records.size(), 1);
    const JournalRecord &r = journal.records[0];
    QCOMPARE(r.what.simplified(), what);
    QStringList shown;
    for (const JournalChange &c : r.changes)
        shown << c.caption + QLatin1Char('=') + c.after;
    QCOMPARE(shown.join(QLatin1Char(';')), changes);
    QCOMPARE(r.ok, !silent);
    QCOMPARE(r.outcome, outcome);
}

void TestCalibrationPen::busyLinkDuringALongCommand()
{
    WindowFixture fx;
    fx.revealEverything();
    IControls &c = fx.controls();
    fx.click(QStringLiteral("Button3"));
    QTRY_COMPARE_WITH_TIMEOUT(c.text(QStringLiteral("StaticTextOpros")),
                              QStringLiteral("Есть связь"), 3000);

    c.setPosition(QStringLiteral("UpDownCalibrCan"), 3);
    c.setItemIndex(kList, 6);

    const QStringList requestButtons = {"Button11", "ButtonReadCoeffCAN1", "Button1", "Button4",
                                        "Button32", "Button34", "ButtonCalibr"};
    QStringList enabledDuringWait;
    bool stopEnabled = false, startEnabled = false;
    QString linkStatusDuringWait;
    QTimer::singleShot(2500, [&] {
        for (const QString &name : requestButtons) {
            if (fx.button(name)->isEnabled())
                enabledDuringWait << name;
        }
        stopEnabled = fx.button(QStringLiteral("Button12"))->isEnabled();
        startEnabled = fx.button(QStringLiteral("Button3"))->isEnabled();
        // Clicks on disabled buttons do nothing; a poll falling due now is skipped.
        fx.button(QStringLiteral("Button4"))->click();
        fx.window().findChild<LivePage *>()->TimerDataReadTimer();
        linkStatusDuringWait = c.text(QStringLiteral("StaticTextOpros"));
    });

    fx.clearRequests();
    QElapsedTimer took;
    took.start();
    fx.click(QStringLiteral("ButtonCalibr"));
    const qint64 elapsed = took.elapsed();
    const QList<QByteArray> during = fx.requests();
    fx.click(QStringLiteral("Button12"));

    QVERIFY(elapsed >= 8000);
    QCOMPARE(during.size(), 1);
    QCOMPARE(during[0], hexBytes("01 10 27 11 00 03 06 03 06 00 00 00 00 8F 57"));
    QVERIFY2(enabledDuringWait.isEmpty(), qPrintable(enabledDuringWait.join(u' ')));
    QVERIFY(stopEnabled);
    QVERIFY(startEnabled);
    // Skipped, not failed: the status of the last poll stays.
    QCOMPARE(linkStatusDuringWait, QStringLiteral("Есть связь"));
    QCOMPARE(fx.boxes.texts(), QStringList{QStringLiteral("Точка откалибрована")});
    for (const QString &name : requestButtons)
        QVERIFY(fx.button(name)->isEnabled());
}

void TestCalibrationPen::commandsOverTheLink_data()
{
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("setting"); // list index for ButtonCalibr, channel index for Button1
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("box");
    QTest::newRow("calibrate 4000 µA, pty") << false << "ButtonCalibr" << 27 << "4000"
                                            << hexBytes("01 10 27 11 00 03 06 01 17 00 00 80 40")
                                            << "Точка откалибрована";
    QTest::newRow("pen ~5%, tcp") << true << "Button6" << -1 << ""
                                  << hexBytes("01 10 27 15 00 01 02 9E 07 DA 35")
                                  << "Перо установлено";
    QTest::newRow("12 mA on channel 2, tcp") << true << "Button1" << 1 << ""
                                             << hexBytes("01 10 27 11 00 03 06 02 23 00 00 00 00")
                                             << "Выполнено";
}

void TestCalibrationPen::commandsOverTheLink()
{
    QFETCH(bool, tcp);
    QFETCH(QString, button);
    QFETCH(int, setting);
    QFETCH(QString, value);
    QFETCH(QByteArray, frame);
    QFETCH(QString, box);

    WindowFixture fx;
    fx.revealEverything();
    if (tcp)
        QVERIFY(fx.connectTcp());
    IControls &c = fx.controls();
    if (button == QLatin1String("ButtonCalibr")) {
        c.setItemIndex(kList, setting);
        c.setText(kValue, value);
    } else if (button == QLatin1String("Button1")) {
        c.setItemIndex(QStringLiteral("ComboBoxPointCan"), setting);
        c.setItemIndex(QStringLiteral("ComboBoxPointIout"), 2);
    }
    fx.clearRequests();
    fx.click(button);

    const QList<QByteArray> requests = fx.requests();
    QCOMPARE(requests.size(), 1);
    // Whole frames where the CRC is given, else everything before the CRC.
    QCOMPARE(frame.size() == requests[0].size() ? requests[0] : requests[0].left(frame.size()),
             frame);
    QCOMPARE(fx.boxes.texts(), QStringList{box});
}

void TestCalibrationPen::nudgesOverTheLink()
{
    WindowFixture fx;
    fx.revealEverything();
    IControls &c = fx.controls();
    FaultRule once = silentAt(10005);
    once.times = 1;
    fx.sim().faults().add(once);

    QElapsedTimer took;
    took.start();
    fx.click(QStringLiteral("Button32"));
    const qint64 upMs = took.restart();
    QCOMPARE(c.text(QStringLiteral("StaticText50")), QStringLiteral("Err"));
    fx.click(QStringLiteral("Button33"));
    const qint64 downMs = took.elapsed();
    QCOMPARE(c.text(QStringLiteral("StaticText50")), QStringLiteral("OK"));

    // Each waits its 200 ms, not the 8000 ms of the other pen commands.
    QVERIFY2(upMs >= 200 && upMs < 1500, qPrintable(QString::number(upMs)));
    QVERIFY2(downMs >= 200 && downMs < 1500, qPrintable(QString::number(downMs)));
    const QList<QByteArray> requests = fx.requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].left(9), hexBytes("01 10 27 15 00 01 02 FC FF"));
    QCOMPARE(requests[1].left(9), hexBytes("01 10 27 15 00 01 02 04 00"));
    const auto writes = fx.sim().model().commandWrites();
    QCOMPARE(writes.size(), 1); // the silent one was never carried out
    QCOMPARE(writes[0].first, quint16(10005));
    QCOMPARE(writes[0].data, hexBytes("04 00"));
    QVERIFY(fx.boxes.boxes.isEmpty());
}

void TestCalibrationPen::penCheckOverTheLink()
{
    WindowFixture fx;
    fx.revealEverything();
    QVERIFY(fx.connectTcp());
    IControls &c = fx.controls();
    c.setText(QStringLiteral("Edit_ArrowPer"), QStringLiteral("101"));
    fx.click(QStringLiteral("Button34"));
    c.setText(QStringLiteral("Edit_ArrowPer"), QStringLiteral("100"));
    fx.click(QStringLiteral("Button34"));

    QCOMPARE(fx.boxes.texts(), (QStringList{QStringLiteral("Значение выходит за диапазон"),
                                            QStringLiteral("Положение пера установлено")}));
    const auto writes = fx.sim().model().commandWrites();
    QCOMPARE(writes.size(), 1);
    QCOMPARE(writes[0].first, quint16(10011));
    QCOMPARE(writes[0].data, hexBytes("64 00"));
}

// Each group waits its full time (5 s, then 10 s each), so this runs once.
void TestCalibrationPen::coefficientReadFailureOverTheLink()
{
    WindowFixture fx;
    fx.sim().faults().add(silentAt(12021));
    fx.clearRequests();
    fx.click(QStringLiteral("ButtonReadCoeffCAN2"));

    const QList<QByteArray> requests = fx.requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests[0].left(6), hexBytes("01 03 2E E1 00 0A")); // 12001
    QCOMPARE(requests[1].left(6), hexBytes("01 03 2E EB 00 0A")); // 12011
    QCOMPARE(requests[2].left(6), hexBytes("01 03 2E F5 00 0A")); // 12021
    QCOMPARE(fx.boxes.firstLines(), QStringList{QStringLiteral("Нет связи с прибором")});
    for (int g = 0; g < 5; ++g) {
        for (int k = 1; k <= 5; ++k)
            QCOMPARE(fx.controls().text(editName(2, g, k)).isEmpty(), g >= 2);
    }
}

// The bulk read marks a channel without a module; the channel text warns
// about it once the spinner moves there, and calibration is still allowed.
void TestCalibrationPen::channelWithoutModuleAfterBulkRead()
{
    WindowFixture fx;
    fx.revealEverything();
    fx.sim().model().setModuleMissing(3, true);
    fx.click(QStringLiteral("Button11"));
    IControls &c = fx.controls();
    QCOMPARE(c.text(QStringLiteral("StaticTextCalibrCan3")), QStringLiteral("нет"));
    QCOMPARE(c.text(QStringLiteral("EditCalibrCan")), QStringLiteral("Канал 1"));
    c.setPosition(QStringLiteral("UpDownCalibrCan"), 3);
    QCOMPARE(c.text(QStringLiteral("EditCalibrCan")), QStringLiteral("Канал 3 -нет"));
    c.setPosition(QStringLiteral("UpDownCalibrCan"), 2);
    QCOMPARE(c.text(QStringLiteral("EditCalibrCan")), QStringLiteral("Канал 2"));
}

QTEST_MAIN(TestCalibrationPen)
#include "tst_calibration_pen.moc"
