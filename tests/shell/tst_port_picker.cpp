// The port picker beside the port number and the reasons a port failed, as
// the connection bar shows them.
#include "link/af_com_port.h"
#include "shell/connection_bar.h"
#include "shell/ini_file.h"
#include "shell/port_map.h"
#include "shell/port_picker.h"
#include "tests/support/window_fixture.h"
#include "ui/controls.h"
#include "ui/page_context.h"
#include "link/modbus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

using namespace vexs;
using namespace vexs::test;

class tst_port_picker : public QObject
{
    Q_OBJECT
private slots:
    void stableNameFollowsByIdLink();
    void pickingMapsTheCurrentNumber();
    void emptyListSaysSo();
    void dialogListsAndReturnsChoice();
    void ftdiLatencyNotes_data();
    void ftdiLatencyNotes();
    void failureTexts_data();
    void failureTexts();
    void udevRuleFound_data();
    void udevRuleFound();
    void barShowsWhyThePortFailed();
};

void tst_port_picker::stableNameFollowsByIdLink()
{
    QTemporaryDir dir;
    const QString device = dir.filePath("ttyUSB0");
    QFile(device).open(QIODevice::WriteOnly);
    QDir().mkpath(dir.filePath("by-id"));
    const QString link = dir.filePath("by-id/usb-FTDI_FT232R_A1B2-if00-port0");
    QVERIFY(QFile::link(device, link));
    QCOMPARE(stablePortName(device, dir.filePath("by-id")), link);
    QCOMPARE(stablePortName(dir.filePath("ttyS0"), dir.filePath("by-id")), dir.filePath("ttyS0"));
}

void tst_port_picker::pickingMapsTheCurrentNumber()
{
    WindowFixture fx;
    ConnectionBar &bar = fx.window().connectionBar();
    QList<SerialPortEntry> offered;
    bar.listPorts = [] {
        return QList<SerialPortEntry>{{"/dev/ttyS0", "/dev/ttyS0", "", "", "", ""},
                                      {"/dev/serial/by-id/usb-X", "/dev/ttyUSB0", "USB", "FTDI", "A1", ""}};
    };
    bar.choosePort = [&](const QList<SerialPortEntry> &ports, int) {
        offered = ports;
        return ports[1].path;
    };
    fx.controls().setPosition("UpDownComPort", 4);
    fx.click("ButtonComPortPick");
    QCOMPARE(offered.size(), 2);
    QCOMPARE(IniFile(fx.configPath()).readString("Ports", "COM4", ""),
             QStringLiteral("/dev/serial/by-id/usb-X"));
    QCOMPARE(serialDevicePath(4, fx.configPath()), QStringLiteral("/dev/serial/by-id/usb-X"));
    // A number with no mapping keeps the platform's own name.
    QCOMPARE(serialDevicePath(5, fx.configPath()), defaultSerialDevice(5));
    // Cancelled: nothing changes.
    bar.choosePort = [](const QList<SerialPortEntry> &, int) { return QString(); };
    fx.controls().setPosition("UpDownComPort", 6);
    fx.click("ButtonComPortPick");
    QCOMPARE(IniFile(fx.configPath()).keys("Ports"), QStringList{"COM4"});
}

void tst_port_picker::emptyListSaysSo()
{
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    ConnectionBar &bar = fx.window().connectionBar();
    bar.listPorts = [] { return QList<SerialPortEntry>(); };
    // Nothing found, the picker still opens: a path may be typed.
    bool opened = false;
    bar.choosePort = [&](const QList<SerialPortEntry> &ports, int) {
        opened = ports.isEmpty();
        return QStringLiteral("/dev/ttyRS485");
    };
    fx.click("ButtonComPortPick");
    QVERIFY(opened);
    QVERIFY(fx.boxes.texts().isEmpty());
    // The port number's tooltip names where it leads now.
    const QString tip = fx.window().findChild<QWidget *>("UpDownComPort")->toolTip();
    QVERIFY2(tip.startsWith("COM1: /"), qPrintable(tip));
}

void tst_port_picker::dialogListsAndReturnsChoice()
{
    PortPickerDialog dialog({{"/dev/ttyS0", "/dev/ttyS0", "", "", "", ""},
                             {"/dev/serial/by-id/usb-X", "/dev/ttyUSB0", "USB", "FTDI", "A1", ""}},
                            3, "/dev/ttyS2");
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Выбор порта для COM3"));
    QCOMPARE(dialog.findChild<QLabel *>("LabelPortCurrent")->text(), QStringLiteral("Сейчас COM3 — /dev/ttyS2"));
    QCOMPARE(dialog.selectedPath(), QStringLiteral("/dev/ttyS2"));
    dialog.selectRow(1);
    QCOMPARE(dialog.selectedPath(), QStringLiteral("/dev/serial/by-id/usb-X"));
    // A path the list does not show may be typed.
    dialog.findChild<QLineEdit *>("EditPortPath")->setText(" /dev/ttyRS485 ");
    QCOMPARE(dialog.selectedPath(), QStringLiteral("/dev/ttyRS485"));
    PortPickerDialog none({}, 1);
    QVERIFY(!none.findChild<QLabel *>("LabelNoPorts")->isHidden());
    QCOMPARE(none.selectedPath(), QString());
}

// The picker reads the FTDI driver's latency timer beside the port in sysfs
// and says when it holds replies back longer than the package's rule would.
void tst_port_picker::ftdiLatencyNotes_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no such file
    QTest::addColumn<QString>("note");
    const QString unread = "Таймер задержки FTDI не прочитан";
    QTest::newRow("no timer (not FTDI)") << QByteArray() << "";
    QTest::newRow("1 ms") << QByteArray("1\n") << "Таймер задержки FTDI: 1 мс";
    QTest::newRow("16 ms, the default")
        << QByteArray("16\n") << "Таймер задержки FTDI: 16 мс (правило udev из пакета ставит 1 мс)";
    QTest::newRow("garbage") << QByteArray("latency\n") << unread;
    QTest::newRow("beyond one octet") << QByteArray("256\n") << unread;
    QTest::newRow("huge number") << QByteArray("99999999999999999999999999999999\n") << unread;
}

void tst_port_picker::ftdiLatencyNotes()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, note);
    QTemporaryDir sys;
    const QString port = sys.filePath("bus/usb-serial/devices/ttyUSB3");
    QVERIFY(QDir().mkpath(port));
    if (!content.isNull()) {
        QFile file(port + "/latency_timer");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QCOMPARE(ftdiLatencyNote("/dev/ttyUSB3", sys.path()), note);
    // Another port's timer is not this one's.
    QCOMPARE(ftdiLatencyNote("/dev/ttyUSB0", sys.path()), QString());

    // The dialog shows the selected port's note and hides an empty one.
    PortPickerDialog dialog({{"/dev/ttyS0", "/dev/ttyS0", "", "", "", ""},
                             {"/dev/ttyUSB3", "/dev/ttyUSB3", "FT232R", "FTDI", "A1", note}},
                            1);
    auto *label = dialog.findChild<QLabel *>("LabelPortNote");
    dialog.selectRow(1);
    QCOMPARE(label->text(), note);
    QCOMPARE(label->isHidden(), note.isEmpty());
    dialog.selectRow(0);
    QVERIFY(label->isHidden());
}

void tst_port_picker::failureTexts_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<bool>("ruleInstalled");
    QTest::addColumn<QString>("text");
    QTest::newRow("works") << int(PortFailure::None) << false << "";
    QTest::newRow("missing") << int(PortFailure::NoDevice) << false << "COM2: нет устройства /dev/ttyUSB1";
    QTest::newRow("permission") << int(PortFailure::PermissionDenied) << false
                                << "COM2: нет доступа к /dev/ttyUSB1 (пользователь должен входить в группу dialout)";
    QTest::newRow("permission, rule installed")
        << int(PortFailure::PermissionDenied) << true
        << "COM2: нет доступа к /dev/ttyUSB1 (правило udev 60-vexs-usb-serial.rules даст доступ к "
           "USB-адаптеру, если переподключить его или войти в систему заново; иначе пользователь "
           "должен входить в группу dialout)";
    QTest::newRow("busy") << int(PortFailure::Busy) << false << "COM2: /dev/ttyUSB1 занят другой программой";
    QTest::newRow("pulled") << int(PortFailure::LineLost) << false
                            << "COM2: связь с /dev/ttyUSB1 прервана (устройство отключено?)";
    // The rule speaks only to a refusal.
    QTest::newRow("missing, rule installed") << int(PortFailure::NoDevice) << true
                                             << "COM2: нет устройства /dev/ttyUSB1";
}

void tst_port_picker::failureTexts()
{
    QFETCH(int, failure);
    QFETCH(bool, ruleInstalled);
    QFETCH(QString, text);
    const PortStatus status{PortFailure(failure), 2, "/dev/ttyUSB1", "detail"};
    QCOMPARE(portFailureText(status, ruleInstalled), text);
    // Other failures read the same whether this machine has the rule or not.
    if (PortFailure(failure) != PortFailure::PermissionDenied)
        QCOMPARE(portFailureText(status), text);
}

// Where a system package puts udev rules; the name is the one packaging/
// ships.
void tst_port_picker::udevRuleFound_data()
{
    QTest::addColumn<QString>("placed"); // a folder's file name, or "folder/" for a folder of that name
    QTest::addColumn<bool>("found");
    QTest::newRow("in the first folder") << "usr/60-vexs-usb-serial.rules" << true;
    QTest::newRow("in the second folder") << "lib/60-vexs-usb-serial.rules" << true;
    QTest::newRow("another rule only") << "usr/60-serial.rules" << false;
    QTest::newRow("a folder by that name") << "usr/60-vexs-usb-serial.rules/" << false;
}

void tst_port_picker::udevRuleFound()
{
    QFETCH(QString, placed);
    QFETCH(bool, found);
    QVERIFY(QFile::exists(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../packaging/") + kUdevRuleName));
    QTemporaryDir root;
    const QString path = root.filePath(placed);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    if (placed.endsWith('/'))
        QVERIFY(QDir().mkpath(path));
    else
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    const QStringList folders{root.filePath("usr"), root.filePath("lib"), root.filePath("missing")};
    QCOMPARE(udevRuleInstalled(folders), found);
}

void tst_port_picker::barShowsWhyThePortFailed()
{
    WindowFixture fx;
    ConnectionBar &bar = fx.window().connectionBar();
    // Port 2 names a device that is not there; the page still says only
    // that there is no link, the bar says why.
    fx.controls().setPosition("UpDownComPort", 2);
    fx.click("Button11");
    QVERIFY2(bar.portStatusText().startsWith("COM2: нет устройства "), qPrintable(bar.portStatusText()));
    QVERIFY(bar.portStatusText().endsWith("no-such-port"));
    QCOMPARE(fx.controls().text("LabelInfo"), QStringLiteral("Нет связи с прибором"));
    // A page's box says it beneath its own text.
    fx.click("ButtonReadNastrRs");
    QCOMPARE(fx.boxes.lastText(), QStringLiteral("Нет связи с прибором\n") + bar.portStatusText());

    // Port 1 held by another program.
    fx.controls().setPosition("UpDownComPort", 1);
    QSerialPort other(fx.sim().ptyLink());
    QVERIFY(other.open(QIODevice::ReadWrite));
    fx.window().context().modbus.ReadInputRegisters(0, 48, 100);
    QVERIFY2(bar.portStatusText().endsWith("занят другой программой"), qPrintable(bar.portStatusText()));
    QCOMPARE(causeText(fx.window().context().modbus.lastOutcome()), bar.portStatusText());
    other.close();
    QCOMPARE(fx.window().context().modbus.ReadInputRegisters(0, 48, 100).size(), 101);
    QCOMPARE(bar.portStatusText(), QString());
}

QTEST_MAIN(tst_port_picker)
#include "tst_port_picker.moc"
