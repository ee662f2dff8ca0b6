// The exchange against the simulated recorder over a real pseudo-terminal
// and a real loopback socket: good exchanges, every misbehaviour of the
// device, unavailable ports, and nested exchanges.
#include "link/af_com_port.h"
#include "link/exchange.h"
#include "link/link_activity.h"
#include "link/modbus.h"
#include "link/pumping_delay.h"
#include "link/serial_transport.h"
#include "link/tcp_client.h"
#include "tests/support/sim_harness.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace vexs;

namespace {

struct Link : ILinkSettings
{
    int iface = 0;
    int port = 1;
    int baud = 4;
    bool fast = false;
    quint8 address = 1;
    bool fastExchange() const override { return fast; }
    quint8 slaveAddress() const override { return address; }
    int interfaceIndex() const override { return iface; }
    int comPortNumber() const override { return port; }
    int baudIndex() const override { return baud; }
};

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

} // namespace

class tst_exchange : public QObject
{
    Q_OBJECT
    SimHarness sim;
    TAfComPort serial;
    TcpClient tcp;
    LinkActivity activity;
    Link link;
    SerialTransport serialLink{link, serial};
    Exchange exchange{link, serialLink, tcp, activity};
    ModbusMaster master{exchange, link};

    void useChannel(const QString &channel) { link.iface = channel == "tcp" ? 1 : 0; }
    QByteArray readIdent(int wait = 200) { return master.ReadHoldingRegisters(10012, 11, wait); }

private slots:
    void initTestCase();
    void init();
    void readAndWrite_data();
    void readAndWrite();
    void misbehaviour_data();
    void misbehaviour();
    void fastEndsAtTheReply_data();
    void fastEndsAtTheReply();
    void fastCommandKeepsItsWait();
    void missingPortFailsAtOnce();
    void portHeldByAnotherProgram();
    void tcpWhileDisconnected();
    void nestedExchangeIsRefused_data();
    void nestedExchangeIsRefused();
    void waitKeepsTimersRunning();
    void socketErrorText();
    void hostWithLeadingZeros_data();
    void hostWithLeadingZeros();
};

void tst_exchange::initTestCase()
{
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QString pty = sim.ptyLink();
    serial.SetDevicePathResolver([pty](int n) {
        return n == 1 ? pty : QStringLiteral("/nonexistent/ttyVEXS%1").arg(n);
    });
    tcp.setHost(QStringLiteral("127.0.0.1"));
    tcp.setPort(sim.tcpPort());
    tcp.activate();
    QTRY_VERIFY(tcp.active());
}

void tst_exchange::init()
{
    sim.faults().clear();
    sim.requestLog().clear();
    link = Link();
    if (!tcp.active()) {
        tcp.activate();
        QTRY_VERIFY(tcp.active());
    }
}

void tst_exchange::readAndWrite_data()
{
    QTest::addColumn<QString>("channel");
    QTest::newRow("serial") << "serial";
    QTest::newRow("tcp") << "tcp";
}

void tst_exchange::readAndWrite()
{
    QFETCH(QString, channel);
    useChannel(channel);
    const QByteArray ident = readIdent();
    QCOMPARE(ident.size(), 27);
    QCOMPARE(ident.mid(3, 22), sim.model().identification());

    const QByteArray record = hex("01 02 03 04 00 00 C0 3F 01 00 01 00 01 00 01 00");
    QCOMPARE(master.WriteMultipleRegisters(728, 8, record, 200).size(), 8);
    QCOMPARE(sim.model().holdingBytes(728, 8), record);
    const QByteArray back = master.ReadHoldingRegisters(728, 8, 200);
    QCOMPARE(back.mid(3, 16), record);
    QCOMPARE(sim.requestLog().frames().first(), hex("01 03 27 1C 00 0B CF 7F"));
}

void tst_exchange::misbehaviour_data()
{
    QTest::addColumn<QString>("channel");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("amount");
    QTest::addColumn<bool>("firstFails");
    QTest::addColumn<bool>("fast");
    // Fast exchange must come to the same verdict as the full wait.
    for (const bool fast : {false, true}) {
        const char *mode = fast ? ", fast" : "";
        for (const char *channel : {"serial", "tcp"}) {
            const QString c = QString::fromLatin1(channel);
            QTest::addRow("%s silent%s", channel, mode) << c << int(FaultRule::Silent) << 0 << true << fast;
            QTest::addRow("%s late%s", channel, mode) << c << int(FaultRule::Late) << 350 << true << fast;
            QTest::addRow("%s late within the wait%s", channel, mode)
                << c << int(FaultRule::Late) << 100 << false << fast;
            QTest::addRow("%s bad crc%s", channel, mode) << c << int(FaultRule::BadCrc) << 0 << true << fast;
            QTest::addRow("%s truncated%s", channel, mode)
                << c << int(FaultRule::Truncate) << 3 << true << fast;
            QTest::addRow("%s padded%s", channel, mode) << c << int(FaultRule::Pad) << 2 << true << fast;
            QTest::addRow("%s second reply from another address%s", channel, mode)
                << c << int(FaultRule::SecondReply) << 0 << true << fast;
            // Octets 50 ms after a complete reply are another transmission:
            // fast exchange has ended by then and purges them.
            QTest::addRow("%s extra bytes within the wait%s", channel, mode)
                << c << int(FaultRule::LateExtra) << 50 << !fast << fast;
            // Arriving after the wait, they must not spoil the next exchange.
            QTest::addRow("%s extra bytes after the wait%s", channel, mode)
                << c << int(FaultRule::LateExtra) << 300 << false << fast;
        }
        QTest::addRow("tcp connection dropped%s", mode) << "tcp" << int(FaultRule::DropTcp) << 0 << true << fast;
    }
}

void tst_exchange::misbehaviour()
{
    QFETCH(QString, channel);
    QFETCH(int, kind);
    QFETCH(int, amount);
    QFETCH(bool, firstFails);
    QFETCH(bool, fast);
    useChannel(channel);
    link.fast = fast;
    FaultRule rule;
    rule.kind = FaultRule::Kind(kind);
    rule.amount = amount;
    rule.times = 1;
    sim.faults().add(rule);

    const QByteArray first = readIdent();
    if (firstFails)
        QCOMPARE(first, QByteArray(" "));
    else
        QCOMPARE(first.size(), 27);
    if (rule.kind == FaultRule::DropTcp) {
        QTRY_VERIFY(!tcp.active());
        tcp.activate();
        QTRY_VERIFY(tcp.active());
    }
    // Whatever arrives late belongs to the failed exchange, not the next one.
    if (rule.kind == FaultRule::Late || rule.kind == FaultRule::LateExtra)
        PumpingDelay(amount + 50);
    QCOMPARE(readIdent().size(), 27);
}

void tst_exchange::fastEndsAtTheReply_data()
{
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("replyLength");
    for (const char *channel : {"serial", "tcp"}) {
        QTest::addRow("%s read", channel) << channel << hex("01 03 27 1C 00 0B CF 7F") << 27;
        QTest::addRow("%s write", channel)
            << channel << frames::writeRequest(1, 728, 1, hex("01 00")) << 8;
        QTest::addRow("%s exception", channel) << channel << frames::readRequest(1, 3, 60000, 1) << 5;
        // Nobody answers a broadcast: the whole wait, as without fast exchange.
        QTest::addRow("%s broadcast", channel)
            << channel << frames::writeRequest(0, 728, 1, hex("01 00")) << 0;
    }
}

void tst_exchange::fastEndsAtTheReply()
{
    QFETCH(QString, channel);
    QFETCH(QByteArray, request);
    QFETCH(int, replyLength);
    useChannel(channel);
    constexpr int kWait = 400;
    const QByteArray plain = exchange.exchange(kWait, request);
    link.fast = true;
    QElapsedTimer timer;
    timer.start();
    const QByteArray quick = exchange.exchange(kWait, request);
    const qint64 took = timer.elapsed();
    QCOMPARE(quick, plain);
    QCOMPARE(int(quick.size()), replyLength);
    if (replyLength > 0)
        QVERIFY2(took < kWait / 4, qPrintable(QString::number(took)));
    else
        QVERIFY(took >= kWait - 1);
}

void tst_exchange::fastCommandKeepsItsWait()
{
    // The device needs the wait to carry a command out: the next request
    // (a poll tick included) must not go before it is over.
    link.fast = true;
    bool refused = false;
    QTimer::singleShot(100, [&] { refused = readIdent(50) == QByteArray(" "); });
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(master.WriteCommand(10004, 1, hex("9E 07"), 500).size(), 8);
    QVERIFY(timer.elapsed() >= 499);
    QVERIFY(refused);
    timer.restart();
    QCOMPARE(master.WriteMultipleRegisters(10004, 1, hex("9E 07"), 500).size(), 8);
    QVERIFY(timer.elapsed() < 250);

    // A command whose link goes during the wait (the gateway closes the
    // connection) is over at once: nothing is left to wait for.
    useChannel(QStringLiteral("tcp"));
    sim.faults().add(FaultRule{FaultRule::DropTcp});
    timer.restart();
    QCOMPARE(master.WriteCommand(10004, 1, hex("9E 07"), 3000), QByteArray(" "));
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
}

void tst_exchange::missingPortFailsAtOnce()
{
    QSignalSpy status(&serialLink, &SerialTransport::portStatusChanged);
    link.port = 7;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(master.ReadInputRegisters(0, 48, 2000), QByteArray(" "));
    QVERIFY2(timer.elapsed() < 1000, "a port that cannot open must not wait");
    QCOMPARE(sim.requestLog().size(), 0);
    QCOMPARE(serial.LastStatus().failure, PortFailure::NoDevice);
    QCOMPARE(serial.LastStatus().path, QStringLiteral("/nonexistent/ttyVEXS7"));
    // Reported once, not at every failing exchange; a good open clears it.
    master.ReadInputRegisters(0, 48, 100);
    QCOMPARE(status.size(), 1);
    link.port = 1;
    QCOMPARE(readIdent().size(), 27);
    QCOMPARE(status.size(), 2);
    QCOMPARE(serial.LastStatus().failure, PortFailure::None);
}

void tst_exchange::portHeldByAnotherProgram()
{
    QSerialPort other(sim.ptyLink());
    QVERIFY(other.open(QIODevice::ReadWrite));
    QCOMPARE(readIdent(), QByteArray(" "));
    QCOMPARE(serial.LastStatus().failure, PortFailure::Busy);
    QCOMPARE(sim.requestLog().size(), 0);
    other.close();
    QCOMPARE(readIdent().size(), 27);
}

void tst_exchange::tcpWhileDisconnected()
{
    useChannel("tcp");
    tcp.deactivate();
    QVERIFY(!tcp.active());
    QCOMPARE(readIdent(), QByteArray(" "));
    QTest::qWait(100);
    QCOMPARE(sim.requestLog().size(), 0);
}

void tst_exchange::nestedExchangeIsRefused_data()
{
    readAndWrite_data();
}

void tst_exchange::nestedExchangeIsRefused()
{
    QFETCH(QString, channel);
    useChannel(channel);
    QByteArray inner = "unset";
    bool busyDuring = false;
    QTimer::singleShot(50, this, [&] {
        busyDuring = activity.exchanging();
        inner = master.ReadInputRegisters(0, 48, 100);
    });
    const QByteArray outer = readIdent(300);
    QCOMPARE(inner, QByteArray(" "));
    QVERIFY(busyDuring);
    QCOMPARE(outer.size(), 27);
    QCOMPARE(sim.requestLog().size(), 1);
    QVERIFY(!activity.busy());
}

void tst_exchange::waitKeepsTimersRunning()
{
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
    timer.start(20);
    QElapsedTimer elapsed;
    elapsed.start();
    PumpingDelay(300);
    QVERIFY(elapsed.elapsed() >= 300);
    QVERIFY2(ticks >= 8, qPrintable(QString::number(ticks)));
}

void tst_exchange::socketErrorText()
{
    const ESocketError error(QStringLiteral("Connection reset by peer"), 104,
                             QStringLiteral("recv"));
    QCOMPARE(QString::fromUtf8(error.what()),
             QStringLiteral("Windows socket error: Connection reset by peer (104), on API 'recv'"));
}

void tst_exchange::hostWithLeadingZeros_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("ok");
    QTest::newRow("default") << "192.168.011.002" << "192.168.11.2" << true;
    QTest::newRow("plain") << "127.0.0.1" << "127.0.0.1" << true;
    QTest::newRow("name") << "gateway.local" << "gateway.local" << true;
    QTest::newRow("empty") << "" << "" << false;
    QTest::newRow("blank inside") << "192.168. 11.2" << "" << false;
    QTest::newRow("group over 255") << "192.168.1.300" << "" << false;
    QTest::newRow("group too long") << "192.168.1.00000000001" << "" << false;
}

void tst_exchange::hostWithLeadingZeros()
{
    QFETCH(QString, typed);
    QFETCH(QString, host);
    QFETCH(bool, ok);
    bool valid = false;
    const QString got = TcpClient::normalizeHost(typed, &valid);
    QCOMPARE(valid, ok);
    if (ok)
        QCOMPARE(got, host);
}

QTEST_MAIN(tst_exchange)
#include "tst_exchange.moc"
