// The real vexs-cli against independent Modbus RTU slaves (libmodbus) on
// pseudo-terminals: read one recorder, copy its configuration into another,
// compare, restore the other from its backup.
#include "settings/config_file.h"
#include "settings/config_groups.h"
#include "settings/encodings.h"
#include "settings/journal_store.h"
#include "settings/settings_image.h"
#include "sim/recorder_model.h"
#include "tests/support/modbus_peer.h"
#include "tests/support/sim_harness.h"

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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

// One recorder, on a pseudo-terminal or behind a TCP gateway.
bool startOne(SimHarness &sim, bool serial)
{
    SimHarness::Options o;
    o.pty = serial;
    o.tcp = !serial;
    return sim.start(o);
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
    void liveCsvForASpreadsheet_data();
    void liveCsvForASpreadsheet();
    void diffNamesByCaptions();
    void liveConnectsAgain_data();
    void liveConnectsAgain();
    void scanAndBatchBackupOfALine();
    void lostPortEndsScanAndBatch();
    void gatewayFramingsProbeAndStatistics_data();
    void gatewayFramingsProbeAndStatistics();
    void failureNamesItsCause_data();
    void failureNamesItsCause();
    void lostAcknowledgementJudgedByReadBack_data();
    void lostAcknowledgementJudgedByReadBack();
    void nearlyFullDiskKeepsEveryOldFile();
    void registersReadWrittenAndRefused_data();
    void registersReadWrittenAndRefused();
    void writeToALine_data();
    void writeToALine();
    void journalListsAndFilters_data();
    void journalListsAndFilters();

private:
    // stdoutFile: where standard output goes instead of Result::out.
    Result run(const QStringList &args, int timeoutMs = 120000, const QString &stdoutFile = QString());
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_dataHome; // where backups go; the test's own folder unless set
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
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dataHome.isEmpty() ? path(QStringLiteral("data")) : m_dataHome);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    // Relative paths are the test folder's.
    p.setWorkingDirectory(m_dir.path());
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
    // Opening a FIFO for reading waits for a writer that never comes.
    QCOMPARE(::mkfifo(qPrintable(path("fifo.json")), 0600), 0);
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

    // A dry run names what the write would change, as the window does, and
    // writes nothing.
    r = run(onB + QStringList{"write", "--dry-run", path("a.json"), "--keep", "network"});
    QCOMPARE(r.exit, 1);
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             QStringList({"Канал измерения 2 / Тип сигнала: Ток 0..5mA -> ТС Pt100 (-120..500 С)",
                          "Математический канал М3 / K1: 2.000 -> 1.000",
                          "Уставка 5 / Значение уставки: 42.500 -> 0.100",
                          "Индикация: выбор канала / резерв: 00 00 33 00 00 00 00 00 -> 00 00 00 00 00 00 00 00"}));
    QVERIFY2(r.err.contains(QStringLiteral("в прибор ничего не записано")), qPrintable(r.err));
    QCOMPARE(b.holding(0, SettingsImage::Size / 2).toHex(), m_imageB.toHex());

    r = run(onB + QStringList{"write", path("a.json")});
    QVERIFY2(r.exit == 0, qPrintable(r.err + r.out));
    // Each group written is in the journal, by the recorder's serial.
    const Result journal = run({"journal", "--serial", "000777"});
    QCOMPARE(journal.exit, 0);
    QCOMPARE(journal.out.count(QLatin1Char('\n')), configGroups().size());
    QVERIFY2(journal.out.contains(QStringLiteral("\tСеть\tАдрес: 7 -> 1\tзаписана и проверена")), qPrintable(journal.out));
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
    QTest::newRow("speed neither listed nor all")
        << QStringList{"scan", "--baud", "any"} << "для scan ещё all";
    QTest::newRow("every speed for another command")
        << QStringList{"--baud=all", "read"} << "--baud all не относится к команде read";
    QTest::newRow("every speed over a gateway")
        << QStringList{"--tcp", "127.0.0.1:5000", "--baud", "all", "scan"}
        << "--baud all только на последовательной линии";
    QTest::newRow("address") << QStringList{"--address", "0", "read"} << "--address";
    QTest::newRow("framing without a gateway") << QStringList{"--framing", "mbap", "read"} << "--framing относится к шлюзу";
    QTest::newRow("unknown framing") << QStringList{"--framing", "modbus", "read"} << "--framing: rtu";
    QTest::newRow("retries past 3") << QStringList{"--retries", "4", "read"} << "--retries: повторов чтения от 0 до 3";
    QTest::newRow("negative pause") << QStringList{"--pause", "-5", "read"} << "--pause: время в мс";
    QTest::newRow("probe on a serial line") << QStringList{"probe"} << "probe спрашивает шлюз";
    QTest::newRow("tcp and udp") << QStringList{"--tcp", "127.0.0.1:1", "--udp", "127.0.0.1:2", "read"}
                                 << "--tcp и --udp вместе нельзя";
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
    QTest::newRow("decimal of another command") << QStringList{"read", "--decimal", "point"}
                                                << "--decimal не относится к команде read";
    QTest::newRow("unknown decimal") << QStringList{"live", "--decimal=dot"} << "--decimal: comma";
    QTest::newRow("captions of another command") << QStringList{"live", "--captions"}
                                                 << "--captions не относится к команде live";
    QTest::newRow("FIFO as the file") << QStringList{"write", "fifo.json"} << "не обычный файл";
    QTest::newRow("device as the file") << QStringList{"diff", "/dev/null", "a.json"} << "не обычный файл";
    QTest::newRow("journal: month 13") << QStringList{"journal", "--since", "2025-13-01"}
                                       << "--since: дата ГГГГ-ММ-ДД или ДД.ММ.ГГГГ, а не «2025-13-01»";
    QTest::newRow("journal: dates the wrong way round")
        << QStringList{"journal", "--since", "02.03.2025", "--until", "2025-03-01"} << "--since позже --until";
    QTest::newRow("serial of another command") << QStringList{"read", "--serial", "1"}
                                               << "--serial не относится к команде read";
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

    // A port named relative to the current folder, an address with leading
    // zeros: both are what they say.
    const QString relative = QDir(m_dir.path()).relativeFilePath(peer.portPath());
    QVERIFY(relative.contains(QLatin1Char('/')) && !relative.startsWith(QLatin1Char('/')));
    const Result there = run({"--port", relative, "--address", "0001", "live", "--count", "1"});
    QVERIFY2(there.exit == 0, qPrintable(there.err));

    // A gateway is named as it was typed, brackets and all.
    const Result v6 = run({"--tcp", "[::1]:1", "live", "--count", "1"});
    QCOMPARE(v6.exit, 2);
    QVERIFY2(v6.err.contains(QStringLiteral("[::1]:1")), qPrintable(v6.err));
}

void tst_cli::liveCsvForASpreadsheet_data()
{
    QTest::addColumn<QStringList>("options"); // of live
    QTest::addColumn<QString>("file");        // of --csv; empty: standard output
    QTest::addColumn<QByteArray>("zero");     // how a real of the all-zero record is written
    QTest::newRow("standard output") << QStringList() << "" << QByteArray("0,000");
    QTest::newRow("file, points") << QStringList{"--decimal=point", "--csv", "points.csv"} << "points.csv"
                                  << QByteArray("0.000");
}

void tst_cli::liveCsvForASpreadsheet()
{
    QFETCH(QStringList, options);
    QFETCH(QString, file);
    QFETCH(QByteArray, zero);
    ModbusPeer peer;
    QVERIFY(peer.isRunning());
    // Standard output goes to a file here, so its octets are seen as they are.
    const QString written = path(file.isEmpty() ? QStringLiteral("live-stdout.csv") : file);
    const Result r = run(QStringList{"--port", peer.portPath(), "live", "--count", "2"} + options, 120000,
                         file.isEmpty() ? written : QString());
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QFile csv(written);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    // vexs-cli runs here under LC_ALL=C.UTF-8: the separator is the program's
    // choice, not the locale's.
    QVERIFY2(bytes.startsWith("\xEF\xBB\xBF" "Время;Связь;Канал 1 параметр"), bytes.left(40).constData());
    QCOMPARE(bytes.count("\xEF\xBB\xBF"), 1);
    const QList<QByteArray> lines = bytes.trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    for (const QByteArray &line : lines.mid(1)) {
        const QList<QByteArray> fields = line.trimmed().split(';');
        QCOMPARE(fields.size(), 22);
        QCOMPARE(fields[1], QByteArray("Есть связь"));
        QCOMPARE(fields[2], zero); // channel 1's parameter
        QCOMPARE(fields[18], zero); // M3's value
    }
}

void tst_cli::diffNamesByCaptions()
{
    DeviceConfig a;
    a.image = m_imageA;
    a.identification = identification("001234");
    DeviceConfig b = a;
    b.image = m_imageB;
    b.identification = identification("000777");
    QString error;
    QVERIFY2(writeConfigFile(path("named-a.json"), a, &error), qPrintable(error));
    QVERIFY2(writeConfigFile(path("named-b.json"), b, &error), qPrintable(error));
    const Result r = run({"diff", "--captions", path("named-a.json"), path("named-b.json")});
    QCOMPARE(r.exit, 1);
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             QStringList({"Канал измерения 2 / Тип сигнала: ТС Pt100 (-120..500 С) -> Ток 0..5mA",
                          "Математический канал М3 / K1: 1.000 -> 2.000",
                          "Уставка 5 / Значение уставки: 0.100 -> 42.500",
                          "Индикация: выбор канала / резерв: 00 00 00 00 00 00 00 00 -> 00 00 33 00 00 00 00 00",
                          "Сеть / Адрес: 1 -> 7", "# Идентификация / Заводской номер: 001234 -> 000777"}));
}

void tst_cli::liveConnectsAgain_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("connection closed") << int(FaultRule::DropTcp);
    QTest::newRow("connection reset") << int(FaultRule::ResetTcp);
}

void tst_cli::liveConnectsAgain()
{
    QFETCH(int, kind);
    SimHarness gateway;
    QVERIFY2(startOne(gateway, false), qPrintable(gateway.errorString()));
    FaultRule rule{FaultRule::Kind(kind)};
    rule.skip = 1;
    rule.times = 1;
    gateway.faults().add(rule);
    const Result r = run({"--tcp", QStringLiteral("127.0.0.1:%1").arg(gateway.tcpPort()), "live", "--count", "4"});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QStringList link;
    for (const QString &row : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1))
        link << row.section(QLatin1Char(';'), 1, 1);
    // Every poll has its row; only the one the gateway dropped has no values.
    QCOMPARE(link, QStringList({"Есть связь", "Нет связи", "Есть связь", "Есть связь"}));
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
    // A pseudo-terminal answers at any speed: the recorder is told once per speed.
    r = run(port + QStringList{"scan", "--addresses", "1-2", "--baud", "all"});
    QVERIFY2(r.exit == 0 && r.err.contains(QStringLiteral("опрошено адресов на всех скоростях: 10 из 10")),
             qPrintable(r.err));
    QStringList everySpeed;
    for (const char *bps : {"115200", "57600", "38400", "19200", "9600"})
        everySpeed << QStringLiteral("2\t310002\tprocessor 2.3\tindicator 10.5\tadc 1.2\tbaud ")
                          + QLatin1String(bps);
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), everySpeed);

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

void tst_cli::lostPortEndsScanAndBatch()
{
    // The port goes away a second into a scan: the recorder found before is
    // told, the rest are not counted as asked, and the port's own words end it.
    {
        SimHarness sim;
        QVERIFY2(startOne(sim, true), qPrintable(sim.errorString()));
        QProcess p;
        p.start(QStringLiteral(VEXS_CLI_PATH),
                {"--port", sim.ptyLink(), "scan", "--addresses", "1-20", "--wait", "200"});
        QVERIFY(p.waitForStarted());
        QTest::qWait(1000);
        sim.stop();
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(p.exitCode() == 1, qPrintable(out + err));
        QVERIFY2(out.startsWith(QStringLiteral("1\t")), qPrintable(out));
        QVERIFY2(err.contains(QStringLiteral("Нет связи с прибором: ")), qPrintable(err));
        const QRegularExpressionMatch asked = QRegularExpression("опрошено адресов: (\\d+) из 20").match(err);
        QVERIFY2(asked.hasMatch() && asked.captured(1).toInt() < 20, qPrintable(err));
    }
    // A port that cannot be opened at all: nothing was asked.
    const Result scan = run({"--port", path("no-such-port"), "scan", "--addresses", "1-3"});
    QCOMPARE(scan.exit, 2);
    QVERIFY2(scan.err.contains(QStringLiteral("нет устройства")), qPrintable(scan.err));
    QVERIFY2(scan.err.contains(QStringLiteral("опрошено адресов: 0 из 3")), qPrintable(scan.err));
    const Result batch = run({"--port", path("no-such-port"), "read", "--address", "1-3", "-o", path("none")});
    QCOMPARE(batch.exit, 2);
    QCOMPARE(batch.out, QString());
    QVERIFY2(batch.err.contains(QStringLiteral("нет устройства")), qPrintable(batch.err));
}

void tst_cli::gatewayFramingsProbeAndStatistics_data()
{
    QTest::addColumn<bool>("udp");
    QTest::addColumn<bool>("mbap");
    QTest::newRow("RTU over TCP") << false << false;
    QTest::newRow("Modbus TCP") << false << true;
    QTest::newRow("RTU over UDP") << true << false;
    QTest::newRow("Modbus UDP") << true << true;
}

void tst_cli::gatewayFramingsProbeAndStatistics()
{
    QFETCH(bool, udp);
    QFETCH(bool, mbap);
    SimHarness sim;
    SimHarness::Options o;
    o.pty = false;
    o.tcp = !udp;
    o.udp = udp;
    o.mbap = mbap;
    QVERIFY2(sim.start(o), qPrintable(sim.errorString()));
    const QStringList gateway{udp ? "--udp" : "--tcp",
                              QStringLiteral("127.0.0.1:%1").arg(udp ? sim.udpPort() : sim.tcpPort())};
    const Result probe = run(gateway + QStringList{"probe"});
    QVERIFY2(probe.exit == 0, qPrintable(probe.err));
    QCOMPARE(probe.out, QString(mbap ? "mbap\n" : "rtu\n"));

    // The whole read in the framing found, with the link's statistics.
    sim.requestLog().clear();
    const Result read = run(gateway + QStringList{"--framing", mbap ? "mbap" : "rtu", "--stats", "read", "-o",
                                                  path("gateway.json")});
    QVERIFY2(read.exit == 0, qPrintable(read.err));
    const int requests = sim.requestLog().size();
    QVERIFY(requests > 20);
    QVERIFY2(read.err.contains(QStringLiteral("Адрес 1: запросов %1, OK %1, нет ответа 0").arg(requests)),
             qPrintable(read.err));

    // The other framing is silence, and says so.
    const Result wrong = run(gateway + QStringList{"--framing", mbap ? "rtu" : "mbap", "read"});
    QCOMPARE(wrong.exit, 2);
    QVERIFY2(wrong.err.contains(QStringLiteral("нет ответа за ")), qPrintable(wrong.err));
}

void tst_cli::failureNamesItsCause_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("amount");
    QTest::addColumn<QString>("cause");
    QTest::newRow("refused") << int(FaultRule::Refuse) << 2
                             << "прибор ответил исключением 2 (недопустимый адрес данных)";
    QTest::newRow("silent") << int(FaultRule::Silent) << 0 << "нет ответа за ";
    QTest::newRow("bad CRC") << int(FaultRule::BadCrc) << 0 << "ответ с ошибкой CRC";
}

void tst_cli::failureNamesItsCause()
{
    QFETCH(int, kind);
    QFETCH(int, amount);
    QFETCH(QString, cause);
    SimHarness sim;
    QVERIFY2(startOne(sim, true), qPrintable(sim.errorString()));
    FaultRule rule{FaultRule::Kind(kind)};
    rule.amount = amount;
    sim.faults().add(rule);
    const Result r = run({"--port", sim.ptyLink(), "--fast", "read"});
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.err.contains(QStringLiteral("Нет связи с прибором (")), qPrintable(r.err));
    QVERIFY2(r.err.contains(cause), qPrintable(r.err));
}

void tst_cli::lostAcknowledgementJudgedByReadBack_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("amount");
    QTest::addColumn<QString>("outputLine");
    // The simulator carries out a request whose reply it spoils, delays or
    // refuses; a silent one it never carries out.
    const QString written = QStringLiteral("output.1: записана и проверена");
    QTest::newRow("bad CRC") << int(FaultRule::BadCrc) << 0 << written;
    QTest::newRow("late") << int(FaultRule::Late) << 1500 << written;
    QTest::newRow("refused") << int(FaultRule::Refuse) << 4 << written;
    QTest::newRow("lost") << int(FaultRule::Silent) << 0
                          << "output.1: состояние неизвестно: прибор не подтвердил запись "
                             "(октеты 1..1 записи: прочитано 00, в файле 02)";
}

void tst_cli::lostAcknowledgementJudgedByReadBack()
{
    QFETCH(int, kind);
    QFETCH(int, amount);
    QFETCH(QString, outputLine);
    SimHarness sim;
    QVERIFY2(startOne(sim, true), qPrintable(sim.errorString()));
    QByteArray image = sim.model().settingsArea();
    QCOMPARE(int(image[at(GroupFamily::Output, 1, 1)]), 0);
    image[at(GroupFamily::Output, 1, 1)] = 2;
    DeviceConfig config;
    config.image = image;
    QString error;
    QVERIFY2(writeConfigFile(path("output.json"), config, &error), qPrintable(error));
    FaultRule rule{FaultRule::Kind(kind)};
    rule.amount = amount;
    rule.function = 0x10;
    rule.firstRegister = configGroup(GroupFamily::Output, 1).recordFirstRegister();
    rule.times = 1;
    sim.faults().add(rule);

    const Result r = run({"--port", sim.ptyLink(), "--fast", "write", "--no-backup", path("output.json")});
    QCOMPARE(r.exit, 1); // the write stopped there
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.contains(outputLine), qPrintable(r.out));
    QVERIFY2(!r.out.contains(QStringLiteral("не записана")), qPrintable(r.out));
    QVERIFY2(lines.contains(QStringLiteral("output.2: не записывалась")), qPrintable(r.out));
}

void tst_cli::nearlyFullDiskKeepsEveryOldFile()
{
    // A real small file system, as a nearly full disk: the kernel takes the
    // first part of a write and reports no error for it.
    const QString disk = path(QStringLiteral("disk"));
    QVERIFY(QDir().mkpath(disk));
    QProcess mount;
    mount.start(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64k", "tmpfs", disk});
    if (!mount.waitForFinished() || mount.exitCode() != 0)
        QSKIP("mounting a tmpfs needs root");
    const struct Unmount
    {
        QString at;
        ~Unmount() { QProcess::execute(QStringLiteral("umount"), {at}); }
    } unmount{disk};

    ModbusPeer peer;
    QVERIFY(peer.isRunning());
    peer.setHolding(0, m_imageA);
    peer.setHolding(kIdentRegister, identification("001234"));
    const QStringList onPeer{QStringLiteral("--port"), peer.portPath()};

    // A good file at the path a read will save to, and 12 KiB left free:
    // less than a configuration takes.
    DeviceConfig good;
    good.image = m_imageB;
    const QString kept = QDir(disk).filePath(QStringLiteral("kept.json"));
    QString error;
    QVERIFY2(writeConfigFile(kept, good, &error), qPrintable(error));
    QFile keptFile(kept);
    QVERIFY(keptFile.open(QIODevice::ReadOnly));
    const QByteArray keptBytes = keptFile.readAll();
    QVERIFY(keptBytes.size() > 12288);
    QFile filler(QDir(disk).filePath(QStringLiteral("filler")));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    filler.write(QByteArray(QStorageInfo(disk).bytesAvailable() - 12288, 'x'));
    filler.close();
    const QStringList before = QDir(disk).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    Result r = run(onPeer + QStringList{"--fast", "read", "-o", kept});
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.err.contains(QStringLiteral("не записан")), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("сохранена")), qPrintable(r.err));
    keptFile.seek(0);
    QCOMPARE(keptFile.readAll(), keptBytes);

    r = run(onPeer + QStringList{"--fast", "read", "--address", "1-1", "-o", QDir(disk).filePath("line")});
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.out.startsWith(QStringLiteral("1: error ")), qPrintable(r.out));

    // The backup cannot be saved whole: nothing is sent.
    const QString other = path(QStringLiteral("other.json"));
    QVERIFY2(writeConfigFile(other, good, &error), qPrintable(error));
    const QString data = QDir(disk).filePath(QStringLiteral("data"));
    m_dataHome = data;
    peer.clearRequests();
    r = run(onPeer + QStringList{"--fast", "write", other});
    m_dataHome.clear();
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.err.contains(QStringLiteral("Резервная копия не сохранена")), qPrintable(r.err));
    for (const QByteArray &request : peer.requests())
        QVERIFY2(quint8(request.at(1)) != 0x10, request.toHex().constData());
    QCOMPARE(peer.holding(0, SettingsImage::Size / 2).toHex(), m_imageA.toHex());

    // No file cut short and no temporary file is left behind.
    QStringList after = QDir(disk).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    after.removeAll(QStringLiteral("line"));
    after.removeAll(QStringLiteral("data"));
    QCOMPARE(after, before);
    QCOMPARE(QDir(QDir(disk).filePath("line")).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(data + QStringLiteral("/vexs-configurator/backups")).entryList(QDir::Files), QStringList());
}

void tst_cli::registersReadWrittenAndRefused_data()
{
    QTest::addColumn<QStringList>("args"); // after the link
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");       // a part of standard error
    QTest::addColumn<int>("requests");      // what reached the recorder
    QTest::addColumn<QByteArray>("at100");  // registers 100..101 afterwards; empty: as before

    // The identification block begins with the date digits "050309".
    QTest::newRow("text") << QStringList{"regs", "read", "holding", "10012", "6", "--as", "text"} << 0
                          << "050309001234\n" << "" << 1 << QByteArray();
    QTest::newRow("hex") << QStringList{"regs", "read", "holding", "0x271C", "2"} << 0
                         << "10012: 0x3035\n10013: 0x3033\n" << "" << 1 << QByteArray();
    QTest::newRow("u32, device order") << QStringList{"regs", "read", "holding", "10012", "2", "--as=u32"} << 0
                                       << "10012: 858797360\n" << "" << 1 << QByteArray();
    QTest::newRow("u32, swapped") << QStringList{"regs", "read", "holding", "10012", "2", "--as", "u32", "--order",
                                                 "swapped"}
                                  << 0 << "10012: 808792115\n" << "" << 1 << QByteArray();
    QTest::newRow("write, read back") << QStringList{"regs", "write", "100", "0xA55A", "23130"} << 0
                                      << "100: 0xA55A\n101: 0x5A5A\n"
                                      << "Записано и проверено чтением: регистры 100..101" << 2
                                      << QByteArray::fromHex("a55a5a5a");
    // Board versions are read-only: the recorder refuses, the read-back tells.
    QTest::newRow("write refused") << QStringList{"regs", "write", "10021", "0x1234"} << 1 << ""
                                   << "Прочитано не то, что записано: регистр 10021: записано 0x1234, "
                                      "прочитано 0x0017\nПрибор не подтвердил запись: прибор ответил исключением 2"
                                   << 2 << QByteArray();
    const auto refused = [](const char *name, const QStringList &args, const char *err) {
        QTest::newRow(name) << args << 2 << "" << err << 0 << QByteArray();
    };
    refused("past the last register", {"regs", "read", "holding", "65500", "100"},
            "regs read: регистры 65500..65599 выходят за последний регистр 65535");
    refused("none", {"regs", "read", "input", "0", "0"}, "regs read: количество регистров должно быть от 1 до 125");
    refused("odd count of floats", {"regs", "read", "holding", "10012", "3", "--as", "float"},
            "значение float занимает два регистра");
    refused("first not a number", {"regs", "read", "holding", "x", "1"}, "первый регистр — число от 0 до 65535, а не «x»");
    refused("table", {"regs", "read", "coils", "0", "1"}, "holding (регистры хранения) или input");
    refused("view", {"regs", "read", "holding", "0", "1", "--as", "octal"}, "--as: одно из hex, u16, i16");
    refused("word past 16 bits", {"regs", "write", "100", "1", "65536"}, "значение 65536 не помещается в 16 бит");
    refused("view of a write", {"regs", "write", "100", "1", "--as", "hex"}, "--as и --order относятся к regs read");
    refused("view of another command", {"read", "--as", "hex"}, "--as не относится к команде read");
    refused("no action", {"regs"}, "regs: read или write");
}

void tst_cli::registersReadWrittenAndRefused()
{
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(int, requests);
    QFETCH(QByteArray, at100);
    SimHarness sim;
    QVERIFY2(startOne(sim, true), qPrintable(sim.errorString()));
    const QByteArray before = sim.model().holdingBytes(100, 2);
    const Result r = run(QStringList{"--port", sim.ptyLink(), "--fast"} + args);
    QVERIFY2(r.exit == exit, qPrintable(r.err));
    QCOMPARE(r.out, out);
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    QCOMPARE(sim.requestLog().size(), requests);
    QCOMPARE(sim.model().holdingBytes(100, 2), at100.isEmpty() ? before : at100);
}

void tst_cli::journalListsAndFilters_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QList<int>>("shown"); // of the records written below
    QTest::newRow("all") << QStringList{"journal"} << QList<int>{0, 1, 2};
    QTest::newRow("one serial") << QStringList{"journal", "--serial", "001234"} << QList<int>{0, 2};
    QTest::newRow("since, ISO date") << QStringList{"journal", "--since=2025-03-02"} << QList<int>{1, 2};
    QTest::newRow("serial and until, Russian date")
        << QStringList{"journal", "--serial", "001234", "--until", "01.03.2025"} << QList<int>{0};
}

void tst_cli::journalListsAndFilters()
{
    QFETCH(QStringList, args);
    QFETCH(QList<int>, shown);
    const QString folder = path(QStringLiteral("journal-%1").arg(QTest::currentDataTag()));
    JournalStore store(folder);
    const QDateTime day = QDateTime(QDate(2025, 3, 1), QTime(10, 0), Qt::OffsetFromUTC, 3 * 3600);
    const struct
    {
        int days;
        const char *serial;
        const char *what;
        QList<JournalChange> changes;
        bool ok;
        const char *outcome;
    } records[] = {{0, "001234", "Канал измерения 1", {{"Канал измерения 1 / ВПИ", "100.000", "250.000"}}, true,
                    "записано и проверено"},
                   {1, "000777", "Перо: Вверх", {}, false, "Нет связи с прибором:\nнет ответа"},
                   {4, "001234", "Сеть", {{"Сеть / Адрес", "", "7"}, {"Сеть / Скорость", "1", "2"}}, true,
                    "записано и проверено"}};
    const QStringList lines{
        "01.03.2025 10:00:00\tivan\tRS-485, /dev/ttyUSB0, 115200 бит/с\t1\t001234\tКанал измерения 1\t"
        "Канал измерения 1 / ВПИ: 100.000 -> 250.000\tзаписано и проверено",
        "02.03.2025 10:00:00\tivan\tRS-485, /dev/ttyUSB0, 115200 бит/с\t1\t000777\tПеро: Вверх\t\t"
        "Нет связи с прибором: нет ответа",
        "05.03.2025 10:00:00\tivan\tRS-485, /dev/ttyUSB0, 115200 бит/с\t1\t001234\tСеть\t"
        "Сеть / Адрес: 7; Сеть / Скорость: 1 -> 2\tзаписано и проверено"};
    for (const auto &r : records) {
        JournalRecord entry{day.addDays(r.days), "ivan", "RS-485, /dev/ttyUSB0, 115200 бит/с", 1, r.serial,
                            r.what, r.changes, r.ok, r.outcome};
        QVERIFY(store.append(entry));
        // A damaged line after the first record: named, and nothing else lost.
        if (r.days == 0) {
            QFile file(store.currentPath());
            QVERIFY(file.open(QIODevice::Append) && file.write("{\"at\":\n") > 0);
        }
    }
    qputenv("VEXS_JOURNAL_DIR", folder.toLocal8Bit());
    const Result result = run(args);
    qunsetenv("VEXS_JOURNAL_DIR");
    QVERIFY2(result.exit == 0, qPrintable(result.err));
    QStringList expected;
    for (const int k : shown)
        expected << lines[k];
    QCOMPARE(result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
    QVERIFY2(result.err.contains(QStringLiteral("journal.jsonl, строка 2: не JSON")), qPrintable(result.err));
    QVERIFY2(result.err.contains(QStringLiteral("Записей: %1 из 3").arg(shown.size())), qPrintable(result.err));
}

void tst_cli::writeToALine_data()
{
    QTest::addColumn<QStringList>("args");     // after the port; FILE for the file
    QTest::addColumn<int>("exit");
    QTest::addColumn<QStringList>("lines");    // how each line of standard output begins
    QTest::addColumn<QString>("err");          // a part of standard error
    QTest::addColumn<QList<int>>("verified");  // recorders 2, 4 and 6 are on the line
    const QStringList none;
    QTest::newRow("every address verified")
        << QStringList{"--address", "2,4,6", "write", "FILE", "--set", "network.address={addr}"} << 0
        << QStringList{"2: ok, резервная копия ", "4: ok, резервная копия ", "6: ok, резервная копия "}
        << "Записано и проверено приборов: 3 из 3" << QList<int>{2, 4, 6};
    QTest::newRow("one silent, network kept")
        << QStringList{"--address", "2-4", "write", "FILE", "--keep", "network"} << 1
        << QStringList{"2: ok, ", "3: error Нет связи с прибором: резервная копия не сделана", "4: ok, "}
        << "Адрес 3: Нет связи с прибором" << QList<int>{2, 4};
    // Refused before anything is sent.
    QTest::newRow("bad value at one address")
        << QStringList{"--address", "2,4,30", "write", "FILE", "--set", "network.address={addr}", "--set",
                       "network.ip=192.168.{addr}0.1"}
        << 2 << none << "Адрес 30, группа network («Сеть»), поле «ip» = «192.168.300.1»: Неверный IP-адрес"
        << QList<int>();
    QTest::newRow("one address for the whole line")
        << QStringList{"--address", "2,4,6", "write", "FILE"} << 2 << none
        << "оставьте сеть приборов (--keep network) или задайте каждому свой адрес" << QList<int>();
    QTest::newRow("misspelt field") << QStringList{"--address", "2,4", "write", "FILE", "--set=network.adress={addr}"}
                                    << 2 << none << "в группе network нет поля «adress»" << QList<int>();
}

void tst_cli::writeToALine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    QFETCH(QStringList, lines);
    QFETCH(QString, err);
    QFETCH(QList<int>, verified);
    SimHarness sim;
    SimHarness::Options o;
    o.tcp = false;
    o.addresses = {2, 4, 6};
    QVERIFY2(sim.start(o), qPrintable(sim.errorString()));
    QMap<int, QByteArray> before;
    for (const int a : o.addresses)
        before.insert(a, sim.simulator().modelAt(a)->settingsArea());
    DeviceConfig file;
    file.image = m_imageB;
    QString error;
    QVERIFY2(writeConfigFile(path("line.json"), file, &error), qPrintable(error));
    args.replaceInStrings(QRegularExpression("^FILE$"), path("line.json"));

    const Result r = run(QStringList{"--port", sim.ptyLink(), "--fast"} + args);
    QVERIFY2(r.exit == exit, qPrintable(r.out + r.err));
    const QStringList out = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(out.size(), lines.size());
    for (int k = 0; k < lines.size(); ++k)
        QVERIFY2(out[k].startsWith(lines[k]), qPrintable(out[k]));
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    if (lines.isEmpty())
        QCOMPARE(sim.requestLog().size(), 0);
    for (const int a : o.addresses) {
        // The file's settings, each recorder at its own address.
        QByteArray expected = m_imageB;
        expected[at(GroupFamily::Network, 1, 0)] = char(a);
        QCOMPARE(sim.simulator().modelAt(a)->settingsArea(), verified.contains(a) ? expected : before.value(a));
    }
}

QTEST_GUILESS_MAIN(tst_cli)
#include "tst_cli_unix.moc"
