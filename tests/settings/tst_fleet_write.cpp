// One configuration file into several recorders of one line: each address's
// own values put in and validated before anything is sent, the line's slave
// addresses kept apart, and the run over simulated recorders on one
// pseudo-terminal or behind one gateway — a silent address, a stop between
// recorders and a dropped connection included.
#include "settings/fleet_write.h"

#include "link/af_com_port.h"
#include "link/link_activity.h"
#include "link/link_stack.h"
#include "link/tcp_client.h"
#include "settings/config_groups.h"
#include "sim/recorder_model.h"
#include "tests/support/sim_harness.h"

#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace vexs;

namespace {

DeviceConfig factoryConfig()
{
    DeviceConfig c;
    c.image = RecorderModel().settingsArea();
    return c;
}

QList<FieldSetting> settingsOf(const QStringList &texts)
{
    QList<FieldSetting> out;
    for (const QString &text : texts) {
        QString error;
        const std::optional<FieldSetting> s = parseFieldSetting(text, &error);
        if (!s)
            qFatal("bad setting in the test: %s", qPrintable(error));
        out << *s;
    }
    return out;
}

// "3 network.address=4 network.ip=…": an address and its settings.
QList<FleetAddress> fleetOf(const QStringList &rows)
{
    QList<FleetAddress> out;
    for (const QString &row : rows) {
        QStringList parts = row.split(u' ', Qt::SkipEmptyParts);
        const int address = parts.takeFirst().toInt();
        out.append({address, settingsOf(parts)});
    }
    return out;
}

int networkOffset()
{
    const ConfigGroup &g = configGroup(GroupFamily::Network);
    return g.layout->recordOffset(g.item);
}

// The window's serial line or gateway, at 115200 bit/s in fast exchange.
struct Line : ILinkSettings
{
    bool gateway = false;
    quint8 slaveAddress() const override { return 1; }
    int interfaceIndex() const override { return gateway ? 1 : 0; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return 4; }
    bool fastExchange() const override { return true; }
};

} // namespace

class tst_fleet_write : public QObject
{
    Q_OBJECT
private slots:
    void parsesSettings_data();
    void parsesSettings();
    void appliesSettingsPerAddress_data();
    void appliesSettingsPerAddress();
    void validatesTheWholeLineFirst_data();
    void validatesTheWholeLineFirst();
    void writesALine_data();
    void writesALine();
};

void tst_fleet_write::parsesSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed"); // group|field|value
    QTest::addColumn<QString>("error");
    QTest::newRow("address mark") << "network.address={addr}" << "network|address|{addr}" << "";
    QTest::newRow("group with a dot") << "measurement.1.rangeHigh=1.5" << "measurement.1|rangeHigh|1.5" << "";
    QTest::newRow("value with '='") << "network.ip=a=b" << "network|ip|a=b" << "";
    QTest::newRow("misspelt field")
        << "network.adress=1" << ""
        << "«network.adress=1»: в группе network нет поля «adress»; поля: address, interface, baud, ip, mask, "
           "gateway, port";
    QTest::newRow("reserved octet") << "network.reserved[3]=0" << "" << "нет поля «reserved[3]»";
    QTest::newRow("unknown group") << "net.address=1" << "" << "нет группы «net»";
    QTest::newRow("no value") << "network.address" << "" << "нужно ГРУППА.ПОЛЕ=ЗНАЧЕНИЕ";
    QTest::newRow("point table") << "math.1.points=1" << "" << "таблица точек «points» задаётся только в файле";
}

void tst_fleet_write::parsesSettings()
{
    QFETCH(QString, text);
    QFETCH(QString, parsed);
    QFETCH(QString, error);
    QString why;
    const std::optional<FieldSetting> s = parseFieldSetting(text, &why);
    const QString got = s ? QStringList({s->group, s->field, s->value}).join(u'|') : QString();
    QCOMPARE(got, parsed);
    QVERIFY2(why.contains(error) && why.isEmpty() == error.isEmpty(), qPrintable(why));
    if (s)
        QCOMPARE(s->text(), text);
}

void tst_fleet_write::appliesSettingsPerAddress_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<int>("address");
    QTest::addColumn<QStringList>("changes"); // from the factory configuration
    QTest::addColumn<QString>("error");
    const QStringList none;
    QTest::newRow("address of the recorder")
        << QStringList{"network.address={addr}"} << 7 << QStringList{"network / address: 1 -> 7"} << "";
    // The mask wants three digits a group, as the page pads them.
    QTest::newRow("IP typed short")
        << QStringList{"network.ip=192.168.1.{addr}"} << 12
        << QStringList{"network / ip: 192.168.011.002 -> 192.168.001.012"} << "";
    QTest::newRow("both, in record order")
        << QStringList{"network.ip=10.0.{addr}.1", "network.address={addr}"} << 200
        << QStringList{"network / address: 1 -> 200", "network / ip: 192.168.011.002 -> 010.000.200.001"} << "";
    QTest::newRow("list by text") << QStringList{"network.interface=Ethernet"} << 3
                                  << QStringList{"network / interface: RS-485 -> Ethernet"} << "";
    QTest::newRow("list by its first word")
        << QStringList{"network.baud=9600"} << 3
        << QStringList{"network / baud: 115200 бит/с -> 9600     бит/с"} << "";
    QTest::newRow("list by index") << QStringList{"network.baud=0"} << 3
                                   << QStringList{"network / baud: 115200 бит/с -> 9600     бит/с"} << "";
    QTest::newRow("another group") << QStringList{"measurement.1.rangeHigh=100"} << 3
                                   << QStringList{"measurement.1 / rangeHigh: 250.000 -> 100.000"} << "";
    // One setting, good at one address and not at another.
    QTest::newRow("IP group within 255") << QStringList{"network.ip=192.168.{addr}0.1"} << 20
                                         << QStringList{"network / ip: 192.168.011.002 -> 192.168.200.001"} << "";
    QTest::newRow("IP group past 255")
        << QStringList{"network.ip=192.168.{addr}0.1"} << 30 << none
        << "Адрес 30, группа network («Сеть»), поле «ip» = «192.168.300.1»: Неверный IP-адрес";
    QTest::newRow("address past 255")
        << QStringList{"network.address={addr}0"} << 30 << none
        << "Адрес 30, группа network («Сеть»), поле «address» = «300»: должно быть целое число от 1 до 255";
    QTest::newRow("no such item") << QStringList{"network.interface=Wi-Fi"} << 5 << none
                                  << "Адрес 5, группа network («Сеть»), поле «interface» = «Wi-Fi»: нет пункта «Wi-Fi»";
    QTest::newRow("page's own rule")
        << QStringList{"network.address={addr}", "measurement.1.rangeHigh=abc"} << 5 << none
        << "Адрес 5, группа measurement.1 («Канал измерения 1»), поле «rangeHigh» = «abc»: Канал 1: ВПИ.";
}

void tst_fleet_write::appliesSettingsPerAddress()
{
    QFETCH(QStringList, settings);
    QFETCH(int, address);
    QFETCH(QStringList, changes);
    QFETCH(QString, error);
    const DeviceConfig base = factoryConfig();
    QString why;
    const std::optional<DeviceConfig> own = applySettings(base, settingsOf(settings), address, &why);
    QVERIFY2(error.isEmpty() ? why.isEmpty() : why.startsWith(error), qPrintable(why));
    QCOMPARE(bool(own), error.isEmpty());
    if (!own)
        return;
    QStringList shown;
    for (const ConfigDifference &d : compareGroups(base, *own))
        shown << differenceLine(d);
    QCOMPARE(shown, changes);
}

void tst_fleet_write::validatesTheWholeLineFirst_data()
{
    QTest::addColumn<QStringList>("rows"); // "address setting..."
    QTest::addColumn<bool>("keepNetwork");
    QTest::addColumn<QString>("error");
    QTest::newRow("each keeps its address")
        << QStringList{"1 network.address={addr}", "2 network.address={addr}", "3 network.address={addr}"} << false
        << "";
    QTest::newRow("the file's address for all") << QStringList{"1", "2", "3"} << false
                                                << "Приборы по адресам 1 и 2 получили бы один адрес 1";
    QTest::newRow("network kept") << QStringList{"1", "2", "3"} << true << "";
    QTest::newRow("value for a kept group")
        << QStringList{"1", "2 network.ip=10.0.0.1"} << true
        << "Адрес 2: поле network.ip не будет записано: группа network остаётся как в приборе";
    QTest::newRow("renumbered apart") << QStringList{"3 network.address=13", "4 network.address=14"} << false << "";
    QTest::newRow("onto another's address")
        << QStringList{"3 network.address=4", "4 network.address=5"} << false
        << "Прибор по адресу 3 получил бы адрес 4, по которому отвечает другой прибор списка";
    QTest::newRow("bad value at the last address")
        << QStringList{"1 network.address={addr}", "2 network.address={addr}",
                       "3 network.address={addr} network.ip=1.2.3.999"}
        << false << "Адрес 3, группа network («Сеть»), поле «ip» = «1.2.3.999»: Неверный IP-адрес";
    QTest::newRow("one field twice") << QStringList{"1 network.address=1 network.address=2"} << false
                                     << "Адрес 1: поле network.address задано дважды";
}

void tst_fleet_write::validatesTheWholeLineFirst()
{
    QFETCH(QStringList, rows);
    QFETCH(bool, keepNetwork);
    QFETCH(QString, error);
    const QStringList keep = keepNetwork ? QStringList{"network"} : QStringList();
    QString why;
    const std::optional<QList<FleetTarget>> targets = fleetTargets(factoryConfig(), fleetOf(rows), keep, &why);
    if (targets)
        why = addressClash(*targets, keep);
    QCOMPARE(why, error);
    if (!error.isEmpty())
        return;
    QCOMPARE(targets->size(), rows.size());
    // Kept or not, nothing but the network group differs from the file.
    for (const FleetTarget &t : *targets) {
        for (const ConfigDifference &d : compareGroups(factoryConfig(), t.config))
            QCOMPARE(d.group, QString("network"));
    }
}

void tst_fleet_write::writesALine_data()
{
    QTest::addColumn<bool>("gateway");
    QTest::addColumn<QList<int>>("addresses"); // written; 2, 4 and 6 are on the line
    QTest::addColumn<int>("stopAfter");        // lines; 0: no stop
    QTest::addColumn<QList<int>>("verified");
    QTest::addColumn<int>("selects");
    QTest::addColumn<QString>("summary");
    QTest::newRow("all verified") << false << QList<int>{2, 4, 6} << 0 << QList<int>{2, 4, 6} << 3
                                  << "Записано и проверено приборов: 3 из 3";
    QTest::newRow("one silent") << false << QList<int>{2, 3, 4} << 0 << QList<int>{2, 4} << 3
                                << "Записано и проверено приборов: 2 из 3\nАдрес 3: Нет связи с прибором: "
                                   "резервная копия не сделана, в прибор ничего не записано (нет ответа за ";
    QTest::newRow("stop after the second")
        << false << QList<int>{2, 4, 6} << 2 << QList<int>{2, 4} << 2
        << "Записано и проверено приборов: 2 из 3\nЗапись остановлена: не записывались адреса 6";
    // The gateway closes the connection at the first request: that recorder
    // is asked again over a new connection.
    QTest::newRow("gateway drops once") << true << QList<int>{2, 4, 6} << 0 << QList<int>{2, 4, 6} << 4
                                        << "Записано и проверено приборов: 3 из 3";
}

void tst_fleet_write::writesALine()
{
    QFETCH(bool, gateway);
    QFETCH(QList<int>, addresses);
    QFETCH(int, stopAfter);
    QFETCH(QList<int>, verified);
    QFETCH(int, selects);
    QFETCH(QString, summary);

    SimHarness sim;
    SimHarness::Options so;
    so.pty = !gateway;
    so.tcp = gateway;
    so.addresses = {2, 4, 6};
    QVERIFY2(sim.start(so), qPrintable(sim.errorString()));
    QMap<int, QByteArray> before;
    for (const int a : so.addresses)
        before.insert(a, sim.simulator().modelAt(a)->settingsArea());

    Line line;
    line.gateway = gateway;
    FleetLinkSettings settings(line);
    TAfComPort port;
    const QString pty = sim.ptyLink();
    port.SetDevicePathResolver([pty](int) { return pty; });
    TcpClient tcp;
    LinkActivity activity;
    LinkStack link(settings, port, tcp, activity);
    if (gateway) {
        tcp.setReconnect(true);
        QVERIFY(tcp.setHost(QStringLiteral("127.0.0.1")) && tcp.setPort(sim.tcpPort()) && tcp.activate());
        QTRY_VERIFY(tcp.active());
        FaultRule drop{FaultRule::DropTcp};
        drop.times = 1;
        sim.faults().add(drop);
    }

    DeviceConfig file = factoryConfig();
    file.image[configGroup(GroupFamily::Measurement, 2).layout->recordOffset(2) + 1] = 13;
    QList<FleetAddress> rows;
    for (const int a : addresses)
        rows.append({a, settingsOf({"network.address={addr}"})});
    QString error;
    const std::optional<QList<FleetTarget>> targets = fleetTargets(file, rows, {}, &error);
    QVERIFY2(targets, qPrintable(error));

    QTemporaryDir backups;
    WriteOptions options;
    options.backupFolder = backups.path();
    options.program = QStringLiteral("test");
    int asked = 0;
    QList<FleetLine> told;
    const FleetReport report = writeFleet(
        *targets,
        [&](int address, QString *) {
            ++asked;
            settings.setAddress(address);
            return true;
        },
        link.modbus(), options, [&] { return stopAfter == 0 || told.size() < stopAfter; },
        [&](const FleetLine &l) { told << l; }, [&] { return gateway && !tcp.active(); });

    QCOMPARE(asked, selects);
    QCOMPARE(report.lines.size(), told.size());
    QCOMPARE(report.stopped, stopAfter > 0);
    QList<int> ok;
    for (const FleetLine &l : report.lines) {
        if (l.ok)
            ok << l.address;
        const QString begins = QStringLiteral("%1: %2").arg(l.address).arg(QString::fromLatin1(l.ok ? "ok, " : "error "));
        QVERIFY2(l.text.startsWith(begins), qPrintable(l.text));
        QCOMPARE(l.why.isEmpty(), l.ok);
    }
    QCOMPARE(ok, verified);
    QCOMPARE(report.verified(), verified.size());
    QCOMPARE(report.allVerified(), verified == addresses);
    QVERIFY2(report.summary().startsWith(summary), qPrintable(report.summary()));

    for (const int a : so.addresses) {
        QByteArray expected = file.image;
        expected[networkOffset()] = char(a);
        const QByteArray now = sim.simulator().modelAt(a)->settingsArea();
        if (!verified.contains(a)) {
            QVERIFY2(now == before.value(a), qPrintable(QStringLiteral("recorder %1 changed").arg(a)));
            continue;
        }
        QCOMPARE(now, expected);
        // Each recorder's own backup, of what it held before.
        const FleetLine &l = *std::find_if(report.lines.cbegin(), report.lines.cend(),
                                           [a](const FleetLine &x) { return x.address == a; });
        QVERIFY2(l.text.endsWith(l.backupPath), qPrintable(l.text));
        const std::optional<DeviceConfig> backup = readConfigFile(l.backupPath, &error);
        QVERIFY2(backup, qPrintable(error));
        QCOMPARE(backup->serial(), QString::number(310000 + a));
        QCOMPARE(backup->image, before.value(a));
    }
}

QTEST_GUILESS_MAIN(tst_fleet_write)
#include "tst_fleet_write.moc"
