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

#include <QFile>
#include <QLabel>
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
    void failureTexts_data();
    void failureTexts();
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
        return QList<SerialPortEntry>{{"/dev/ttyS0", "/dev/ttyS0", "", "", ""},
                                      {"/dev/serial/by-id/usb-X", "/dev/ttyUSB0", "USB", "FTDI", "A1"}};
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
    fx.window().connectionBar().listPorts = [] { return QList<SerialPortEntry>(); };
    fx.click("ButtonComPortPick");
    QCOMPARE(fx.boxes.texts(), QStringList{"Последовательные порты не найдены"});
}

void tst_port_picker::dialogListsAndReturnsChoice()
{
    PortPickerDialog dialog({{"/dev/ttyS0", "/dev/ttyS0", "", "", ""},
                             {"/dev/serial/by-id/usb-X", "/dev/ttyUSB0", "USB", "FTDI", "A1"}},
                            3);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Выбор порта для COM3"));
    QCOMPARE(dialog.selectedPath(), QString());
    dialog.selectRow(1);
    QCOMPARE(dialog.selectedPath(), QStringLiteral("/dev/serial/by-id/usb-X"));
    PortPickerDialog none({}, 1);
    QVERIFY(!none.findChild<QLabel *>("LabelNoPorts")->isHidden());
}

void tst_port_picker::failureTexts_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("text");
    QTest::newRow("works") << int(PortFailure::None) << "";
    QTest::newRow("missing") << int(PortFailure::NoDevice) << "COM2: нет устройства /dev/ttyUSB1";
    QTest::newRow("permission") << int(PortFailure::PermissionDenied)
                                << "COM2: нет доступа к /dev/ttyUSB1 (пользователь должен входить в группу dialout)";
    QTest::newRow("busy") << int(PortFailure::Busy) << "COM2: /dev/ttyUSB1 занят другой программой";
    QTest::newRow("pulled") << int(PortFailure::LineLost)
                            << "COM2: связь с /dev/ttyUSB1 прервана (устройство отключено?)";
}

void tst_port_picker::failureTexts()
{
    QFETCH(int, failure);
    QFETCH(QString, text);
    QCOMPARE(portFailureText({PortFailure(failure), 2, "/dev/ttyUSB1", "detail"}), text);
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
