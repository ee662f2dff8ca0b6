// The serial channel over real pseudo-terminals: the test holds the master
// side and maps port numbers to slave paths, so every byte crosses the tty
// layer the way it does on a real port.
#include "link/af_com_port.h"
#include "link/af_sync_handover.h"

#include <QElapsedTimer>
#include <QMap>
#include <QTest>
#include <QThread>

#include <atomic>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace vexs;

namespace {

// One pseudo-terminal. The test keeps a slave descriptor open too, so the
// master never sees a hang-up and the test can look at the tty's settings.
class Pty
{
public:
    Pty()
    {
        termios raw {};
        cfmakeraw(&raw);
        cfsetspeed(&raw, B1200); // differs from everything the port sets
        char name[128] = {};
        if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
            m_master = m_slave = -1;
            return;
        }
        m_path = QString::fromLocal8Bit(name);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool valid() const { return m_master >= 0; }
    QString path() const { return m_path; }
    int slave() const { return m_slave; }

    void send(const QByteArray &bytes) const
    {
        QCOMPARE(::write(m_master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    }

    // Whatever the port sends, collected until `length` bytes came or time ran out.
    QByteArray receive(int length, int timeoutMs = 2000) const
    {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (got.size() < length && timer.elapsed() < timeoutMs) {
            pollfd pfd {m_master, POLLIN, 0};
            if (::poll(&pfd, 1, 20) > 0 && (pfd.revents & POLLIN)) {
                char buffer[4096];
                const ssize_t n = ::read(m_master, buffer, sizeof buffer);
                if (n > 0)
                    got.append(buffer, n);
            }
        }
        return got;
    }

    // Bytes waiting in the slave's input queue (the port's unread input).
    int waitingAtSlave() const
    {
        int n = 0;
        ::ioctl(m_slave, FIONREAD, &n);
        return n;
    }

    speed_t outputSpeed() const
    {
        const termios tio = settings();
        return cfgetospeed(&tio);
    }

    termios settings() const
    {
        termios tio {};
        ::tcgetattr(m_slave, &tio);
        return tio;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};

template <typename Error, typename Call>
QString errorText(Call call)
{
    try {
        call();
    } catch (const Error &e) {
        return QString::fromUtf8(e.what());
    } catch (const std::exception &e) {
        return QStringLiteral("wrong error type: ") + QString::fromUtf8(e.what());
    }
    return QStringLiteral("no error");
}

QByteArray binaryPayload(int length)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(static_cast<char>((i * 37 + 11) & 0xFF));
    return bytes;
}

// Reads until `length` bytes came back or time ran out, serving the event loop.
QByteArray readAll(TAfComPort &port, int length, int timeoutMs = 2000)
{
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < length && timer.elapsed() < timeoutMs) {
        got += port.ReadString();
        QTest::qWait(10);
    }
    return got;
}

double processCpuSeconds()
{
    timespec ts {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

Q_DECLARE_METATYPE(TAfBaudrate)

class TstSerialChannel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writeArrivesAtMaster_data();
    void writeArrivesAtMaster();
    void readStringReturnsMasterBytes();
    void closeDiscardsUnreadInput();
    void queueWrapsAround();
    void slowReaderThenPurge();
    void closedChannel();
    void openErrors_data();
    void openErrors();
    void secondPortCannotOpenOpenPort();
    void writeLargerThanFree_data();
    void writeLargerThanFree();
    void bufferSizesOnlyWhileClosed();
    void speedWithoutTermiosConstant_data();
    void speedWithoutTermiosConstant();
    void comNumberChangeWhileOpenReopens();
    void notificationsReachMainThread();
    void unreadBytesDoNotSpin();
    void closeWithPendingNotifications();
    void closeFromNotificationHandler();
    void handoverWithoutMainThread_data();
    void handoverWithoutMainThread();

private:
    std::unique_ptr<Pty> m_pty;
    std::unique_ptr<Pty> m_pty2;
    QMap<int, QString> m_paths;
    std::function<QString(int)> resolver()
    {
        return [this](int n) { return m_paths.value(n, QStringLiteral("/nonexistent/tty%1").arg(n)); };
    }
    std::unique_ptr<TAfComPort> makePort(int number = 3)
    {
        auto port = std::make_unique<TAfComPort>();
        port->SetDevicePathResolver(resolver());
        port->SetComNumber(number);
        return port;
    }
};

void TstSerialChannel::init()
{
    m_pty = std::make_unique<Pty>();
    m_pty2 = std::make_unique<Pty>();
    QVERIFY(m_pty->valid());
    QVERIFY(m_pty2->valid());
    m_paths.clear();
    m_paths[3] = m_pty->path();
    m_paths[4] = m_pty2->path();
}

void TstSerialChannel::cleanup()
{
    m_pty.reset();
    m_pty2.reset();
}

void TstSerialChannel::writeArrivesAtMaster_data()
{
    QTest::addColumn<TAfBaudrate>("rate");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("9600, request frame") << TAfBaudrate::br9600 << speed_t(B9600)
                                         << QByteArray::fromHex("0103000000204412");
    QTest::newRow("19200, zero bytes") << TAfBaudrate::br19200 << speed_t(B19200)
                                       << QByteArray("\0\0\x01\0", 4);
    QTest::newRow("38400, all byte values") << TAfBaudrate::br38400 << speed_t(B38400)
                                            << binaryPayload(256);
    QTest::newRow("57600, whole ring buffer") << TAfBaudrate::br57600 << speed_t(B57600)
                                              << binaryPayload(2048);
    QTest::newRow("115200, one byte") << TAfBaudrate::br115200 << speed_t(B115200)
                                      << QByteArray("\x7f", 1);
}

void TstSerialChannel::writeArrivesAtMaster()
{
    QFETCH(TAfBaudrate, rate);
    QFETCH(speed_t, speed);
    QFETCH(QByteArray, payload);

    const termios before = m_pty->settings();
    auto port = makePort();
    port->SetBaudRate(rate);
    port->Open();
    QVERIFY(port->Active());

    // Raw 8N1 without flow control at the chosen speed.
    const termios during = m_pty->settings();
    QCOMPARE(cfgetospeed(&during), speed);
    QCOMPARE(during.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(during.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(during.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QCOMPARE(during.c_iflag & (IXON | IXOFF | ICRNL), tcflag_t(0));
    QCOMPARE(during.c_oflag & OPOST, tcflag_t(0));
    // Held exclusively.
    QCOMPARE(::flock(m_pty->slave(), LOCK_EX | LOCK_NB), -1);

    port->WriteString(payload);
    QCOMPARE(m_pty->receive(payload.size()), payload);

    port->Close();
    QVERIFY(!port->Active());
    // Settings restored and the lock released.
    const termios after = m_pty->settings();
    QCOMPARE(cfgetospeed(&after), cfgetospeed(&before));
    QCOMPARE(after.c_cflag, before.c_cflag);
    QCOMPARE(::flock(m_pty->slave(), LOCK_EX | LOCK_NB), 0);
    ::flock(m_pty->slave(), LOCK_UN);
}

void TstSerialChannel::readStringReturnsMasterBytes()
{
    auto port = makePort();
    port->Open();
    QCOMPARE(port->ReadString(), QByteArray());

    const QByteArray reply = QByteArray::fromHex("010304000000") + QByteArray("\0\r\n\x11\x13", 5);
    m_pty->send(reply);
    QCOMPARE(readAll(*port, reply.size()), reply);
    // Taken, not copied.
    QCOMPARE(port->ReadString(), QByteArray());

    // A second burst after the first was read.
    const QByteArray more = binaryPayload(1000);
    m_pty->send(more);
    QCOMPARE(readAll(*port, more.size()), more);
}

void TstSerialChannel::closeDiscardsUnreadInput()
{
    auto port = makePort();
    port->Open();
    m_pty->send("late reply");
    QTRY_COMPARE(m_pty->waitingAtSlave(), 10);
    port->Close();
    QCOMPARE(m_pty->waitingAtSlave(), 0);

    // Bytes that arrive while closed are not taken by the next opening either.
    m_pty->send("noise");
    QTRY_COMPARE(m_pty->waitingAtSlave(), 5);
    port->Open();
    QTest::qWait(50);
    QCOMPARE(port->ReadString(), QByteArray());

    m_pty->send("fresh");
    QCOMPARE(readAll(*port, 5), QByteArray("fresh"));
}

// Runs of a small ring buffer cross its end again and again.
void TstSerialChannel::queueWrapsAround()
{
    auto port = makePort();
    int drained = 0;
    port->OnOutBufFree = [&] { ++drained; };
    port->SetOutBufSize(64);
    port->Open();
    QByteArray sent;
    QByteArray received;
    for (int round = 0; round < 12; ++round) {
        const QByteArray chunk = binaryPayload(40 + round).right(40);
        port->WriteString(chunk);
        sent += chunk;
        received += m_pty->receive(40);
        QTRY_COMPARE(drained, round + 1);
    }
    QCOMPARE(received, sent);
}

// While nobody reads the master the tty fills up and the write thread has to
// wait for room; PurgeTx then throws away what is still queued.
void TstSerialChannel::slowReaderThenPurge()
{
    auto port = makePort();
    port->Open();
    const QByteArray chunk = binaryPayload(1024);
    QByteArray queued;
    int refusedInARow = 0;
    QElapsedTimer timer;
    timer.start();
    while (refusedInARow < 50 && timer.elapsed() < 10000) {
        try {
            port->WriteString(chunk);
            queued += chunk;
            refusedInARow = 0;
        } catch (const EAfComPortError &) {
            ++refusedInARow;
            QTest::qWait(2);
        }
    }
    QVERIFY2(refusedInARow == 50, "the line never filled up");
    QVERIFY(queued.size() > 4096);
    const QByteArray full = binaryPayload(port->OutBufSize());
    QVERIFY_THROWS_EXCEPTION(EAfComPortError, port->WriteString(full));

    port->PurgeTx();
    port->WriteString(full); // the whole ring is free again
    const QByteArray received = m_pty->receive(queued.size() + full.size(), 1500);
    QVERIFY(received.endsWith(full));
    // What did get through is a prefix of what was queued, in order.
    const QByteArray before = received.left(received.size() - full.size());
    QVERIFY(before.size() < queued.size());
    QCOMPARE(before, queued.left(before.size()));
}

// Everything the exchange may call around a closed channel is harmless and
// touches no device; settings made meanwhile apply at the next opening.
void TstSerialChannel::closedChannel()
{
    int resolved = 0;
    TAfComPort port;
    port.SetDevicePathResolver([&](int n) {
        ++resolved;
        return m_paths.value(n);
    });
    port.SetComNumber(3);
    port.Close();
    port.PurgeRx();
    port.PurgeTx();
    QCOMPARE(port.ReadString(), QByteArray());
    port.SetBaudRate(TAfBaudrate::br19200);
    QCOMPARE(port.BaudRate(), TAfBaudrate::br19200);
    QCOMPARE(resolved, 0);
    QCOMPARE(m_pty->outputSpeed(), speed_t(B1200));
    QVERIFY(!port.Active());
    QCOMPARE(errorText<EAfComPortError>([&] { port.WriteString("x"); }),
             QStringLiteral("AfComPort1 - Write data error [requested: 1, free: 0] "));

    port.Open();
    QCOMPARE(resolved, 1);
    QCOMPARE(m_pty->outputSpeed(), speed_t(B19200));
    // Open on an open port does nothing.
    port.Open();
    QCOMPARE(resolved, 1);
    QVERIFY(port.Active());
}

void TstSerialChannel::openErrors_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");

    QTest::newRow("port 0") << 0 << "" << "Invalid port number (COM0)";
    QTest::newRow("negative port") << -2 << "" << "Invalid port number (COM-2)";
    QTest::newRow("no such device") << 7 << "" << "Invalid port number (COM7)";
    QTest::newRow("no path mapped") << 8 << "empty" << "Invalid port number (COM8)";
    QTest::newRow("locked by another program") << 3 << "flock" << "Can't open device COM3";
    QTest::newRow("regular file") << 9 << "file" << "Can't open device COM9";
    QTest::newRow("directory") << 9 << "directory" << "Can't open device COM9";
}

void TstSerialChannel::openErrors()
{
    QFETCH(int, number);
    QFETCH(QString, setup);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (setup == QLatin1String("empty")) {
        m_paths[8] = QString();
    } else if (setup == QLatin1String("flock")) {
        QCOMPARE(::flock(m_pty->slave(), LOCK_EX | LOCK_NB), 0);
    } else if (setup == QLatin1String("file")) {
        QFile file(dir.filePath(QStringLiteral("notatty")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        m_paths[9] = file.fileName();
    } else if (setup == QLatin1String("directory")) {
        m_paths[9] = dir.path();
    }

    auto port = makePort(number);
    QCOMPARE(errorText<EAfComPortCoreError>([&] { port->Open(); }), message);
    QVERIFY(!port->Active());
    QCOMPARE(port->ReadString(), QByteArray());
    port->Close();

    if (setup == QLatin1String("flock")) {
        // The holder keeps its port as it was: not left exclusive, not changed.
        QCOMPARE(m_pty->outputSpeed(), speed_t(B1200));
        ::flock(m_pty->slave(), LOCK_UN);
        port->Open();
        QVERIFY(port->Active());
    }
}

void TstSerialChannel::secondPortCannotOpenOpenPort()
{
    auto first = makePort();
    auto second = makePort();
    first->Open();
    QCOMPARE(errorText<EAfComPortCoreError>([&] { second->Open(); }),
             QStringLiteral("Can't open device COM3"));
    QVERIFY(!second->Active());

    // The failed attempt did not disturb the first one.
    first->WriteString("still mine");
    QCOMPARE(m_pty->receive(10), QByteArray("still mine"));

    first->Close();
    second->Open();
    QVERIFY(second->Active());
}

void TstSerialChannel::writeLargerThanFree_data()
{
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("length");

    QTest::newRow("default buffer, one byte too many") << 2048 << 2049;
    QTest::newRow("small buffer, one byte too many") << 16 << 17;
    QTest::newRow("small buffer, far too much") << 16 << 5000;
}

void TstSerialChannel::writeLargerThanFree()
{
    QFETCH(int, bufferSize);
    QFETCH(int, length);

    auto port = makePort();
    if (bufferSize != port->OutBufSize())
        port->SetOutBufSize(bufferSize);
    port->Open();
    QCOMPARE(errorText<EAfComPortError>([&] { port->WriteString(binaryPayload(length)); }),
             QStringLiteral("AfComPort1 - Write data error [requested: %1, free: %2] ")
                 .arg(length).arg(bufferSize));

    // Nothing of it was queued: the next write arrives alone and whole.
    const QByteArray fits = binaryPayload(bufferSize).right(bufferSize / 2);
    port->WriteString(fits);
    QCOMPARE(m_pty->receive(length + bufferSize, 500), fits);
}

void TstSerialChannel::bufferSizesOnlyWhileClosed()
{
    auto port = makePort();
    port->Open();
    const QString expected = QStringLiteral("AfComPort1 - Port is not closed ");
    QCOMPARE(errorText<EAfComPortError>([&] { port->SetOutBufSize(100); }), expected);
    QCOMPARE(errorText<EAfComPortError>([&] { port->SetInBufSize(100); }), expected);
    QCOMPARE(port->OutBufSize(), 2048);
    QCOMPARE(port->InBufSize(), 4096);
    QVERIFY(port->Active());

    port->Close();
    port->SetOutBufSize(0);
    QCOMPARE(errorText<EAfComPortCoreError>([&] { port->Open(); }),
             QStringLiteral("Error initializing buffers"));
    QVERIFY(!port->Active());
    QCOMPARE(::flock(m_pty->slave(), LOCK_EX | LOCK_NB), 0);
    ::flock(m_pty->slave(), LOCK_UN);
}

void TstSerialChannel::speedWithoutTermiosConstant_data()
{
    QTest::addColumn<TAfBaudrate>("rate");
    QTest::newRow("14400") << TAfBaudrate::br14400;
    QTest::newRow("56000") << TAfBaudrate::br56000;
    QTest::newRow("128000") << TAfBaudrate::br128000;
    QTest::newRow("256000") << TAfBaudrate::br256000;
}

void TstSerialChannel::speedWithoutTermiosConstant()
{
    QFETCH(TAfBaudrate, rate);
    const QString refused = QStringLiteral("Error setting parameters from DCB");

    // Chosen while closed: refused at the opening, which leaves nothing held.
    auto port = makePort();
    port->SetBaudRate(rate);
    QCOMPARE(errorText<EAfComPortCoreError>([&] { port->Open(); }), refused);
    QVERIFY(!port->Active());
    QCOMPARE(m_pty->outputSpeed(), speed_t(B1200));
    QCOMPARE(::flock(m_pty->slave(), LOCK_EX | LOCK_NB), 0);
    ::flock(m_pty->slave(), LOCK_UN);

    // Chosen while open: refused at once, the previous speed stays.
    port->SetBaudRate(TAfBaudrate::br57600);
    port->Open();
    QCOMPARE(errorText<EAfComPortCoreError>([&] { port->SetBaudRate(rate); }), refused);
    QCOMPARE(port->BaudRate(), TAfBaudrate::br57600);
    QCOMPARE(m_pty->outputSpeed(), speed_t(B57600));
    port->WriteString("ok");
    QCOMPARE(m_pty->receive(2), QByteArray("ok"));

    // A user speed that termios knows is accepted.
    port->SetUserBaudRate(230400);
    QCOMPARE(port->BaudRate(), TAfBaudrate::brUser);
    QCOMPARE(m_pty->outputSpeed(), speed_t(B230400));
}

void TstSerialChannel::comNumberChangeWhileOpenReopens()
{
    int opened = 0;
    auto port = makePort(3);
    port->OnPortOpen = [&] { ++opened; };
    port->Open();
    port->SetComNumber(4);
    QCOMPARE(opened, 2);
    QVERIFY(port->Active());
    QCOMPARE(port->ComNumber(), 4);

    // The first port is free again, the second one is in use.
    QCOMPARE(::flock(m_pty->slave(), LOCK_EX | LOCK_NB), 0);
    ::flock(m_pty->slave(), LOCK_UN);
    QCOMPARE(::flock(m_pty2->slave(), LOCK_EX | LOCK_NB), -1);
    port->WriteString("two");
    QCOMPARE(m_pty2->receive(3), QByteArray("two"));
    QCOMPARE(m_pty->receive(3, 100), QByteArray());

    // Reopening on a number without a device leaves the port closed.
    QCOMPARE(errorText<EAfComPortCoreError>([&] { port->SetComNumber(5); }),
             QStringLiteral("Invalid port number (COM5)"));
    QVERIFY(!port->Active());
    QCOMPARE(::flock(m_pty2->slave(), LOCK_EX | LOCK_NB), 0);
    ::flock(m_pty2->slave(), LOCK_UN);
}

void TstSerialChannel::notificationsReachMainThread()
{
    auto port = makePort();
    QThread *const mainThread = QThread::currentThread();
    QList<int> counts;
    int outBufFree = 0;
    bool offThread = false;
    port->OnDataRecived = [&](int count) {
        offThread |= QThread::currentThread() != mainThread;
        counts.append(count);
    };
    port->OnOutBufFree = [&] {
        offThread |= QThread::currentThread() != mainThread;
        ++outBufFree;
    };
    port->Open();

    port->WriteString("request");
    QCOMPARE(m_pty->receive(7), QByteArray("request"));
    QTRY_COMPARE(outBufFree, 1);

    m_pty->send("reply");
    QTRY_VERIFY(!counts.isEmpty());
    QCOMPARE(counts.first(), 5);
    QVERIFY(!offThread);
    QCOMPARE(port->ReadString(), QByteArray("reply"));

    // Nothing is reported after closing, even for bytes that arrive later.
    port->Close();
    const int seen = counts.size();
    m_pty->send("after");
    QTest::qWait(450);
    QCOMPARE(counts.size(), seen);
}

// Unread input must be reported on the 200 ms tick, not by a busy loop.
void TstSerialChannel::unreadBytesDoNotSpin()
{
    auto port = makePort();
    int reports = 0;
    port->OnDataRecived = [&](int) { ++reports; };
    port->Open();
    m_pty->send("unread bytes");
    QTRY_VERIFY(reports > 0);

    const double cpuBefore = processCpuSeconds();
    reports = 0;
    QTest::qWait(1000);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    QVERIFY2(reports >= 3 && reports <= 8, qPrintable(QString::number(reports)));
    QVERIFY2(cpuUsed < 0.3, qPrintable(QString::number(cpuUsed)));
    QCOMPARE(port->ReadString(), QByteArray("unread bytes"));
}

// The event thread blocks in the hand-over while the main thread does not
// serve events; Close must free it instead of waiting for the time-out.
void TstSerialChannel::closeWithPendingNotifications()
{
    auto port = makePort();
    int delivered = 0;
    port->OnDataRecived = [&](int) { ++delivered; };
    port->OnOutBufFree = [&] { ++delivered; };

    qint64 slowest = 0;
    QElapsedTimer total;
    total.start();
    for (int round = 0; round < 50; ++round) {
        port->Open();
        port->WriteString(binaryPayload(64));
        m_pty->send(binaryPayload(32));
        QThread::msleep(30); // no event processing: notifications queue up
        QElapsedTimer timer;
        timer.start();
        port->Close();
        slowest = std::max(slowest, timer.elapsed());
        QCOMPARE(m_pty->receive(64, 1000).size(), 64);
    }
    QVERIFY2(slowest < 1000, qPrintable(QString::number(slowest)));
    QVERIFY2(total.elapsed() < 30000, qPrintable(QString::number(total.elapsed())));
    // Requests left in the event queue from closed sessions are dropped.
    const int before = delivered;
    QTest::qWait(50);
    QCOMPARE(delivered, before);
}

void TstSerialChannel::closeFromNotificationHandler()
{
    auto port = makePort();
    int closed = 0;
    qint64 closeMs = -1;
    port->OnPortClose = [&] { ++closed; };
    port->OnDataRecived = [&](int) {
        QElapsedTimer timer;
        timer.start();
        port->Close();
        closeMs = timer.elapsed();
    };
    port->Open();
    m_pty->send("x");
    QTRY_COMPARE(closed, 1);
    // The event thread waiting for this very call must not hold Close up.
    QVERIFY2(closeMs < 1000, qPrintable(QString::number(closeMs)));
    QVERIFY(!port->Active());
    QCOMPARE(::flock(m_pty->slave(), LOCK_EX | LOCK_NB), 0);
    ::flock(m_pty->slave(), LOCK_UN);
}

void TstSerialChannel::handoverWithoutMainThread_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("maxMs");

    using R = TAfSafeSync::CallResult;
    QTest::newRow("slot disabled") << "disabled" << int(R::Dropped) << 100;
    QTest::newRow("unknown id") << "unknown" << int(R::Failed) << 100;
    QTest::newRow("main thread busy") << "busy" << int(R::TimedOut) << 1000;
    QTest::newRow("disabled while waiting") << "disable later" << int(R::Dropped) << 1000;
    QTest::newRow("served") << "served" << int(R::Done) << 1000;
}

void TstSerialChannel::handoverWithoutMainThread()
{
    QFETCH(QString, situation);
    QFETCH(int, result);
    QFETCH(int, maxMs);

    TAfSafeSync &sync = TAfSafeSync::Instance();
    std::atomic<int> ran {0};
    quint32 id = sync.Register([&](int kind, quint32 data) {
        if (kind == 7 && data == 42)
            ++ran;
    });
    QVERIFY(id != 0);
    sync.SetEnabled(id, situation != QLatin1String("disabled"));
    const quint32 target = situation == QLatin1String("unknown") ? id + 1000 : id;
    const int timeoutMs = situation == QLatin1String("busy") ? 300 : 5000;

    std::atomic<int> outcome {-1};
    std::atomic<qint64> took {0};
    std::thread worker([&] {
        QElapsedTimer timer;
        timer.start();
        outcome = int(sync.Call(target, timeoutMs, 7, 42));
        took = timer.elapsed();
    });
    if (situation == QLatin1String("disable later")) {
        QThread::msleep(100);
        sync.SetEnabled(id, false);
    } else if (situation == QLatin1String("served")) {
        QTRY_VERIFY(outcome.load() >= 0);
    } else {
        QThread::msleep(400); // not serving events
    }
    worker.join();
    QCOMPARE(outcome.load(), result);
    QVERIFY2(took.load() <= maxMs, qPrintable(QString::number(took.load())));

    // A request the worker gave up on never runs afterwards.
    QTest::qWait(20);
    QCOMPARE(ran.load(), situation == QLatin1String("served") ? 1 : 0);
    sync.Unregister(id);
}

QTEST_MAIN(TstSerialChannel)
#include "tst_serial_channel.moc"
