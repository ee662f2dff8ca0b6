#include "sim/simulator.h"

#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

namespace vexs {

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

#ifndef Q_OS_UNIX
// Pseudo-terminals are a Unix thing; elsewhere the simulator serves TCP only.
bool Simulator::openPty(const QString &)
{
    QMutexLocker lock(&m_infoMutex);
    m_error = QStringLiteral("pseudo-terminals are not available on this system");
    return false;
}

void Simulator::closePty() {}
void Simulator::onPtyReadable() {}
void Simulator::writePty(const QByteArray &) {}
#endif

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
