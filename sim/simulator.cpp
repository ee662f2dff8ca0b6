#include "sim/simulator.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vexs {

namespace {

speed_t speedConstant(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 230400: return B230400;
    default: return B115200;
    }
}

} // namespace

Simulator::Simulator(QObject *parent)
    : QObject(parent), m_slave(m_model)
{
    m_clock.start();
}

Simulator::~Simulator()
{
    stop();
}

int Simulator::wireTimeMs(int octets, int baud)
{
    if (baud <= 0)
        return 0;
    const qint64 bits = qint64(octets) * 10 * 1000;
    return int((bits + baud - 1) / baud);
}

QString Simulator::errorString() const
{
    QMutexLocker lock(&m_infoMutex);
    return m_error;
}

QString Simulator::ptyPath() const
{
    QMutexLocker lock(&m_infoMutex);
    return m_ptyPath;
}

QString Simulator::ptyLink() const
{
    QMutexLocker lock(&m_infoMutex);
    return m_ptyLink;
}

quint16 Simulator::tcpPort() const
{
    QMutexLocker lock(&m_infoMutex);
    return m_tcpPort;
}

bool Simulator::start(const Options &options)
{
    stop();
    setAddress(options.address);
    setBaud(options.baud);
    setVerbose(options.verbose);
    {
        QMutexLocker lock(&m_infoMutex);
        m_error.clear();
    }

    if (options.servePty && !openPty(options.ptyLink)) {
        stop();
        return false;
    }
    if (options.serveTcp) {
        m_server = new QTcpServer(this);
        if (!m_server->listen(options.tcpHost, options.tcpPort)) {
            {
                QMutexLocker lock(&m_infoMutex);
                m_error = QStringLiteral("cannot listen on %1:%2: %3")
                              .arg(options.tcpHost.toString())
                              .arg(options.tcpPort)
                              .arg(m_server->errorString());
            }
            stop();
            return false;
        }
        connect(m_server, &QTcpServer::newConnection, this, &Simulator::onNewConnection);
        QMutexLocker lock(&m_infoMutex);
        m_tcpPort = m_server->serverPort();
    }
    return true;
}

void Simulator::stop()
{
    ++m_generation;
    for (auto &[socket, client] : m_clients) {
        if (client.socket) {
            client.socket->disconnect(this);
            client.socket->abort();
            client.socket->deleteLater();
        }
    }
    m_clients.clear();
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    closePty();
    QMutexLocker lock(&m_infoMutex);
    m_tcpPort = 0;
}

bool Simulator::openPty(const QString &link)
{
    auto fail = [this](const QString &what) {
        QMutexLocker lock(&m_infoMutex);
        m_error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    };

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail(QStringLiteral("cannot open a pseudo-terminal"));
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail(QStringLiteral("cannot unlock the pseudo-terminal"));
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail(QStringLiteral("cannot name the pseudo-terminal"));
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    // Holding the slave open ourselves keeps the master from seeing a hang-up
    // each time the client closes its side; raw mode means no echo and no
    // line editing for whoever opens it next.
    m_slaveFd = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slaveFd < 0)
        return fail(QStringLiteral("cannot open %1").arg(QString::fromLocal8Bit(name)));
    termios tio{};
    if (::tcgetattr(m_slaveFd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, speedConstant(m_baud.load()));
        ::tcsetattr(m_slaveFd, TCSANOW, &tio);
    }

    {
        QMutexLocker lock(&m_infoMutex);
        m_ptyPath = QString::fromLocal8Bit(name);
    }

    if (!link.isEmpty()) {
        const QByteArray linkPath = QFile::encodeName(link);
        const QFileInfo info(link);
        if (info.isSymLink()) {
            ::unlink(linkPath.constData());
        } else if (info.exists()) {
            QMutexLocker lock(&m_infoMutex);
            m_error = QStringLiteral("%1 exists and is not a symbolic link").arg(link);
            return false;
        }
        if (::symlink(name, linkPath.constData()) != 0)
            return fail(QStringLiteral("cannot create the link %1").arg(link));
        QMutexLocker lock(&m_infoMutex);
        m_ptyLink = link;
    }

    m_ptyAssembler.clear();
    m_ptyNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_ptyNotifier, &QSocketNotifier::activated, this, &Simulator::onPtyReadable);
    return true;
}

void Simulator::closePty()
{
    delete m_ptyNotifier;
    m_ptyNotifier = nullptr;
    QString link, path;
    {
        QMutexLocker lock(&m_infoMutex);
        link = m_ptyLink;
        path = m_ptyPath;
        m_ptyLink.clear();
        m_ptyPath.clear();
    }
    // Remove the link only while it still leads to our terminal.
    if (!link.isEmpty() && QFileInfo(link).symLinkTarget() == path)
        ::unlink(QFile::encodeName(link).constData());
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveFd = -1;
    m_master = -1;
}

void Simulator::onPtyReadable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            const auto frames = m_ptyAssembler.feed(QByteArray(buffer, int(n)), m_clock.elapsed());
            for (const QByteArray &frame : frames)
                handleFrame(frame, RequestLog::Pty, nullptr);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // Should not happen while we hold the slave open; do not spin on it.
            trace("pty read failed", {}, QString::fromLocal8Bit(std::strerror(errno)));
            if (m_ptyNotifier)
                m_ptyNotifier->setEnabled(false);
        }
        return;
    }
}

void Simulator::writePty(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // Nobody is draining the terminal; a line would lose these too.
            trace("pty write dropped", bytes.mid(done));
            return;
        }
    }
}

void Simulator::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_clients[socket].socket = socket;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onTcpReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_clients.erase(socket);
            socket->deleteLater();
            trace("tcp client left");
        });
        trace("tcp client from", {}, socket->peerAddress().toString());
    }
}

void Simulator::onTcpReadable(QTcpSocket *socket)
{
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    const auto frames = it->second.assembler.feed(socket->readAll(), m_clock.elapsed());
    for (const QByteArray &frame : frames)
        handleFrame(frame, RequestLog::Tcp, socket);
}

void Simulator::handleFrame(const QByteArray &frame, RequestLog::Channel channel,
                            QPointer<QTcpSocket> socket)
{
    m_log.append(frame, channel);
    trace(channel == RequestLog::Pty ? "pty <-" : "tcp <-", frame);

    // Rules count only requests this slave would answer.
    FaultPlan plan;
    if (quint8(frame[0]) == m_slave.address())
        plan = m_faults.planFor(frame);

    if (plan.closeConnection && channel == RequestLog::Tcp) {
        trace("closing the connection instead of replying");
        if (socket)
            socket->close();
        return;
    }
    if (plan.drop || plan.closeConnection) {
        trace("staying silent");
        return;
    }

    const QByteArray reply = m_slave.process(frame);
    if (reply.isEmpty())
        return;
    const QByteArray wire = plan.mangle(reply);

    int delay = plan.delayMs;
    if (channel == RequestLog::Pty)
        delay += TurnaroundMs + wireTimeMs(int(wire.size()), m_baud.load());

    const int generation = m_generation;
    auto later = [this, generation](int ms, auto action) {
        if (ms <= 0) {
            action();
            return;
        }
        QTimer::singleShot(ms, Qt::PreciseTimer, this, [this, generation, action] {
            if (generation == m_generation)
                action();
        });
    };
    later(delay, [this, wire, channel, socket] {
        send(wire, channel, socket, channel == RequestLog::Pty ? "pty ->" : "tcp ->");
    });
    if (plan.extraAfterMs >= 0) {
        QByteArray extra;
        for (int i = 0; i < plan.extraBytes; ++i)
            extra.append(char(i % 2 ? 0x55 : 0xAA));
        later(delay + plan.extraAfterMs, [this, extra, channel, socket] {
            send(extra, channel, socket, "late extra ->");
        });
    }
}

void Simulator::send(const QByteArray &bytes, RequestLog::Channel channel,
                     QPointer<QTcpSocket> socket, const char *what)
{
    trace(what, bytes);
    if (channel == RequestLog::Pty) {
        writePty(bytes);
    } else if (socket && socket->state() == QAbstractSocket::ConnectedState) {
        socket->write(bytes);
        socket->flush();
    }
}

void Simulator::trace(const char *what, const QByteArray &bytes, const QString &note)
{
    if (!m_verbose.load())
        return;
    const double seconds = double(m_clock.elapsed()) / 1000.0;
    std::fprintf(stderr, "[%9.3f] %s%s%s%s%s\n", seconds, what, bytes.isEmpty() ? "" : " ",
                 bytes.toHex(' ').constData(), note.isEmpty() ? "" : " ",
                 note.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace vexs
