#include "link/af_com_port_core.h"

#include "link/af_circular_buffer.h"
#include "link/port_map.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <future>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vexs {

Q_LOGGING_CATEGORY(lcLinkSerial, "vexs.link.serial", QtWarningMsg)

QString errnoText(int error)
{
    return QStringLiteral("%1 (errno %2)")
        .arg(QString::fromStdString(std::generic_category().message(error)))
        .arg(error);
}

namespace {

// open() failures that mean "no such port" rather than "port unusable".
bool isMissingDevice(int error)
{
    return error == ENOENT || error == ENXIO || error == ENODEV;
}

// Pseudo-terminals and some adapters have no modem lines or counters.
bool isUnsupportedIoctl(int error)
{
    return error == ENOTTY || error == EINVAL;
}

void signalFd(int fd)
{
    if (fd < 0)
        return;
    const quint64 one = 1;
    ssize_t result;
    do {
        result = ::write(fd, &one, sizeof one);
    } while (result < 0 && errno == EINTR);
}

void drainFd(int fd)
{
    quint64 value;
    ssize_t result;
    do {
        result = ::read(fd, &value, sizeof value);
    } while (result < 0 && errno == EINTR);
}

struct SpeedEntry {
    int bitsPerSecond;
    speed_t constant;
};

constexpr SpeedEntry speedTable[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200},
    {300, B300}, {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400},
    {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
    {500000, B500000}, {576000, B576000}, {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

} // namespace

namespace termios_setup {

void makeRaw(termios &tio)
{
    tio.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL
                             | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~tcflag_t(OPOST);
    tio.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // CLOCAL: a dropped carrier must not hang up the line.
    tio.c_cflag |= CREAD | CLOCAL;
    // Reads return at once with whatever is waiting.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

bool setSpeed(termios &tio, int bitsPerSecond)
{
    for (const SpeedEntry &entry : speedTable) {
        if (entry.bitsPerSecond == bitsPerSecond)
            return cfsetispeed(&tio, entry.constant) == 0 && cfsetospeed(&tio, entry.constant) == 0;
    }
    return false;
}

bool setDataBits(termios &tio, TAfDatabits bits)
{
    tcflag_t size;
    switch (bits) {
    case TAfDatabits::db5: size = CS5; break;
    case TAfDatabits::db6: size = CS6; break;
    case TAfDatabits::db7: size = CS7; break;
    case TAfDatabits::db8: size = CS8; break;
    default: return false; // termios has no 4-bit characters
    }
    tio.c_cflag = (tio.c_cflag & ~tcflag_t(CSIZE)) | size;
    return true;
}

void setParity(termios &tio, TAfParity parity)
{
    tio.c_cflag &= ~tcflag_t(PARENB | PARODD | CMSPAR);
    switch (parity) {
    case TAfParity::paNone: break;
    case TAfParity::paOdd: tio.c_cflag |= PARENB | PARODD; break;
    case TAfParity::paEven: tio.c_cflag |= PARENB; break;
    case TAfParity::paMark: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case TAfParity::paSpace: tio.c_cflag |= PARENB | CMSPAR; break;
    }
}

void setStopBits(termios &tio, TAfStopbits bits)
{
    // termios knows one or "more"; with 5 data bits the UART makes the
    // latter 1.5 stop bits, otherwise 2.
    if (bits == TAfStopbits::sbOne)
        tio.c_cflag &= ~tcflag_t(CSTOPB);
    else
        tio.c_cflag |= CSTOPB;
}

bool setFlowControl(termios &tio, TAfFlowControl flow, char xon, char xoff)
{
    tio.c_cflag &= ~tcflag_t(CRTSCTS);
    tio.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    tio.c_cc[VSTART] = static_cast<cc_t>(xon);
    tio.c_cc[VSTOP] = static_cast<cc_t>(xoff);
    switch (flow) {
    case TAfFlowControl::fwNone: return true;
    case TAfFlowControl::fwXOnXOff: tio.c_iflag |= IXON | IXOFF; return true;
    case TAfFlowControl::fwRtsCts: tio.c_cflag |= CRTSCTS; return true;
    case TAfFlowControl::fwDtrDsr: return false; // no DTR/DSR handshake in termios
    }
    return false;
}

bool build(const termios &base, const TAfLineSettings &settings, termios *out)
{
    termios tio = base;
    makeRaw(tio);
    if (!setSpeed(tio, settings.baudRate) || !setDataBits(tio, settings.dataBits))
        return false;
    setParity(tio, settings.parity);
    setStopBits(tio, settings.stopBits);
    if (!setFlowControl(tio, settings.flowControl, settings.xonChar, settings.xoffChar))
        return false;
    *out = tio;
    return true;
}

} // namespace termios_setup

// ---------------------------------------------------------------------------

// A port thread: woken through an eventfd, stopped by Terminate(), and it
// signals once that it runs so that opening can wait for it.
class TAfComPortCoreThread
{
public:
    TAfComPortCoreThread(TAfComPortCore &core, int wakeFd)
        : m_core(core), m_wakeFd(wakeFd)
    {
    }
    virtual ~TAfComPortCoreThread() = default;

    bool Start(int timeoutMs)
    {
        std::future<void> started = m_started.get_future();
        try {
            m_thread = std::thread([this] { run(); });
        } catch (const std::system_error &e) {
            qCWarning(lcLinkSerial) << "cannot start a port thread:" << e.what();
            return false;
        }
        m_running = started.wait_for(std::chrono::milliseconds(timeoutMs))
                    == std::future_status::ready;
        return m_running;
    }

    bool Running() const { return m_running; }

    void Terminate()
    {
        m_terminate = true;
        signalFd(m_wakeFd);
        if (m_thread.joinable())
            m_thread.join();
    }

protected:
    virtual void Execute() = 0;
    void SignalStarted() { m_started.set_value(); }
    bool Terminated() const { return m_terminate.load(); }
    void Wake() { signalFd(m_wakeFd); }

    TAfComPortCore &m_core;
    const int m_wakeFd;

private:
    void run()
    {
        try {
            Execute();
        } catch (const std::exception &e) {
            m_core.ReportThreadError(QString::fromUtf8(e.what()));
        }
    }

    std::thread m_thread;
    std::promise<void> m_started;
    std::atomic<bool> m_terminate {false};
    bool m_running = false;
};

// Sends what WriteString queued in the ring buffer, one contiguous run at a
// time, so that the owner never blocks on a slow line.
class TAfComPortWriteThread final : public TAfComPortCoreThread
{
public:
    TAfComPortWriteThread(TAfComPortCore &core, int wakeFd, std::unique_ptr<TAfCircularBuffer> buffer)
        : TAfComPortCoreThread(core, wakeFd), m_buffer(std::move(buffer))
    {
    }
    ~TAfComPortWriteThread() override { Terminate(); }

    bool Queue(const char *data, int length, int *freeBytes)
    {
        {
            std::lock_guard lock(m_core.WriteLock());
            if (!m_buffer->Put(data, length)) {
                *freeBytes = m_buffer->Free();
                return false;
            }
        }
        m_dataAvailable = true;
        Wake();
        return true;
    }

    // The thread itself drops the queue so that it is never in the middle of
    // sending a run that is being discarded.
    bool Purge(int timeoutMs)
    {
        quint64 ticket;
        {
            std::lock_guard lock(m_ackMutex);
            ticket = ++m_purgeRequested;
        }
        m_purgeRequest = true;
        Wake();
        bool acknowledged;
        {
            std::unique_lock lock(m_ackMutex);
            acknowledged = m_ackChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                                 [&] { return m_purgeDone >= ticket; });
        }
        if (!acknowledged) {
            qCWarning(lcLinkSerial) << "write thread did not acknowledge the purge in time";
            discard();
        }
        return acknowledged;
    }

private:
    void discard()
    {
        {
            std::lock_guard lock(m_core.WriteLock());
            m_buffer->Clear();
            ++m_generation;
            m_dataAvailable = false;
        }
        ::tcflush(m_core.Fd(), TCOFLUSH);
    }

    void Execute() override
    {
        SignalStarted();
        while (!Terminated()) {
            pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_core.Fd(), POLLOUT, 0}};
            const nfds_t count = m_waitWritable ? 2 : 1;
            if (::poll(fds, count, -1) < 0) {
                if (errno == EINTR)
                    continue;
                m_core.ReportThreadError(QStringLiteral("Write thread wait failed: %1").arg(errnoText(errno)));
                return;
            }
            if (fds[0].revents & POLLIN)
                drainFd(m_wakeFd);
            if (Terminated())
                break;
            if (m_purgeRequest.exchange(false)) {
                m_waitWritable = false;
                discard();
                {
                    std::lock_guard lock(m_ackMutex);
                    m_purgeDone = m_purgeRequested;
                }
                m_ackChanged.notify_all();
            }
            const bool writable = count == 2 && fds[1].revents != 0;
            if (writable)
                m_waitWritable = false;
            if (m_dataAvailable.exchange(false) || writable)
                sendPending();
        }
    }

    void sendPending()
    {
        bool sent = false;
        while (!Terminated() && !m_purgeRequest.load()) {
            const char *run;
            int length;
            quint64 generation;
            {
                std::lock_guard lock(m_core.WriteLock());
                length = m_buffer->ContiguousReadable();
                run = m_buffer->ReadPointer();
                generation = m_generation;
            }
            if (length == 0) {
                if (sent)
                    m_core.SignalOutputEmpty();
                return;
            }
            // Put() only fills the free part, so the run stays intact
            // while it is written outside the lock.
            const ssize_t written = ::write(m_core.Fd(), run, static_cast<size_t>(length));
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    m_waitWritable = true;
                    return;
                }
                // The bytes stay queued; the next WriteString tries again.
                m_core.ReportThreadError(QStringLiteral("Write error on COM%1: %2")
                                             .arg(m_core.Number()).arg(errnoText(errno)));
                return;
            }
            sent = true;
            std::lock_guard lock(m_core.WriteLock());
            if (generation == m_generation)
                m_buffer->Remove(static_cast<int>(written));
        }
    }

    std::unique_ptr<TAfCircularBuffer> m_buffer; // guarded by the core's write lock
    quint64 m_generation = 0;                    // bumped by every discard
    std::atomic<bool> m_dataAvailable {false};
    std::atomic<bool> m_purgeRequest {false};
    bool m_waitWritable = false; // the last write found the driver queue full
    std::mutex m_ackMutex;
    std::condition_variable m_ackChanged;
    quint64 m_purgeRequested = 0;
    quint64 m_purgeDone = 0;
};

// Watches the line and tells the owner about received bytes, written-out
// output, modem line changes and line errors; wakes at least every 200 ms.
class TAfComPortEventThread final : public TAfComPortCoreThread
{
public:
    using TAfComPortCoreThread::TAfComPortCoreThread;
    ~TAfComPortEventThread() override { Terminate(); }

private:
    void Execute() override
    {
        m_core.TakeOutputEmpty();
        m_modemSupported = readModemLines(&m_modemLines);
        SignalStarted();
        while (!Terminated()) {
            const int waiting = m_core.WaitingCount();
            pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_core.Fd(), POLLIN, 0}};
            // POLLIN stays set while bytes wait unread, so watching it then
            // would spin; the 200 ms tick reports those bytes instead.
            const nfds_t count = (!m_hungUp && waiting == 0) ? 2 : 1;
            const int ready = ::poll(fds, count, TAfComPortCore::EventPollMs);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                m_core.ReportThreadError(QStringLiteral("Event thread wait failed: %1").arg(errnoText(errno)));
                return;
            }
            if (fds[0].revents & POLLIN)
                drainFd(m_wakeFd);
            if (Terminated())
                break;

            quint32 mask = 0;
            if (count == 2 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
                // Reported once; afterwards only the timed status checks run.
                m_hungUp = true;
                m_core.ReportThreadError(QStringLiteral("Line hung up on COM%1").arg(m_core.Number()));
            } else if (count == 2 && (fds[1].revents & POLLIN) && m_core.WaitingCount() > 0) {
                mask |= TAfComPort::EvRxChar;
            }
            mask |= modemChanges();
            if (m_core.UpdateLineErrors())
                mask |= TAfComPort::EvErr;
            if (mask)
                m_core.NotifyOwner(1, mask);
            if (m_core.TakeOutputEmpty())
                m_core.NotifyOwner(0, 0);
            if (ready == 0) {
                const int unread = m_core.WaitingCount();
                if (unread > 0)
                    m_core.NotifyOwner(2, static_cast<quint32>(unread));
            }
        }
    }

    bool readModemLines(int *lines)
    {
        if (::ioctl(m_core.Fd(), TIOCMGET, lines) == 0)
            return true;
        if (!isUnsupportedIoctl(errno))
            qCDebug(lcLinkSerial) << "TIOCMGET failed:" << errnoText(errno);
        return false;
    }

    quint32 modemChanges()
    {
        if (!m_modemSupported)
            return 0;
        int now = 0;
        if (!readModemLines(&now)) {
            m_modemSupported = false;
            return 0;
        }
        const int changed = now ^ m_modemLines;
        m_modemLines = now;
        quint32 mask = 0;
        if (changed & TIOCM_CTS)
            mask |= TAfComPort::EvCts;
        if (changed & TIOCM_DSR)
            mask |= TAfComPort::EvDsr;
        if (changed & TIOCM_CAR)
            mask |= TAfComPort::EvRlsd;
        if (changed & now & TIOCM_RNG)
            mask |= TAfComPort::EvRing;
        return mask;
    }

    bool m_modemSupported = false;
    int m_modemLines = 0;
    bool m_hungUp = false;
};

// ---------------------------------------------------------------------------

TAfComPortCore::TAfComPortCore()
    : m_resolver([](int number) { return serialDevicePath(number, defaultConfigPath()); })
{
}

TAfComPortCore::~TAfComPortCore()
{
    Close();
}

void TAfComPortCore::SetDevicePathResolver(std::function<QString(int)> resolver)
{
    if (resolver)
        m_resolver = std::move(resolver);
    else
        m_resolver = [](int number) { return serialDevicePath(number, defaultConfigPath()); };
}

QString TAfComPortCore::DevicePath(int number) const
{
    return m_resolver(number);
}

void TAfComPortCore::SetNotify(Notify notify)
{
    m_notify = std::move(notify);
}

void TAfComPortCore::SetQueueSizes(int inSize, int outSize)
{
    m_inQueueSize = inSize;
    m_outQueueSize = outSize;
}

void TAfComPortCore::fail(const QString &message)
{
    throw EAfComPortCoreError(message.toStdString());
}

void TAfComPortCore::Open(int number)
{
    if (m_active || m_fd >= 0)
        return;
    m_number = number;
    if (number <= 0)
        fail(QStringLiteral("Invalid port number (COM%1)").arg(number));

    const QString path = DevicePath(number);
    const QByteArray nativePath = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(nativePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        qCDebug(lcLinkSerial) << "open" << path << "failed:" << errnoText(error);
        if (isMissingDevice(error))
            fail(QStringLiteral("Invalid port number (COM%1)").arg(number));
        fail(QStringLiteral("Can't open device COM%1").arg(number));
    }
    m_fd = fd;

    try {
        const QString cantOpen = QStringLiteral("Can't open device COM%1").arg(number);
        // The lock comes first: failing on a port held by another program
        // must not leave that program's tty in exclusive mode. TIOCEXCL does
        // not stop root, the lock does.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            qCDebug(lcLinkSerial) << path << "is locked:" << errnoText(errno);
            fail(cantOpen);
        }
        if (::ioctl(fd, TIOCEXCL) != 0) {
            qCDebug(lcLinkSerial) << "TIOCEXCL on" << path << "failed:" << errnoText(errno);
            fail(cantOpen);
        }
        m_exclusiveSet = true;
        if (::tcgetattr(fd, &m_savedTermios) != 0) {
            qCDebug(lcLinkSerial) << path << "is not a terminal:" << errnoText(errno);
            fail(cantOpen);
        }
        m_haveSavedTermios = true;

        // Reads and writes never block: the descriptor is non-blocking and
        // VMIN = VTIME = 0 (set with the line settings below).
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || (!(flags & O_NONBLOCK) && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0))
            fail(QStringLiteral("Error setting timeouts"));

        std::unique_ptr<TAfCircularBuffer> ring;
        if (m_inQueueSize < 1 || m_outQueueSize < 1)
            fail(QStringLiteral("Error initializing buffers"));
        try {
            ring = std::make_unique<TAfCircularBuffer>(m_outQueueSize);
        } catch (const std::bad_alloc &) {
            fail(QStringLiteral("Error initializing buffers"));
        }

        // What the threads wait on besides the device.
        m_writeWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        m_eventWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_writeWake < 0 || m_eventWake < 0)
            fail(QStringLiteral(" Error setting EventMask"));

        termios tio;
        if (!termios_setup::build(m_savedTermios, m_settings, &tio)
            || ::tcsetattr(fd, TCSANOW, &tio) != 0) {
            qCDebug(lcLinkSerial) << "line settings refused for" << path << errnoText(errno);
            fail(QStringLiteral("Error setting parameters from DCB"));
        }
        ::tcflush(fd, TCIOFLUSH);
        applyModemLines(m_settings.dtr, m_settings.rts);

        m_lineErrors = 0;
        {
            std::lock_guard lock(m_readLock);
            m_icountSupported = true;
            updateLineErrorsLocked();
            m_lineErrors = 0;
        }
        m_outputEmpty = false;

        m_writeThread = std::make_unique<TAfComPortWriteThread>(*this, m_writeWake, std::move(ring));
        if (!m_writeThread->Start(ThreadStartTimeoutMs))
            fail(QStringLiteral("Error creating threads"));
        m_open = true;
        m_eventThread = std::make_unique<TAfComPortEventThread>(*this, m_eventWake);
        if (!m_eventThread->Start(ThreadStartTimeoutMs))
            fail(QStringLiteral("Error creating threads"));
        m_active = true;
        qCDebug(lcLinkSerial).noquote() << QStringLiteral("opened COM%1 as %2 at %3 bit/s")
                                                  .arg(number).arg(path).arg(m_settings.baudRate);
    } catch (...) {
        closeEverything();
        throw;
    }
}

void TAfComPortCore::Close()
{
    if (m_fd < 0)
        return;
    closeEverything();
    qCDebug(lcLinkSerial).noquote() << QStringLiteral("closed COM%1").arg(m_number);
}

void TAfComPortCore::stopThreads()
{
    if (m_writeThread) {
        if (m_writeThread->Running())
            m_writeThread->Purge(PurgeTimeoutMs);
        m_writeThread->Terminate();
        m_writeThread.reset();
    }
    if (m_eventThread) {
        m_eventThread->Terminate();
        m_eventThread.reset();
    }
}

void TAfComPortCore::closeEverything()
{
    m_open = false;
    if (m_fd >= 0) {
        std::lock_guard lock(m_readLock);
        ::tcflush(m_fd, TCIOFLUSH);
    }
    // Not under the read lock: the event thread takes it for status queries.
    stopThreads();
    {
        std::lock_guard lock(m_readLock);
        if (m_fd >= 0) {
            if (m_haveSavedTermios)
                ::tcsetattr(m_fd, TCSANOW, &m_savedTermios);
            if (m_exclusiveSet)
                ::ioctl(m_fd, TIOCNXCL);
            ::close(m_fd); // also releases the lock
            m_fd = -1;
        }
    }
    for (int *wake : {&m_writeWake, &m_eventWake}) {
        if (*wake >= 0)
            ::close(*wake);
        *wake = -1;
    }
    m_haveSavedTermios = false;
    m_exclusiveSet = false;
    m_outputEmpty = false;
    m_active = false;
}

void TAfComPortCore::applyModemLines(bool dtr, bool rts)
{
    int raise = 0;
    int lower = 0;
    // A line driven by hardware handshake is the driver's.
    if (m_settings.flowControl != TAfFlowControl::fwDtrDsr)
        (dtr ? raise : lower) |= TIOCM_DTR;
    if (m_settings.flowControl != TAfFlowControl::fwRtsCts)
        (rts ? raise : lower) |= TIOCM_RTS;
    if (raise && ::ioctl(m_fd, TIOCMBIS, &raise) != 0 && !isUnsupportedIoctl(errno))
        qCWarning(lcLinkSerial).noquote()
            << QStringLiteral("cannot raise DTR/RTS on COM%1: %2").arg(m_number).arg(errnoText(errno));
    if (lower && ::ioctl(m_fd, TIOCMBIC, &lower) != 0 && !isUnsupportedIoctl(errno))
        qCWarning(lcLinkSerial).noquote()
            << QStringLiteral("cannot lower DTR/RTS on COM%1: %2").arg(m_number).arg(errnoText(errno));
}

void TAfComPortCore::SetLineSettings(const TAfLineSettings &settings)
{
    if (m_fd < 0 || !m_haveSavedTermios) {
        m_settings = settings;
        return;
    }
    termios current;
    termios wanted;
    if (::tcgetattr(m_fd, &current) != 0 || !termios_setup::build(current, settings, &wanted)) {
        fail(QStringLiteral("Error setting parameters from DCB"));
    }
    if (::tcsetattr(m_fd, TCSANOW, &wanted) != 0) {
        qCDebug(lcLinkSerial) << "line settings refused:" << errnoText(errno);
        ::tcsetattr(m_fd, TCSANOW, &current); // may have been applied in part
        fail(QStringLiteral("Error setting parameters from DCB"));
    }
    const bool linesChanged = settings.dtr != m_settings.dtr || settings.rts != m_settings.rts
                              || settings.flowControl != m_settings.flowControl;
    m_settings = settings;
    if (linesChanged)
        applyModemLines(settings.dtr, settings.rts);
}

void TAfComPortCore::SetModemLines(bool dtr, bool rts)
{
    m_settings.dtr = dtr;
    m_settings.rts = rts;
    if (m_fd >= 0)
        applyModemLines(dtr, rts);
}

bool TAfComPortCore::Write(const char *data, int length, int *freeBytes)
{
    if (!m_open || !m_writeThread) {
        *freeBytes = 0;
        return false;
    }
    return m_writeThread->Queue(data, length, freeBytes);
}

bool TAfComPortCore::Read(QByteArray *out)
{
    out->clear();
    std::lock_guard lock(m_readLock);
    if (m_fd < 0)
        return true;
    updateLineErrorsLocked();
    int waiting = 0;
    if (::ioctl(m_fd, FIONREAD, &waiting) != 0) {
        qCDebug(lcLinkSerial) << "FIONREAD failed:" << errnoText(errno);
        return false;
    }
    if (waiting <= 0)
        return true;
    out->resize(waiting);
    ssize_t got;
    do {
        got = ::read(m_fd, out->data(), static_cast<size_t>(waiting));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        const int error = errno;
        out->clear();
        if (error == EAGAIN || error == EWOULDBLOCK)
            return true;
        qCDebug(lcLinkSerial) << "read failed:" << errnoText(error);
        return false;
    }
    out->resize(static_cast<qsizetype>(got));
    return true;
}

void TAfComPortCore::PurgeRx()
{
    std::lock_guard lock(m_readLock);
    if (m_fd >= 0)
        ::tcflush(m_fd, TCIFLUSH);
}

bool TAfComPortCore::PurgeTx()
{
    if (m_fd < 0)
        return true;
    if (m_writeThread && m_writeThread->Running())
        return m_writeThread->Purge(PurgeTimeoutMs);
    ::tcflush(m_fd, TCOFLUSH);
    return true;
}

quint32 TAfComPortCore::TakeLineErrors()
{
    return m_lineErrors.exchange(0);
}

int TAfComPortCore::WaitingCount()
{
    std::lock_guard lock(m_readLock);
    if (m_fd < 0)
        return 0;
    int waiting = 0;
    if (::ioctl(m_fd, FIONREAD, &waiting) != 0)
        return 0;
    return std::max(waiting, 0);
}

bool TAfComPortCore::UpdateLineErrors()
{
    std::lock_guard lock(m_readLock);
    return updateLineErrorsLocked();
}

bool TAfComPortCore::updateLineErrorsLocked()
{
    if (m_fd < 0 || !m_icountSupported)
        return false;
    serial_icounter_struct counters {};
    if (::ioctl(m_fd, TIOCGICOUNT, &counters) != 0) {
        if (isUnsupportedIoctl(errno))
            m_icountSupported = false;
        return false;
    }
    const int now[5] = {counters.buf_overrun, counters.overrun, counters.parity,
                        counters.frame, counters.brk};
    static constexpr quint32 bits[5] = {CeRxOver, CeOverrun, CeRxParity, CeFrame, CeBreak};
    quint32 found = 0;
    for (int i = 0; i < 5; ++i) {
        if (now[i] != m_icount[i])
            found |= bits[i];
        m_icount[i] = now[i];
    }
    if (found)
        m_lineErrors.fetch_or(found);
    return found != 0;
}

void TAfComPortCore::SignalOutputEmpty()
{
    m_outputEmpty = true;
    signalFd(m_eventWake);
}

void TAfComPortCore::ReportThreadError(const QString &message)
{
    if (m_notify)
        m_notify(3, 0, message);
    else
        qCWarning(lcLinkSerial).noquote() << message;
}

void TAfComPortCore::NotifyOwner(int kind, quint32 mask)
{
    if (m_notify)
        m_notify(kind, mask, QString());
}

} // namespace vexs
