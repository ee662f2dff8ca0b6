// The real vexs-cli against independent Modbus RTU slaves (libmodbus) on
// pseudo-terminals: read one recorder, copy its configuration into another,
// compare, restore the other from its backup.
#include "settings/config_file.h"
#include "settings/config_groups.h"
#include "settings/encodings.h"
#include "settings/settings_image.h"
#include "sim/recorder_model.h"
#include "tests/support/modbus_peer.h"
#include "tests/support/sim_harness.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace vexs;
using namespace vexs::test;

namespace {

constexpr int kIdentRegister = 10012;

struct Result
{
    int exit = -1;
    QString out;
    QString err;
};

int at(GroupFamily family, int item, int offset)
{
    const ConfigGroup &g = configGroup(family, item);
    return g.layout->recordOffset(item) + offset;
}

QByteArray identification(const QByteArray &serial)
{
    QByteArray ident = RecorderModel().identification();
    ident.replace(6, 6, serial);
    return ident;
}

} // namespace

class tst_cli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void copyCompareAndRestore();
    void badUsageAndBadFilesSendNothing_data();
    void badUsageAndBadFilesSendNothing();
    void liveRows();
    void scanAndBatchBackupOfALine();

private:
    // stdoutFile: where standard output goes instead of Result::out.
    Result run(const QStringList &args, int timeoutMs = 120000, const QString &stdoutFile = QString());
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QByteArray m_imageA;
    QByteArray m_imageB;
};

Result tst_cli::run(const QStringList &args, int timeoutMs, const QString &stdoutFile)
{
    QProcess p;
    if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Backups land in the test's own folder.
    env.insert(QStringLiteral("HOME"), m_dir.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VEXS_CLI_PATH), args);
    Result r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void tst_cli::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_imageA = RecorderModel().settingsArea();
    // B differs in several groups, one octet no field names included.
    m_imageB = m_imageA;
    m_imageB[at(GroupFamily::Measurement, 2, 1)] = 13;
    writeFloat(m_imageB, at(GroupFamily::Setpoint, 5, 4), 42.5f);
    writeFloat(m_imageB, at(GroupFamily::Math, 3, 282), 2.0f);
    m_imageB[at(GroupFamily::Network, 1, 0)] = 7;
    m_imageB[at(GroupFamily::DisplayChannel, 1, 10)] = 0x33;

    DeviceConfig config;
    config.image = m_imageA;
    QByteArray text = configToJson(config);
    QVERIFY(text.contains("\"rangeHigh\": \"250.000\""));
    text.replace("\"rangeHigh\": \"250.000\"", "\"rangeHigh\": \"25O\"");
    QFile bad(path("bad.json"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(text);
    QFile foreign(path("foreign.json"));
    QVERIFY(foreign.open(QIODevice::WriteOnly));
    foreign.write(R"({"format": "other", "version": 1})");
}

void tst_cli::copyCompareAndRestore()
{
    ModbusPeer a, b;
    QVERIFY(a.isRunning() && b.isRunning());
    a.setHolding(0, m_imageA);
    a.setHolding(kIdentRegister, identification("001234"));
    b.setHolding(0, m_imageB);
    b.setHolding(kIdentRegister, identification("000777"));
    const QStringList onA{QStringLiteral("--port"), a.portPath()};
    const QStringList onB{QStringLiteral("--port"), b.portPath()};

    Result r = run(onA + QStringList{"read", "-o", path("a.json")});
    QVERIFY2(r.exit == 0, qPrintable(r.err));

    // Before the write: every differing field is named, the serial is a note.
    r = run(onB + QStringList{"diff", path("a.json"), "device"});
    QCOMPARE(r.exit, 1);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.filter(QRegularExpression("^[^#]")),
             QStringList({"measurement.2 / signal: ТС Pt100 (-120..500 С) -> Ток 0..5mA",
                          "math.3 / k1: 1.000 -> 2.000", "setpoint.5 / value: 0.100 -> 42.500",
                          "display.channel / reserved[8..15]: 00 00 00 00 00 00 00 00 -> 00 00 33 00 00 00 00 00",
                          "network / address: 1 -> 7"}));
    QVERIFY2(lines.contains("# identification / serial: 001234 -> 000777"), qPrintable(r.out));

    r = run(onB + QStringList{"write", path("a.json")});
    QVERIFY2(r.exit == 0, qPrintable(r.err + r.out));
    const QRegularExpressionMatch backup = QRegularExpression("Резервная копия: (\\S+)").match(r.err);
    QVERIFY2(backup.hasMatch(), qPrintable(r.err));
    QVERIFY(backup.captured(1).startsWith(path("data/vexs-configurator/backups/000777-")));
    QCOMPARE(r.out.count(QStringLiteral("записана и проверена")), configGroups().size());
    QCOMPARE(b.holding(0, SettingsImage::Size / 2).toHex(), m_imageA.toHex());
    QCOMPARE(b.holding(kIdentRegister, 11), identification("000777"));

    r = run(onB + QStringList{"read", "-o", path("b.json")});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    r = run({"diff", path("a.json"), path("b.json")});
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));

    // The backup brings B back.
    r = run(onB + QStringList{"write", "--no-backup", backup.captured(1)});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QCOMPARE(b.holding(0, SettingsImage::Size / 2).toHex(), m_imageB.toHex());
}

void tst_cli::badUsageAndBadFilesSendNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no command") << QStringList() << "не указана команда";
    QTest::newRow("unknown command") << QStringList{"erase"} << "неизвестная команда erase";
    QTest::newRow("unknown option") << QStringList{"read", "--speed", "1"} << "неизвестный параметр --speed";
    QTest::newRow("speed") << QStringList{"--baud", "1234", "read"} << "--baud";
    QTest::newRow("address") << QStringList{"--address", "0", "read"} << "--address";
    QTest::newRow("tcp") << QStringList{"--tcp", "gateway", "read"} << "ХОСТ:ПОРТ";
    // The runner gives --port already.
    QTest::newRow("two links") << QStringList{"--tcp", "127.0.0.1:5000", "read"}
                               << "--port и --tcp";
    QTest::newRow("option of another command") << QStringList{"read", "--no-backup"} << "не относится к команде read";
    QTest::newRow("diff of one") << QStringList{"diff", "a.json"} << "нужны два файла";
    QTest::newRow("empty output") << QStringList{"read", "-o", ""} << "-o: нужен путь";
    QTest::newRow("empty keep") << QStringList{"write", "a.json", "--keep", " , "} << "--keep: нужна группа";
    QTest::newRow("address twice")
        << QStringList{"--address", "1-8", "read", "-o", "plant", "--address", "3"} << "--address указан дважды";
    QTest::newRow("output twice") << QStringList{"read", "-o", "a", "--output=b"} << "--output указан дважды";
    QTest::newRow("missing file") << QStringList{"write", "missing.json"} << "не удается открыть";
    QTest::newRow("bad file") << QStringList{"write", "bad.json"}
                              << "группа measurement.1 («Канал измерения 1»), поле «rangeHigh»: "
                                 "Канал 1: ВПИ.Неверное значение";
    QTest::newRow("foreign file") << QStringList{"diff", "foreign.json", "bad.json"} << "не файл конфигурации";
    QTest::newRow("folder not writable") << QStringList{"read", "--address", "1-2", "-o", "/proc"}
                                         << "В папку «/proc» нельзя записать";
}

void tst_cli::badUsageAndBadFilesSendNothing()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    for (QString &arg : args) {
        if (arg.endsWith(QLatin1String(".json")))
            arg = path(arg);
    }

    ModbusPeer peer;
    QVERIFY(peer.isRunning());
    const Result r = run(QStringList{"--port", peer.portPath()} + args);
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(peer.requests().isEmpty());
}

void tst_cli::liveRows()
{
    ModbusPeer peer;
    QVERIFY(peer.isRunning());
    const Result r = run({"--port", peer.portPath(), "live", "--count", "3"});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    const QStringList rows = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 4);
    QVERIFY(rows[0].startsWith(QStringLiteral("Время;Связь;Канал 1 параметр")));
    for (int k = 1; k < rows.size(); ++k)
        QVERIFY2(rows[k].section(QLatin1Char(';'), 1, 1) == QStringLiteral("Есть связь"), qPrintable(rows[k]));
    QCOMPARE(peer.requests().size(), 3);

    const Result none = run({"--port", path("no-such-port"), "live", "--count", "1"});
    QCOMPARE(none.exit, 2);
    QVERIFY2(none.err.contains(QStringLiteral("нет устройства")), qPrintable(none.err));
}

void tst_cli::scanAndBatchBackupOfALine()
{
    SimHarness sim;
    SimHarness::Options o;
    o.tcp = false;
    o.pace = true;
    o.addresses = {2, 4, 6};
    QVERIFY2(sim.start(o), qPrintable(sim.errorString()));
    const QStringList port{QStringLiteral("--port"), sim.ptyLink()};

    Result r = run(port + QStringList{"scan", "--addresses", "1-8"});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             QStringList({"2\t310002\tprocessor 2.3\tindicator 10.5\tadc 1.2",
                          "4\t310004\tprocessor 2.3\tindicator 10.5\tadc 1.2",
                          "6\t310006\tprocessor 2.3\tindicator 10.5\tadc 1.2"}));

    const QString dir = path(QStringLiteral("line"));
    r = run(port + QStringList{"--fast", "read", "--address", "3-4,6", "-o", dir});
    QCOMPARE(r.exit, 1); // one address did not answer
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("3: no answer"));
    QVERIFY(lines[1].startsWith(QStringLiteral("4: ok ")));
    QVERIFY(lines[2].startsWith(QStringLiteral("6: ok ")));
    QString error;
    const std::optional<DeviceConfig> six = readConfigFile(QDir(dir).filePath("310006.json"), &error);
    QVERIFY2(six, qPrintable(error));
    QCOMPARE(six->image, sim.simulator().modelAt(6)->settingsArea());
    QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList({"310004.json", "310006.json"}));

    // Serials that make one file name still give two files.
    QVERIFY(sim.simulator().modelAt(4)->setHoldingBytes(10015, "0417/1"));
    QVERIFY(sim.simulator().modelAt(6)->setHoldingBytes(10015, "0417 1"));
    const QString clash = path(QStringLiteral("clash"));
    r = run(port + QStringList{"--fast", "read", "--address", "4,6", "-o", clash});
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    QCOMPARE(QDir(clash).entryList(QDir::Files), QStringList({"0417_1.json", "0417_1address6.json"}));

    // A gateway that closes the connection once, at the first request a
    // recorder sees (address 2's): that address is asked again over a new
    // connection, and so are the rest of the line.
    SimHarness gateway;
    SimHarness::Options g;
    g.pty = false;
    g.addresses = {2, 4, 6};
    QVERIFY2(gateway.start(g), qPrintable(gateway.errorString()));
    const QStringList tcp{"--tcp", QStringLiteral("127.0.0.1:%1").arg(gateway.tcpPort())};
    FaultRule drop{FaultRule::DropTcp};
    drop.times = 1;
    gateway.faults().add(drop);
    r = run(tcp + QStringList{"scan", "--addresses", "1-8"});
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             QStringList({"2\t310002\tprocessor 2.3\tindicator 10.5\tadc 1.2",
                          "4\t310004\tprocessor 2.3\tindicator 10.5\tadc 1.2",
                          "6\t310006\tprocessor 2.3\tindicator 10.5\tadc 1.2"}));
    gateway.faults().add(drop);
    r = run(tcp + QStringList{"--fast", "read", "--address", "2,4", "-o", path(QStringLiteral("gateway"))});
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    QCOMPARE(QDir(path(QStringLiteral("gateway"))).entryList(QDir::Files),
             QStringList({"310002.json", "310004.json"}));

    // A configuration that never reached standard output is no success.
    r = run(port + QStringList{"--fast", "read", "--address", "2"}, 120000, QStringLiteral("/dev/full"));
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.err.contains(QStringLiteral("вывод не записан")), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(tst_cli)
#include "tst_cli_unix.moc"
