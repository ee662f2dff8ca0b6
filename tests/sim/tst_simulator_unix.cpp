// The simulated recorder as a client sees it: byte-exact replies over a
// pseudo-terminal and over TCP, the misbehaviours tests rely on, pacing, the
// ticking clock, and the frame assembly of the byte stream.

#include "link/modbus.h"
#include "sim/modbus_slave.h"
#include "tests/support/sim_harness.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace vexs;

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

QByteArray readReply(quint8 function, const QByteArray &data)
{
    QByteArray reply;
    reply.append(char(1));
    reply.append(char(function));
    reply.append(char(data.size()));
    reply.append(data);
    return withCrc(reply);
}

QByteArray exception(quint8 function, quint8 code)
{
    QByteArray frame;
    frame.append(char(1));
    frame.append(char(function | 0x80));
    frame.append(char(code));
    return withCrc(frame);
}

float floatAt(const QByteArray &bytes, int offset)
{
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= quint32(quint8(bytes[offset + i])) << (8 * i);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A plain client on one transport. receive() collects octets until `expected`
// have arrived and the line then stays quiet for a moment (so an over-long
// reply shows), or until the timeout; expected 0 waits the whole timeout.
class Client
{
public:
    virtual ~Client() = default;
    virtual bool isOpen() const = 0;
    virtual void send(const QByteArray &bytes) = 0;
    virtual bool closedByPeer() { return false; }

    // lastByteMs: arrival of the last octet, on `since` when given, else
    // counted from the call.
    QByteArray receive(int expected, int timeoutMs, qint64 *lastByteMs = nullptr,
                       const QElapsedTimer *since = nullptr)
    {
        constexpr int QuietMs = 15;
        QElapsedTimer clock;
        clock.start();
        QByteArray got;
        for (;;) {
            const int remaining = timeoutMs - int(clock.elapsed());
            if (remaining <= 0)
                break;
            const bool complete = expected > 0 && got.size() >= expected;
            const QByteArray chunk = readSome(complete ? qMin(QuietMs, remaining) : remaining);
            if (chunk.isEmpty()) {
                if (complete)
                    break;
                continue;
            }
            got += chunk;
            if (lastByteMs)
                *lastByteMs = since ? since->elapsed() : clock.elapsed();
        }
        return got;
    }

    QByteArray exchange(const QByteArray &request, int expected, int timeoutMs = 1000)
    {
        send(request);
        return receive(expected, timeoutMs);
    }

protected:
    virtual QByteArray readSome(int waitMs) = 0;
};

class PtyClient : public Client
{
public:
    explicit PtyClient(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return;
        termios tio{};
        ::tcgetattr(m_fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
        ::tcflush(m_fd, TCIOFLUSH);
    }
    ~PtyClient() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const override { return m_fd >= 0; }
    void send(const QByteArray &bytes) override
    {
        QCOMPARE_EQ(::write(m_fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    }

protected:
    QByteArray readSome(int waitMs) override
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0)
            return {};
        char buffer[512];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
    }

private:
    int m_fd = -1;
};

class TcpClient : public Client
{
public:
    explicit TcpClient(quint16 port)
    {
        m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        m_socket.waitForConnected(2000);
    }
    bool isOpen() const override { return m_socket.state() == QAbstractSocket::ConnectedState; }
    void send(const QByteArray &bytes) override
    {
        m_socket.write(bytes);
        m_socket.waitForBytesWritten(1000);
    }
    bool closedByPeer() override
    {
        if (m_socket.state() == QAbstractSocket::ConnectedState)
            m_socket.waitForReadyRead(100);
        return m_socket.state() != QAbstractSocket::ConnectedState;
    }

protected:
    QByteArray readSome(int waitMs) override
    {
        if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(waitMs))
            return {};
        return m_socket.readAll();
    }

private:
    QTcpSocket m_socket;
};

struct Chunk {
    qint64 atMs;
    QByteArray bytes;
};

const QByteArray IdentRequest = hex("01 03 27 1C 00 0B CF 7F");
const QByteArray LiveRequest = hex("01 04 00 00 00 30 F0 1E");

} // namespace

Q_DECLARE_METATYPE(FaultRule)
Q_DECLARE_METATYPE(Chunk)

class TestSimulator : public QObject
{
    Q_OBJECT

private:
    SimHarness m_sim;
    QByteArray m_frozen;

    std::unique_ptr<Client> client(const QString &transport)
    {
        std::unique_ptr<Client> c;
        if (transport == QLatin1String("pty"))
            c = std::make_unique<PtyClient>(m_sim.ptyLink());
        else
            c = std::make_unique<TcpClient>(m_sim.tcpPort());
        return c;
    }

    static void addTransportColumn() { QTest::addColumn<QString>("transport"); }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        QVERIFY(!m_sim.ptyLink().isEmpty());
        QVERIFY(m_sim.tcpPort() != 0);
        for (int i = 0; i < RecorderModel::LiveBytes; ++i)
            m_frozen.append(char(i * 7 + 3));
    }

    void init()
    {
        m_sim.model().reset();
        m_sim.model().setLiveRecord(m_frozen);
        m_sim.faults().clear();
        m_sim.requestLog().clear();
        m_sim.setBaud(115200);
        m_sim.setAddress(1);
    }

    void replies_data()
    {
        addTransportColumn();
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("expected");

        RecorderModel &model = m_sim.model();
        model.reset();
        model.setLiveRecord(m_frozen);
        const QByteArray settings = model.settingsArea();

        struct Row {
            const char *name;
            QByteArray request, expected;
        };
        const Row rows[] = {
            {"identification", IdentRequest,
             hex("01 03 16 30 35 30 33 30 39 30 30 31 32 33 34 01 00 02 00 01 01 00 17 69 0c fe 5f")},
            {"live record", LiveRequest, readReply(4, m_frozen)},
            {"clock part of the live record", frames::readRequest(1, 4, 0, 3),
             readReply(4, m_frozen.left(6))},
            {"input registers 47..47", frames::readRequest(1, 4, 47, 1),
             readReply(4, m_frozen.mid(94, 2))},
            {"settings block at 352", frames::readRequest(1, 3, 352, 32),
             readReply(3, settings.mid(704, 64))},
            {"last settings block", frames::readRequest(1, 3, 768, 4),
             readReply(3, settings.mid(1536, 8))},
            {"coefficients ch2 output current", frames::readRequest(1, 3, 12043, 10),
             readReply(3, model.coefficients(2).mid(84, 20))},
            {"coefficients ch4 last register", frames::readRequest(1, 3, 14052, 1),
             readReply(3, model.coefficients(4).mid(102, 2))},
            {"past the settings area", frames::readRequest(1, 3, 772, 1), hex("01 83 02 C0 F1")},
            {"across the end of the settings area", frames::readRequest(1, 3, 770, 4),
             exception(3, 2)},
            {"past the coefficients", frames::readRequest(1, 3, 11053, 1), exception(3, 2)},
            {"command registers are write-only", frames::readRequest(1, 3, 10001, 3),
             exception(3, 2)},
            {"input register 48", frames::readRequest(1, 4, 48, 1), exception(4, 2)},
            {"49 input registers", frames::readRequest(1, 4, 0, 49), exception(4, 2)},
            {"count 0", frames::readRequest(1, 3, 0, 0), exception(3, 3)},
            {"function 0x06", withCrc(hex("01 06 00 00 00 01")), exception(6, 1)},
            {"function 0x2B", withCrc(hex("01 2B 0E 01 00 00")), exception(0x2B, 1)},
            {"write to coefficients", frames::writeRequest(1, 11001, 1, hex("0000")),
             exception(0x10, 2)},
            {"write to board versions", frames::writeRequest(1, 10021, 1, hex("0000")),
             exception(0x10, 2)},
            {"write byte count disagrees", withCrc(hex("01 10 00 00 00 02 02 11 22")),
             exception(0x10, 3)},
            {"another slave", frames::readRequest(2, 3, 0, 1), QByteArray()},
            {"broadcast read", frames::readRequest(0, 3, 0, 1), QByteArray()},
        };
        for (const char *transport : {"pty", "tcp"}) {
            for (const Row &row : rows) {
                QTest::addRow("%s: %s", transport, row.name)
                    << QString::fromLatin1(transport) << row.request << row.expected;
            }
        }
    }

    void replies()
    {
        QFETCH(QString, transport);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, expected);
        auto c = client(transport);
        QVERIFY(c->isOpen());
        const QByteArray reply = c->exchange(request, int(expected.size()),
                                             expected.isEmpty() ? 100 : 1000);
        QCOMPARE(reply.toHex(' '), expected.toHex(' '));
        // Bad requests must not leave the simulator stuck: a good one follows.
        QCOMPARE(c->exchange(IdentRequest, 27).size(), 27);
    }

    void writeThenRead_data()
    {
        addTransportColumn();
        QTest::addColumn<int>("first");
        QTest::addColumn<QByteArray>("data");

        QByteArray channel(40, 0);
        for (int i = 0; i < channel.size(); ++i)
            channel[i] = char(0xA0 + i);
        QByteArray chunk(66, 0);
        for (int i = 0; i < chunk.size(); ++i)
            chunk[i] = char(255 - i);
        QByteArray network = QByteArray("\x05\x01\x02\x00", 4) + "010.000.000.017\x13";
        network.append(QByteArray(56 - network.size(), '\x13'));
        for (const char *transport : {"pty", "tcp"}) {
            const QString t = QString::fromLatin1(transport);
            QTest::addRow("%s: channel 3 record", transport) << t << 40 << channel;
            QTest::addRow("%s: math chunk 5 of M4", transport) << t << 659 << chunk.left(34);
            QTest::addRow("%s: math chunk 1 of M1", transport) << t << 80 << chunk;
            QTest::addRow("%s: network block", transport) << t << 744 << network;
            QTest::addRow("%s: identification", transport) << t << 10012 << QByteArray("311205654321\x02\x00\x01\x01\x00\x02", 18);
        }
    }

    void writeThenRead()
    {
        QFETCH(QString, transport);
        QFETCH(int, first);
        QFETCH(QByteArray, data);
        const quint16 count = quint16(data.size() / 2);
        auto c = client(transport);

        const QByteArray write = frames::writeRequest(1, quint16(first), count, data);
        QCOMPARE(c->exchange(write, 8).toHex(' '), withCrc(write.left(6)).toHex(' '));
        QCOMPARE(m_sim.model().holdingBytes(first, count).toHex(' '), data.toHex(' '));
        QCOMPARE(c->exchange(frames::readRequest(1, 3, quint16(first), count), 5 + data.size())
                     .toHex(' '),
                 readReply(3, data).toHex(' '));
    }

    void broadcastWriteIsCarriedOutSilently()
    {
        TcpClient c(m_sim.tcpPort());
        const QByteArray data = hex("0102030400002041");
        QVERIFY(c.exchange(frames::writeRequest(0, 728, 4, data), 0, 150).isEmpty());
        QCOMPARE(m_sim.model().holdingBytes(728, 4), data);
    }

    void commands_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("step");
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("pen");

        QTest::newRow("calibrate channel 3 step 6")
            << hex("01 10 27 11 00 03 06 03 06 00 00 00 00 8F 57") << 3 << 6 << 0.f << 50;
        QTest::newRow("output current point 4 mA typed")
            << frames::writeRequest(1, 10001, 3, hex("011700008040")) << 1 << 23 << 4.f << 50;
        QTest::newRow("pen to 5%") << hex("01 10 27 15 00 01 02 9E 07 DA 35") << -1 << 0 << 0.f << 5;
        QTest::newRow("pen to 95%") << frames::writeRequest(1, 10004, 1, hex("0000")) << -1 << 0
                                    << 0.f << 95;
        QTest::newRow("pen check 100%") << frames::writeRequest(1, 10011, 1, hex("6400")) << -1
                                        << 0 << 0.f << 100;
    }

    void commands()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, channel);
        QFETCH(int, step);
        QFETCH(float, value);
        QFETCH(int, pen);
        PtyClient c(m_sim.ptyLink());
        QCOMPARE(c.exchange(request, 8).toHex(' '), withCrc(request.left(6)).toHex(' '));

        const auto commandWrites = m_sim.model().commandWrites();
        QCOMPARE(commandWrites.size(), 1);
        QCOMPARE(commandWrites.first().data, request.mid(7, request.size() - 9));
        const auto calibration = m_sim.model().lastCalibrationCommand();
        QCOMPARE(calibration.has_value(), channel >= 0);
        if (calibration) {
            QCOMPARE(int(calibration->channel), channel);
            QCOMPARE(int(calibration->step), step);
            QCOMPARE(calibration->value, value);
        }
        QCOMPARE(m_sim.model().penPosition(), pen);
    }

    // A written clock is what the live record reports from then on.
    void clockWrite_data()
    {
        addTransportColumn();
        QTest::newRow("pty") << QStringLiteral("pty");
        QTest::newRow("tcp") << QStringLiteral("tcp");
    }

    void clockWrite()
    {
        QFETCH(QString, transport);
        m_sim.model().unfreezeLiveRecord();
        auto c = client(transport);
        const QByteArray record = hex("1E 0F 0A 05 06 18"); // 05.06.24 10:15:30
        const QByteArray write = frames::writeRequest(1, 10006, 3, record);
        QCOMPARE(c->exchange(write, 8), withCrc(write.left(6)));
        const QByteArray reply = c->exchange(frames::readRequest(1, 4, 0, 3), 11);
        QCOMPARE(reply.size(), 11);
        QVERIFY(frames::crcMatches(reply));
        QVERIFY2(quint8(reply[3]) == 30 || quint8(reply[3]) == 31, reply.toHex(' ').constData());
        QCOMPARE(reply.mid(4, 5), record.mid(1));
    }

    void clockTicks_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QByteArray>("raw"); // written as is instead of start
        QTest::addColumn<QByteArray>("expected");

        auto at = [](int y, int mo, int d, int h, int mi, int s) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi, s, 950));
        };
        QTest::newRow("new year") << at(2024, 12, 31, 23, 59, 59) << QByteArray()
                                  << hex("00 00 00 01 01 19");
        QTest::newRow("leap day") << at(2024, 2, 28, 23, 59, 59) << QByteArray()
                                  << hex("00 00 00 1D 02 18");
        QTest::newRow("no leap day") << at(2023, 2, 28, 23, 59, 59) << QByteArray()
                                     << hex("00 00 00 01 03 17");
        QTest::newRow("minute") << at(2024, 6, 5, 10, 15, 59) << QByteArray()
                                << hex("00 10 0A 05 06 18");
        QTest::newRow("impossible date stays as written")
            << QDateTime() << hex("00 00 0C 1F 02 18") << hex("00 00 0C 1F 02 18");
    }

    void clockTicks()
    {
        QFETCH(QDateTime, start);
        QFETCH(QByteArray, raw);
        QFETCH(QByteArray, expected);
        m_sim.model().unfreezeLiveRecord();
        if (raw.isEmpty())
            m_sim.model().setClock(start);
        else
            m_sim.model().setClockBytes(raw);
        QTest::qWait(120);
        TcpClient c(m_sim.tcpPort());
        const QByteArray reply = c.exchange(frames::readRequest(1, 4, 0, 3), 11);
        QCOMPARE(reply.mid(3, 6).toHex(' '), expected.toHex(' '));
    }

    void liveValuesMove()
    {
        m_sim.model().unfreezeLiveRecord();
        TcpClient c(m_sim.tcpPort());
        const QByteArray first = c.exchange(LiveRequest, 101).mid(3, 96);
        QTest::qWait(300);
        const QByteArray second = c.exchange(LiveRequest, 101).mid(3, 96);
        QCOMPARE(first.size(), 96);
        QCOMPARE(second.size(), 96);
        // Channel 1: on, no error, values in its 0..250 range that change.
        QCOMPARE(int(first[8]), 1);
        QCOMPARE(int(first[9]), 0);
        const float a = floatAt(first, 10), b = floatAt(second, 10);
        QVERIFY2(a >= 0 && a <= 250 && b >= 0 && b <= 250, qPrintable(QString::number(a)));
        QVERIFY(a != b);
        const float current = floatAt(second, 14);
        QVERIFY(current >= 4 && current <= 20);
        for (int offset : {10, 14, 18, 24, 28, 32, 66, 72})
            QVERIFY(std::isfinite(floatAt(second, offset)));
    }

    void moduleMissing()
    {
        m_sim.model().unfreezeLiveRecord();
        m_sim.model().setModuleMissing(2, true);
        TcpClient c(m_sim.tcpPort());
        QByteArray live = c.exchange(LiveRequest, 101).mid(3, 96);
        QCOMPARE(live.size(), 96);
        QCOMPARE(quint8(live[9]), quint8(0));
        QCOMPARE(quint8(live[9 + 14]), quint8(255));
        QCOMPARE(quint8(live[9 + 28]), quint8(0));
        QCOMPARE(floatAt(live, 10 + 14), 0.f);
        // М2 averages channels 2 and 3: it reports the fault of its input.
        QCOMPARE(quint8(live[65 + 6]) & 0x01, 0x01);

        m_sim.model().setModuleMissing(2, false);
        live = c.exchange(LiveRequest, 101).mid(3, 96);
        QCOMPARE(quint8(live[9 + 14]), quint8(0));
    }

    void misbehaviour_data()
    {
        addTransportColumn();
        QTest::addColumn<FaultRule>("rule");
        QTest::addColumn<int>("expectedLength"); // 0: nothing comes
        QTest::addColumn<bool>("crcGood");
        QTest::addColumn<int>("minDelayMs");
        QTest::addColumn<int>("extraAfterMs"); // -1: no stray octets
        QTest::addColumn<bool>("closes");

        auto rule = [](FaultRule::Kind kind, int amount) {
            FaultRule r;
            r.kind = kind;
            r.amount = amount;
            r.times = 1;
            return r;
        };
        for (const char *transport : {"pty", "tcp"}) {
            const QString t = QString::fromLatin1(transport);
            QTest::addRow("%s: silent", transport) << t << rule(FaultRule::Silent, 0) << 0 << false << 0 << -1 << false;
            QTest::addRow("%s: late", transport) << t << rule(FaultRule::Late, 150) << 101 << true << 150 << -1 << false;
            QTest::addRow("%s: bad crc", transport) << t << rule(FaultRule::BadCrc, 0) << 101 << false << 0 << -1 << false;
            QTest::addRow("%s: truncate", transport) << t << rule(FaultRule::Truncate, 3) << 98 << false << 0 << -1 << false;
            QTest::addRow("%s: pad", transport) << t << rule(FaultRule::Pad, 2) << 103 << true << 0 << -1 << false;
            QTest::addRow("%s: late extra", transport) << t << rule(FaultRule::LateExtra, 100) << 101 << true << 0 << 100 << false;
        }
        QTest::addRow("tcp: drop connection") << QStringLiteral("tcp") << rule(FaultRule::DropTcp, 0) << 0 << false << 0 << -1 << true;
        QTest::addRow("pty: drop connection is silence") << QStringLiteral("pty") << rule(FaultRule::DropTcp, 0) << 0 << false << 0 << -1 << false;
    }

    void misbehaviour()
    {
        QFETCH(QString, transport);
        QFETCH(FaultRule, rule);
        QFETCH(int, expectedLength);
        QFETCH(bool, crcGood);
        QFETCH(int, minDelayMs);
        QFETCH(int, extraAfterMs);
        QFETCH(bool, closes);
        const QByteArray good = readReply(4, m_frozen);
        m_sim.faults().add(rule);
        auto c = client(transport);

        QElapsedTimer clock;
        clock.start();
        c->send(LiveRequest);
        qint64 lastByte = -1;
        const QByteArray reply =
            c->receive(expectedLength, expectedLength ? 1000 : 150, &lastByte, &clock);
        QCOMPARE(reply.size(), expectedLength);
        if (expectedLength > 0) {
            QCOMPARE(frames::crcMatches(reply), crcGood);
            const int same = int(qMin(reply.size(), good.size())) - (rule.kind == FaultRule::BadCrc ? 2 : 0);
            QCOMPARE(reply.left(same).toHex(' '), good.left(same).toHex(' '));
            QVERIFY2(lastByte >= minDelayMs, qPrintable(QString::number(lastByte)));
        }
        if (extraAfterMs >= 0) {
            qint64 extraByte = -1;
            const QByteArray extra = c->receive(4, 1000, &extraByte, &clock);
            QCOMPARE(extra.size(), 4);
            QVERIFY2(extraByte - lastByte >= extraAfterMs - 5,
                     qPrintable(QStringLiteral("%1 after the reply").arg(extraByte - lastByte)));
        }
        QCOMPARE(c->closedByPeer(), closes);
        if (closes)
            c = client(transport); // a gateway client reconnects

        // The rule was for one request only: the next exchange is clean.
        QCOMPARE(c->exchange(LiveRequest, 101).toHex(' '), good.toHex(' '));
        QCOMPARE(m_sim.faults().appliedCounts(), QList<int>{1});
    }

    void silentWriteIsNotCarriedOut()
    {
        FaultRule rule;
        rule.kind = FaultRule::Silent;
        m_sim.faults().add(rule);
        const QByteArray before = m_sim.model().holdingBytes(728, 1);
        TcpClient c(m_sim.tcpPort());
        QVERIFY(c.exchange(frames::writeRequest(1, 728, 1, hex("0909")), 0, 150).isEmpty());
        QCOMPARE(m_sim.model().holdingBytes(728, 1), before);
    }

    // Which requests of a sequence a limited rule hits ("fail the request for
    // register 352", "fail only the third chunk").
    void ruleLimits_data()
    {
        QTest::addColumn<FaultRule>("rule");
        QTest::addColumn<QList<int>>("functions");
        QTest::addColumn<QList<int>>("registers");
        QTest::addColumn<QList<bool>>("answered");

        FaultRule r;
        r.kind = FaultRule::Silent;
        r.firstRegister = 352;
        QTest::newRow("register 352") << r << QList<int>{3, 3, 3, 4} << QList<int>{320, 352, 384, 352}
                                      << QList<bool>{true, false, true, false};
        r = {};
        r.function = 0x10;
        r.skip = 2;
        r.times = 1;
        QTest::newRow("third write only") << r << QList<int>{16, 3, 16, 16, 16}
                                          << QList<int>{80, 80, 113, 146, 179}
                                          << QList<bool>{true, true, true, false, true};
        r = {};
        r.function = 4;
        QTest::newRow("input reads only") << r << QList<int>{3, 4, 3} << QList<int>{0, 0, 0}
                                          << QList<bool>{true, false, true};
        r = {};
        r.times = 2;
        QTest::newRow("first two") << r << QList<int>{3, 3, 3, 4} << QList<int>{0, 32, 64, 0}
                                   << QList<bool>{false, false, true, true};
    }

    void ruleLimits()
    {
        QFETCH(FaultRule, rule);
        QFETCH(QList<int>, functions);
        QFETCH(QList<int>, registers);
        QFETCH(QList<bool>, answered);
        m_sim.faults().add(rule);
        TcpClient c(m_sim.tcpPort());
        for (int i = 0; i < functions.size(); ++i) {
            const quint16 first = quint16(registers[i]);
            const QByteArray request = functions[i] == 0x10
                                           ? frames::writeRequest(1, first, 2, hex("00000000"))
                                           : frames::readRequest(1, quint8(functions[i]), first, 2);
            const int length = functions[i] == 0x10 ? 8 : 9;
            const QByteArray reply = c.exchange(request, answered[i] ? length : 0,
                                                answered[i] ? 1000 : 80);
            QVERIFY2(reply.size() == (answered[i] ? length : 0),
                     qPrintable(QStringLiteral("request %1: %2").arg(i).arg(reply.toHex(' '))));
        }
    }

    // Replies on the pseudo-terminal take the time of the wire.
    void pacing_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::newRow("9600") << 9600 << 105 << 250;
        QTest::newRow("19200") << 19200 << 53 << 200;
        QTest::newRow("115200") << 115200 << 9 << 100;
    }

    void pacing()
    {
        QFETCH(int, baud);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        m_sim.setBaud(baud);
        PtyClient c(m_sim.ptyLink());
        c.send(LiveRequest);
        qint64 lastByte = -1;
        const QByteArray reply = c.receive(101, 1000, &lastByte);
        QCOMPARE(reply.size(), 101);
        QVERIFY2(lastByte >= minMs && lastByte <= maxMs, qPrintable(QString::number(lastByte)));
    }

    void requestLog()
    {
        PtyClient c(m_sim.ptyLink());
        const QByteArray other = frames::readRequest(7, 3, 0, 1);
        QByteArray broken = IdentRequest;
        broken[7] = char(broken[7] ^ 1);
        QCOMPARE(c.exchange(IdentRequest, 27).size(), 27);
        QVERIFY(c.exchange(broken, 0, 100).isEmpty());
        QVERIFY(c.exchange(other, 0, 100).isEmpty());
        QCOMPARE(c.exchange(LiveRequest, 101).size(), 101);

        const auto entries = m_sim.requestLog().entries();
        QCOMPARE(m_sim.requestLog().frames(), (QList<QByteArray>{IdentRequest, other, LiveRequest}));
        QCOMPARE(entries.first().channel, RequestLog::Pty);
        QVERIFY(entries[0].atMs <= entries[1].atMs && entries[1].atMs <= entries[2].atMs);
        QVERIFY(entries[2].atMs - entries[0].atMs >= 200);
        m_sim.requestLog().clear();
        QCOMPARE(m_sim.requestLog().size(), 0);
    }

    // Clients come and go: the pseudo-terminal survives the client closing
    // its side, TCP serves one connection after another and two at once.
    void clientsComeAndGo()
    {
        for (int round = 0; round < 3; ++round) {
            PtyClient pty(m_sim.ptyLink());
            QCOMPARE(pty.exchange(IdentRequest, 27).size(), 27);
            TcpClient tcp(m_sim.tcpPort());
            QCOMPARE(tcp.exchange(IdentRequest, 27).size(), 27);
        }
        TcpClient a(m_sim.tcpPort()), b(m_sim.tcpPort());
        QCOMPARE(a.exchange(IdentRequest, 27).size(), 27);
        QCOMPARE(b.exchange(LiveRequest, 101).size(), 101);
    }

    void otherAddress()
    {
        m_sim.setAddress(17);
        TcpClient c(m_sim.tcpPort());
        QVERIFY(c.exchange(IdentRequest, 0, 120).isEmpty());
        const QByteArray reply = c.exchange(frames::readRequest(17, 3, 10012, 11), 27);
        QCOMPARE(reply.size(), 27);
        QCOMPARE(quint8(reply[0]), quint8(17));
        QVERIFY(frames::crcMatches(reply));
    }

    void assembler_data()
    {
        QTest::addColumn<QList<Chunk>>("chunks");
        QTest::addColumn<QList<QByteArray>>("frames");

        const QByteArray write = frames::writeRequest(1, 728, 2, hex("01020304"));
        QByteArray bad = LiveRequest;
        bad[6] = char(bad[6] ^ 0x40);
        QList<Chunk> byByte;
        for (int i = 0; i < write.size(); ++i)
            byByte.append({i, write.mid(i, 1)});

        QTest::newRow("whole") << QList<Chunk>{{0, IdentRequest}} << QList<QByteArray>{IdentRequest};
        QTest::newRow("octet by octet") << byByte << QList<QByteArray>{write};
        QTest::newRow("two in one chunk") << QList<Chunk>{{0, IdentRequest + write}}
                                          << QList<QByteArray>{IdentRequest, write};
        QTest::newRow("write split before its byte count")
            << QList<Chunk>{{0, write.left(5)}, {3, write.mid(5)}} << QList<QByteArray>{write};
        QTest::newRow("bad crc dropped, next kept")
            << QList<Chunk>{{0, bad}, {1, LiveRequest}} << QList<QByteArray>{LiveRequest};
        QTest::newRow("silence drops a partial frame")
            << QList<Chunk>{{0, IdentRequest.left(4)}, {50, IdentRequest.mid(4)}, {120, LiveRequest}}
            << QList<QByteArray>{LiveRequest};
        QTest::newRow("unknown function takes 8 octets")
            << QList<Chunk>{{0, withCrc(hex("01 06 00 01 00 03")) + IdentRequest}}
            << QList<QByteArray>{withCrc(hex("01 06 00 01 00 03")), IdentRequest};
    }

    void assembler()
    {
        QFETCH(QList<Chunk>, chunks);
        QFETCH(QList<QByteArray>, frames);
        RtuFrameAssembler assembler(20);
        QList<QByteArray> got;
        for (const Chunk &chunk : chunks)
            got += assembler.feed(chunk.bytes, chunk.atMs);
        QCOMPARE(got, frames);
    }

    // The factory contents must decode into valid selections and numbers,
    // or the pages that show them would start from nonsense.
    void factoryContentsAreValid()
    {
        const QByteArray s = m_sim.model().settingsArea();
        QCOMPARE(s.size(), 1544);
        auto b = [&](int at) { return int(quint8(s[at])); };
        auto finite = [&](int at) { return std::isfinite(floatAt(s, at)); };
        for (int n = 0; n < 4; ++n) {
            const int r = 40 * n;
            QVERIFY(b(r) <= 1 && b(r + 1) <= 21 && b(r + 2) <= 1 && b(r + 3) <= 1);
            QVERIFY(b(r + 4) <= 1 && b(r + 5) <= 1 && b(r + 28) <= 5 && b(r + 29) <= 9);
            QVERIFY(b(r + 30) <= 2 && (b(r + 31) & 15) <= 2 && (b(r + 31) >> 4) <= 2);
            for (int f : {6, 10, 14, 18, 32, 36})
                QVERIFY(finite(r + f));
            QVERIFY(std::abs(floatAt(s, r + 6)) <= 20);
            QVERIFY(b(r + 22) != 0);
        }
        QCOMPARE(b(0), 1);
        QCOMPARE(b(1), 14);
        QCOMPARE(s.mid(22, 6), QByteArray("\xEA\xCF\xE0\0\0\0", 6)); // "кПа"
        for (int m = 0; m < 4; ++m) {
            const int r = 160 + 298 * m;
            QVERIFY(b(r) <= 1 && b(r + 1) <= 4 && b(r + 9) <= 5 && b(r + 10) <= 2);
            for (int i = 20; i < 24; ++i)
                QVERIFY(b(r + i) <= 3);
            QVERIFY(b(r + 24) >= 1 && b(r + 24) <= 32);
            QVERIFY(finite(r + 12) && finite(r + 16));
            for (int f = 26; f < 298; f += 4)
                QVERIFY(finite(r + f));
        }
        QCOMPARE(b(160 + 24), 3); // М1 linearises through three points
        for (int n = 0; n < 4; ++n)
            QVERIFY(b(1352 + 2 * n) <= 1 && b(1353 + 2 * n) <= 4);
        for (int k = 0; k < 8; ++k) {
            const int r = 1360 + 12 * k;
            QVERIFY(b(r) <= 1 && b(r + 1) <= 7 && b(r + 2) <= 1 && b(r + 3) <= 1);
            QVERIFY(finite(r + 4) && finite(r + 8));
        }
        QVERIFY(b(1456) <= 1 && b(1457) <= 8 && b(1458) <= 12 && b(1459) <= 15 && finite(1460));
        QVERIFY(b(1472) <= 1 && b(1473) <= 3 && b(1474) <= 1 && b(1478) <= 7 && b(1479) <= 1);
        QVERIFY(b(1488) >= 1 && b(1489) <= 1 && b(1490) <= 4);
        QCOMPARE(s.mid(1492, 16), QByteArray("192.168.011.002\x13"));
        QCOMPARE(s.mid(1508, 16), QByteArray("255.255.000.000\x13"));
        QCOMPARE(s.mid(1540, 4), QByteArray("5000"));

        // Coefficients: 25 finite values per channel, no two alike anywhere.
        QList<float> seen;
        for (int n = 1; n <= 4; ++n) {
            const QByteArray c = m_sim.model().coefficients(n);
            for (int group : {0, 10, 20, 30, 42}) {
                for (int k = 0; k < 5; ++k) {
                    const float v = floatAt(c, 2 * group + 4 * k);
                    QVERIFY(std::isfinite(v));
                    QVERIFY2(!seen.contains(v), qPrintable(QString::number(v)));
                    seen.append(v);
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator_unix.moc"
