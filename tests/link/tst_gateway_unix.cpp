// The gateway's framings against our simulator and two independent Modbus
// servers (libmodbus over TCP, pymodbus over TCP and UDP in both framings),
// replies a gateway should never be trusted with, and the link's settings
// for a difficult line: retries, extra wait, pause, reconnection, statistics.
#include "link/exchange.h"
#include "link/gateway_framing.h"
#include "link/link_activity.h"
#include "link/link_observer.h"
#include "link/link_statistics.h"
#include "link/modbus.h"
#include "link/tcp_client.h"
#include "settings/gateway_probe.h"
#include "sim/simulator.h"
#include "tests/support/modbus_tcp_peer.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <memory>

using namespace vexs;
using namespace vexs::test;

Q_DECLARE_METATYPE(vexs::GatewayFraming)
Q_DECLARE_METATYPE(vexs::FrameOutcome)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray withCrc(QByteArray frame)
{
    frames::appendCrc(frame);
    return frame;
}

class NoSerial : public ITransport
{
public:
    QByteArray exchange(int, const QByteArray &, const FastEnd *) override { return failureReply(); }
};

struct Retries : ILinkObserver
{
    int sent = 0;
    int retried = 0;
    void requestSent(const QByteArray &) override { ++sent; }
    void retrySent(const QByteArray &) override { ++retried; }
    void replyReceived(const QByteArray &, const QByteArray &) override {}
    void octetsDiscarded(int) override {}
};

// The link as the window puts it together, over the gateway only.
struct Gateway : ILinkSettings
{
    quint8 address = 1;
    bool fast = false;
    LinkTuning tune;
    NoSerial serial;
    TcpClient tcp;
    LinkActivity activity;
    Exchange exchange{*this, serial, tcp, activity};
    ModbusMaster modbus{exchange, *this};

    quint8 slaveAddress() const override { return address; }
    int interfaceIndex() const override { return 1; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return 4; }
    bool fastExchange() const override { return fast; }
    LinkTuning tuning() const override { return tune; }

    bool open(GatewayFraming framing, quint16 port)
    {
        tcp.setReconnect(tune.reconnect);
        if (!tcp.setFraming(framing) || !tcp.setHost(QStringLiteral("127.0.0.1")) || !tcp.setPort(port)
            || !tcp.activate())
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!tcp.active() && clock.elapsed() < 3000)
            QTest::qWait(10);
        return tcp.active();
    }
};

// Registers 10012 and 10013 of the peers hold their own numbers.
const QByteArray kPeerData = hex("27 1C 27 1D");

// A pymodbus server in a process of its own; the port is free when asked.
class PyPeer
{
public:
    PyPeer(bool udp, bool mbap)
    {
        const QString script = QStringLiteral(VEXS_SOURCE_DIR "/tests/support/pymodbus_peer.py");
        {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            m_port = probe.serverPort();
        }
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {script, udp ? QStringLiteral("udp") : QStringLiteral("tcp"),
                         mbap ? QStringLiteral("mbap") : QStringLiteral("rtu"), QString::number(m_port),
                         QStringLiteral("1")});
        m_process.waitForStarted(3000);
    }
    ~PyPeer()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    quint16 port() const { return m_port; }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

bool pymodbusAvailable()
{
    return QProcess::execute(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import pymodbus")}) == 0;
}

// A read of two registers that the peer may take a while to serve at first
// (an interpreter starting): asked again until it answers or time is up.
QByteArray readOnceUp(Gateway &g, quint16 first, int withinMs)
{
    QElapsedTimer clock;
    clock.start();
    QByteArray reply;
    do {
        if (!g.tcp.active() && !isUdp(g.tcp.framing()))
            g.open(g.tcp.framing(), quint16(g.tcp.port()));
        reply = g.modbus.ReadHoldingRegisters(first, 2, 300);
    } while (isFailureReply(reply) && clock.elapsed() < withinMs);
    return reply;
}

// A gateway that answers each MBAP request with what `answer` makes of it.
class ScriptedGateway : public QObject
{
public:
    std::function<QByteArray(quint16 transaction)> answer;
    explicit ScriptedGateway(QObject *parent = nullptr) : QObject(parent)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *s = m_server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                const QByteArray request = s->readAll();
                if (request.size() >= 2 && answer)
                    s->write(answer(quint16((quint8(request[0]) << 8) | quint8(request[1]))));
            });
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
};

QByteArray mbapReply(quint16 transaction, const QByteArray &unitAndPdu)
{
    QByteArray adu;
    adu.append(char(transaction >> 8)).append(char(transaction & 0xFF)).append('\0').append('\0');
    adu.append(char(unitAndPdu.size() >> 8)).append(char(unitAndPdu.size() & 0xFF));
    return adu + unitAndPdu;
}

} // namespace

class tst_gateway : public QObject
{
    Q_OBJECT
private slots:
    void framingConversion_data();
    void framingConversion();
    void everyFramingAgainstEveryServer_data();
    void everyFramingAgainstEveryServer();
    void repliesNotToBeTrusted_data();
    void repliesNotToBeTrusted();
    void datagramsOfOthersAreIgnored();
    void probeFindsTheFraming_data();
    void probeFindsTheFraming();
    void tuningOfADifficultLink_data();
    void tuningOfADifficultLink();
    void reconnectsAfterAReset_data();
    void reconnectsAfterAReset();
    void statistics();
};

void tst_gateway::framingConversion_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("rtu");
    QTest::addColumn<int>("discarded");
    const QByteArray reply = hex("01 03 04 27 1C 27 1D");
    QTest::newRow("the reply") << mbapReply(9, reply) << withCrc(reply) << 0;
    QTest::newRow("a stale reply first") << mbapReply(8, reply) + mbapReply(9, reply) << withCrc(reply) << 13;
    QTest::newRow("cut short") << mbapReply(9, reply).left(10) << reply.left(4) << 0;
    QTest::newRow("only a header so far") << mbapReply(9, reply).left(4) << mbapReply(9, reply).left(4) << 0;
    QTest::newRow("an RTU reply") << withCrc(reply) << QByteArray() << 9;
    QTest::newRow("a length that lies") << hex("00 09 00 00 FF FF 01 03") << QByteArray() << 8;
    QTest::newRow("another protocol") << hex("00 09 00 01 00 03 01 03 00") << QByteArray() << 9;
    QTest::newRow("nothing") << QByteArray() << QByteArray() << 0;
}

void tst_gateway::framingConversion()
{
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, rtu);
    QFETCH(int, discarded);
    const mbap::Unwrapped got = mbap::unwrap(received, 9);
    QCOMPARE(got.rtu, rtu);
    QCOMPARE(int(got.discarded), discarded);
    // The request: header, unit and PDU, the CRC gone.
    QCOMPARE(mbap::wrap(frames::readRequest(5, 3, 10012, 2), 0x1234), hex("12 34 00 00 00 06 05 03 27 1C 00 02"));
}

void tst_gateway::everyFramingAgainstEveryServer_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<GatewayFraming>("framing");
    QTest::addColumn<bool>("fast");
    for (const GatewayFraming f : {GatewayFraming::RtuOverTcp, GatewayFraming::ModbusTcp,
                                   GatewayFraming::RtuOverUdp, GatewayFraming::ModbusUdp}) {
        const QString name = gatewayFramingItems().at(int(f));
        QTest::newRow(qPrintable("simulator, " + name)) << "sim" << f << false;
        QTest::newRow(qPrintable("simulator, fast, " + name)) << "sim" << f << true;
        QTest::newRow(qPrintable("pymodbus, " + name)) << "pymodbus" << f << false;
    }
    QTest::newRow("pymodbus, fast, Modbus UDP") << "pymodbus" << GatewayFraming::ModbusUdp << true;
    QTest::newRow("libmodbus, Modbus TCP") << "libmodbus" << GatewayFraming::ModbusTcp << false;
    QTest::newRow("libmodbus, fast, Modbus TCP") << "libmodbus" << GatewayFraming::ModbusTcp << true;
}

void tst_gateway::everyFramingAgainstEveryServer()
{
    QFETCH(QString, server);
    QFETCH(GatewayFraming, framing);
    QFETCH(bool, fast);
    Gateway g;
    g.fast = fast;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<PyPeer> py;
    std::unique_ptr<ModbusTcpPeer> lib;
    quint16 port = 0;
    if (server == QLatin1String("sim")) {
        sim = std::make_unique<Simulator>();
        Simulator::Options o;
        o.serveTcp = !isUdp(framing);
        o.serveUdp = isUdp(framing);
        o.tcpPort = o.udpPort = 0;
        o.mbap = isMbap(framing);
        QVERIFY2(sim->start(o), qPrintable(sim->errorString()));
        port = isUdp(framing) ? sim->udpPort() : sim->tcpPort();
    } else if (server == QLatin1String("pymodbus")) {
        if (!pymodbusAvailable())
            QSKIP("pymodbus is not installed (scripts/setup.sh installs python3-pymodbus)");
        py = std::make_unique<PyPeer>(isUdp(framing), isMbap(framing));
        QVERIFY(py->running());
        port = py->port();
    } else {
        lib = std::make_unique<ModbusTcpPeer>();
        QVERIFY(lib->isRunning());
        port = lib->port();
    }
    // An interpreter takes a moment to listen.
    QElapsedTimer clock;
    clock.start();
    while (!g.open(framing, port) && clock.elapsed() < 5000)
        QTest::qWait(100);
    QVERIFY(g.tcp.active());

    const QByteArray reply = readOnceUp(g, 10012, 5000);
    QCOMPARE(g.modbus.lastOutcome().kind, FrameOutcome::Ok);
    // Whatever the gateway speaks, the pages get the RTU reply.
    QCOMPARE(reply.left(3), hex("01 03 04"));
    QCOMPARE(frames::judgeReply(frames::readRequest(1, 3, 10012, 2), reply), FrameOutcome::Ok);
    if (sim) {
        // The recorder behind the gateway got the very RTU request.
        QCOMPARE(sim->requestLog().frames().last(), frames::readRequest(1, 3, 10012, 2));
    } else {
        QCOMPARE(reply.mid(3, 4), kPeerData);
        // A write through the same framing is acknowledged, and reads back.
        QVERIFY(!isFailureReply(g.modbus.WriteMultipleRegisters(100, 2, hex("12 34 56 78"), 500)));
        QCOMPARE(g.modbus.ReadHoldingRegisters(100, 2, 500).mid(3, 4), hex("12 34 56 78"));
    }
}

void tst_gateway::repliesNotToBeTrusted_data()
{
    QTest::addColumn<int>("script");
    QTest::addColumn<FrameOutcome>("outcome");
    QTest::newRow("a stale transaction first") << 0 << FrameOutcome::Ok;
    QTest::newRow("an RTU reply to an MBAP request") << 1 << FrameOutcome::NoReply;
    QTest::newRow("a length that lies, then a flood") << 2 << FrameOutcome::NoReply;
    QTest::newRow("a reply cut short") << 3 << FrameOutcome::Short;
}

void tst_gateway::repliesNotToBeTrusted()
{
    QFETCH(int, script);
    QFETCH(FrameOutcome, outcome);
    const QByteArray pdu = hex("01 03 04 27 1C 27 1D");
    ScriptedGateway gateway;
    gateway.answer = [&](quint16 id) {
        switch (script) {
        case 0: return mbapReply(quint16(id - 1), pdu) + mbapReply(id, pdu);
        case 1: return withCrc(pdu);
        case 2: return hex("00 00 00 00 FF FF") + QByteArray(200000, '\x55');
        default: return mbapReply(id, pdu).left(9);
        }
    };
    for (const bool fast : {false, true}) {
        Gateway g;
        g.fast = fast;
        QVERIFY(g.open(GatewayFraming::ModbusTcp, gateway.port()));
        QElapsedTimer clock;
        clock.start();
        g.modbus.ReadHoldingRegisters(10012, 2, 300);
        QCOMPARE(g.modbus.lastOutcome().kind, outcome);
        // Never past its wait, whatever came.
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }
}

void tst_gateway::datagramsOfOthersAreIgnored()
{
    // The gateway answers from its port; a stranger sends a forged reply
    // first, and a datagram far larger than any reply.
    QUdpSocket gateway;
    QVERIFY(gateway.bind(QHostAddress::LocalHost, 0));
    QUdpSocket stranger;
    QVERIFY(stranger.bind(QHostAddress::LocalHost, 0));
    Gateway g;
    QVERIFY(g.open(GatewayFraming::RtuOverUdp, gateway.localPort()));
    connect(&gateway, &QUdpSocket::readyRead, this, [&] {
        while (gateway.hasPendingDatagrams()) {
            const QNetworkDatagram d = gateway.receiveDatagram();
            stranger.writeDatagram(withCrc(hex("01 03 04 66 66 66 66")), d.senderAddress(), quint16(d.senderPort()));
            gateway.writeDatagram(QByteArray(60000, '\x11'), d.senderAddress(), quint16(d.senderPort()));
            QTest::qWait(20);
            gateway.writeDatagram(withCrc(hex("01 03 04 27 1C 27 1D")), d.senderAddress(), quint16(d.senderPort()));
        }
    });
    // The oversized datagram is cut to the client's bound and spoils the
    // first reply; the next exchange starts clean.
    g.modbus.ReadHoldingRegisters(10012, 2, 300);
    QVERIFY(g.modbus.lastOutcome().kind != FrameOutcome::Ok);
    gateway.disconnect(this);
    connect(&gateway, &QUdpSocket::readyRead, this, [&] {
        while (gateway.hasPendingDatagrams()) {
            const QNetworkDatagram d = gateway.receiveDatagram();
            stranger.writeDatagram(withCrc(hex("01 03 04 66 66 66 66")), d.senderAddress(), quint16(d.senderPort()));
            QTest::qWait(20);
            gateway.writeDatagram(withCrc(hex("01 03 04 27 1C 27 1D")), d.senderAddress(), quint16(d.senderPort()));
        }
    });
    QCOMPARE(g.modbus.ReadHoldingRegisters(10012, 2, 300).mid(3, 4), kPeerData);
}

void tst_gateway::probeFindsTheFraming_data()
{
    QTest::addColumn<bool>("udp");
    QTest::addColumn<bool>("mbap");
    QTest::addColumn<bool>("silent");
    QTest::newRow("RTU over TCP") << false << false << false;
    QTest::newRow("Modbus TCP") << false << true << false;
    QTest::newRow("Modbus UDP") << true << true << false;
    QTest::newRow("nobody answers") << false << true << true;
}

void tst_gateway::probeFindsTheFraming()
{
    QFETCH(bool, udp);
    QFETCH(bool, mbap);
    QFETCH(bool, silent);
    Simulator sim;
    Simulator::Options o;
    o.serveTcp = !udp;
    o.serveUdp = udp;
    o.tcpPort = o.udpPort = 0;
    o.mbap = mbap;
    QVERIFY(sim.start(o));
    if (silent)
        sim.faults().add(FaultRule{FaultRule::Silent});
    Gateway g;
    // Started in the other framing of the same protocol.
    const GatewayFraming wrong = framingOf(udp, !mbap);
    QVERIFY(g.open(wrong, udp ? sim.udpPort() : sim.tcpPort()));
    const std::optional<GatewayFraming> found = probeGatewayFraming(g.tcp, g.modbus, 1, 300);
    if (silent) {
        QVERIFY(!found);
        QCOMPARE(g.tcp.framing(), wrong);
        return;
    }
    QCOMPARE(found, std::optional(framingOf(udp, mbap)));
    QCOMPARE(g.tcp.framing(), framingOf(udp, mbap));
}

void tst_gateway::tuningOfADifficultLink_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("extraWaitMs");
    QTest::addColumn<bool>("write");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("requests");
    QTest::newRow("silent once, no retries") << "silent" << 0 << 0 << false << false << 1;
    QTest::newRow("silent once, one retry") << "silent" << 1 << 0 << false << true << 2;
    QTest::newRow("bad CRC once, three retries") << "crc" << 3 << 0 << false << true << 2;
    QTest::newRow("always silent, two retries") << "always" << 2 << 0 << false << false << 3;
    QTest::newRow("a write is never repeated") << "silent" << 3 << 0 << true << false << 1;
    QTest::newRow("late, no extra wait") << "late" << 0 << 0 << false << false << 1;
    QTest::newRow("late, extra wait") << "late" << 0 << 400 << false << true << 1;
}

void tst_gateway::tuningOfADifficultLink()
{
    QFETCH(QString, fault);
    QFETCH(int, retries);
    QFETCH(int, extraWaitMs);
    QFETCH(bool, write);
    QFETCH(bool, ok);
    QFETCH(int, requests);
    Simulator sim;
    Simulator::Options o;
    o.tcpPort = 0;
    o.serveTcp = true;
    QVERIFY(sim.start(o));
    FaultRule rule{fault == QLatin1String("crc") ? FaultRule::BadCrc
                   : fault == QLatin1String("late") ? FaultRule::Late
                                                    : FaultRule::Silent};
    if (fault == QLatin1String("late"))
        rule.amount = 300;
    if (fault != QLatin1String("always"))
        rule.times = 1;
    sim.faults().add(rule);
    Gateway g;
    g.tune.readRetries = retries;
    g.tune.extraWaitMs = extraWaitMs;
    Retries seen;
    g.exchange.setObserver(&seen);
    QVERIFY(g.open(GatewayFraming::RtuOverTcp, sim.tcpPort()));
    const QByteArray reply = write ? g.modbus.WriteMultipleRegisters(100, 1, hex("00 01"), 150)
                                   : g.modbus.ReadHoldingRegisters(10012, 2, 150);
    QCOMPARE(!isFailureReply(reply), ok);
    QCOMPARE(sim.requestLog().size(), requests);
    QCOMPARE(seen.retried, requests - 1);
}

void tst_gateway::reconnectsAfterAReset_data()
{
    QTest::addColumn<bool>("reconnect");
    QTest::newRow("off") << false;
    QTest::newRow("on") << true;
}

void tst_gateway::reconnectsAfterAReset()
{
    QFETCH(bool, reconnect);
    Simulator sim;
    Simulator::Options o;
    o.tcpPort = 0;
    o.serveTcp = true;
    QVERIFY(sim.start(o));
    FaultRule reset{FaultRule::ResetTcp};
    reset.times = 1;
    sim.faults().add(reset);
    Gateway g;
    g.tune.reconnect = reconnect;
    g.tune.pauseMs = 200;
    QVERIFY(g.open(GatewayFraming::RtuOverTcp, sim.tcpPort()));
    QVERIFY_THROWS_EXCEPTION(ESocketError, g.modbus.ReadHoldingRegisters(10012, 2, 500));
    QVERIFY(!g.tcp.active());
    const QByteArray again = g.modbus.ReadHoldingRegisters(10012, 2, 500);
    QCOMPARE(!isFailureReply(again), reconnect);
    QCOMPARE(g.tcp.active(), reconnect);
    if (!reconnect) {
        QCOMPARE(g.modbus.lastOutcome().kind, FrameOutcome::NoLink);
        return;
    }
    // The pause kept its distance from the request before.
    const QList<RequestLog::Entry> log = sim.requestLog().entries();
    QCOMPARE(log.size(), 2);
    QVERIFY2(log[1].atMs - log[0].atMs >= 190, qPrintable(QString::number(log[1].atMs - log[0].atMs)));
    // "Stop" is the user's: no reconnecting after it.
    g.tcp.deactivate();
    QVERIFY(isFailureReply(g.modbus.ReadHoldingRegisters(10012, 2, 200)));
    QVERIFY(!g.tcp.active());
}

void tst_gateway::statistics()
{
    LinkStatistics s;
    for (const int us : {3000, 1000, 2000, 9000})
        s.record(1, FrameOutcome::Ok, us);
    s.record(1, FrameOutcome::NoReply, -1);
    s.record(1, FrameOutcome::BadCrc, -1);
    s.record(1, FrameOutcome::Exception, 500);
    s.record(1, FrameOutcome::Short, -1);
    s.record(1, FrameOutcome::NoLink, -1); // nothing went out
    s.recordFailure(7);
    const QList<AddressStatistics> rows = s.rows();
    QCOMPARE(rows.size(), 2);
    const AddressStatistics &one = rows[0];
    QCOMPARE(one.requests, 8);
    QCOMPARE(QList<qint64>({one.ok, one.noReply, one.badCrc, one.exceptions, one.other}),
             QList<qint64>({4, 1, 1, 1, 1}));
    // Times of whole replies only.
    QCOMPARE(QList<qint64>({one.minUs, one.medianUs, one.maxUs}), QList<qint64>({1000, 3000, 9000}));
    QCOMPARE(rows[1].address, 7);
    QCOMPARE(rows[1].other, 1);
    QCOMPARE(rows[1].minUs, -1);
    QVERIFY(statisticsReport(rows).startsWith(QStringLiteral("Адрес 1: запросов 8, OK 4")));
    s.reset();
    QCOMPARE(statisticsReport(s.rows()), QStringLiteral("Запросов не было\n"));
}

QTEST_GUILESS_MAIN(tst_gateway)
#include "tst_gateway_unix.moc"
