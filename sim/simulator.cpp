#include "sim/simulator.h"

#include "link/crc.h"
#include "link/line_speed.h"

#include <QMutexLocker>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace vexs {

Simulator::Simulator(QObject *parent)
    : QObject(parent), m_slave(m_model), m_paceTimer(new QTimer(this))
{
    m_clock.start();
    m_paceTimer->setTimerType(Qt::PreciseTimer);
    m_paceTimer->setSingleShot(true);
    connect(m_paceTimer, &QTimer::timeout, this, &Simulator::paceOut);
}

ModbusSlave *Simulator::slaveAt(quint8 address)
{
    if (address == m_slave.address())
        return &m_slave;
    for (const auto &unit : m_units)
        if (unit->slave.address() == address)
            return &unit->slave;
    return nullptr;
}

RecorderModel *Simulator::modelAt(quint8 address)
{
    if (address == m_slave.address())
        return &m_model;
    for (const auto &unit : m_units)
        if (unit->slave.address() == address)
            return &unit->model;
    return nullptr;
}

void Simulator::paceOut()
{
    // A reply goes out as a line would carry it: octet k leaves k octet
    // times (10 bits each) after the first. The timer only wakes the
    // simulator about a millisecond early; the rest is slept, so replies
    // end on time to a few tens of microseconds rather than a millisecond.
    const qint64 octetNs = 10 * qint64(1000000000) / m_baud.load();
    while (!m_paced.empty()) {
        PacedReply &reply = m_paced.front();
        const qint64 startNs = std::max(reply.startNs, m_lineFreeNs);
        const qint64 nowNs = m_clock.nsecsElapsed();
        if (nowNs < startNs) {
            const qint64 aheadNs = startNs - nowNs;
            if (aheadNs > 1500000) {
                m_paceTimer->start(int(aheadNs / 1000000) - 1);
                return;
            }
            QThread::usleep(quint64(aheadNs / 1000));
            continue;
        }
        const qint64 due = qMin<qint64>(1 + (nowNs - startNs) / octetNs, reply.octets.size());
        if (due > reply.sent) {
            writePty(reply.octets.mid(reply.sent, due - reply.sent));
            reply.sent = due;
        }
        if (reply.sent == reply.octets.size()) {
            m_lineFreeNs = startNs + reply.sent * octetNs;
            m_paced.pop_front();
            continue;
        }
        const qint64 nextNs = startNs + reply.sent * octetNs;
        QThread::usleep(quint64(qMax<qint64>(1, (nextNs - m_clock.nsecsElapsed()) / 1000)));
    }
}

Simulator::~Simulator()
{
    stop();
}

int Simulator::wireTimeMs(int octets, int baud)
{
    return vexs::wireTimeMs(octets, baud);
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

quint16 Simulator::udpPort() const
{
    QMutexLocker lock(&m_infoMutex);
    return m_udpPort;
}

bool Simulator::start(const Options &options)
{
    stop();
    m_units.clear();
    const QList<int> addresses = options.addresses.isEmpty() ? QList<int>{options.address}
                                                             : options.addresses;
    setAddress(quint8(addresses.first()));
    if (options.addresses.size() > 1) {
        m_model.makeUnit(addresses.first());
        for (qsizetype i = 1; i < addresses.size(); ++i) {
            auto unit = std::make_unique<Unit>(quint8(addresses[i]));
            unit->model.makeUnit(addresses[i]);
            m_units.push_back(std::move(unit));
        }
    }
    m_pace = options.pace;
    m_mbap = options.mbap;
    m_latencyMs = options.latencyMs;
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
    if (options.serveUdp) {
        m_udp = new QUdpSocket(this);
        if (!m_udp->bind(options.udpHost, options.udpPort)) {
            {
                QMutexLocker lock(&m_infoMutex);
                m_error = QStringLiteral("cannot bind UDP %1:%2: %3")
                              .arg(options.udpHost.toString())
                              .arg(options.udpPort)
                              .arg(m_udp->errorString());
            }
            stop();
            return false;
        }
        connect(m_udp, &QUdpSocket::readyRead, this, &Simulator::onUdpReadable);
        QMutexLocker lock(&m_infoMutex);
        m_udpPort = m_udp->localPort();
    }
    return true;
}

void Simulator::stop()
{
    ++m_generation;
    m_paceTimer->stop();
    m_paced.clear();
    m_lineFreeNs = 0;
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
    if (m_udp) {
        m_udp->close();
        delete m_udp;
        m_udp = nullptr;
    }
    closePty();
    QMutexLocker lock(&m_infoMutex);
    m_tcpPort = 0;
    m_udpPort = 0;
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
    Route route;
    route.channel = RequestLog::Tcp;
    route.socket = socket;
    if (m_mbap) {
        it->second.mbapPending += socket->readAll();
        takeMbapFrames(it->second.mbapPending, route);
        return;
    }
    const auto frames = it->second.assembler.feed(socket->readAll(), m_clock.elapsed());
    for (const QByteArray &frame : frames)
        handleFrame(frame, route);
}

void Simulator::onUdpReadable()
{
    while (m_udp && m_udp->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_udp->receiveDatagram(4096);
        if (!datagram.isValid())
            break;
        Route route;
        route.channel = RequestLog::Udp;
        route.peer = datagram.senderAddress();
        route.peerPort = quint16(datagram.senderPort());
        if (m_mbap) {
            QByteArray octets = datagram.data();
            takeMbapFrames(octets, route);
        } else if (datagram.data().size() >= 4 && Crc16Modbus(datagram.data()) == 0) {
            // One datagram, one frame: no silent interval to find it by.
            handleFrame(datagram.data(), route);
        }
    }
}

void Simulator::takeMbapFrames(QByteArray &pending, Route route)
{
    auto word = [&pending](int at) { return (quint8(pending.at(at)) << 8) | quint8(pending.at(at + 1)); };
    while (pending.size() >= 7) {
        const int length = word(4);
        if (word(2) != 0 || length < 2 || length > 254) {
            trace("mbap: not a Modbus TCP frame, dropped", pending.left(64));
            pending.clear();
            return;
        }
        if (pending.size() < 6 + length)
            return;
        route.transaction = word(0);
        QByteArray frame = pending.mid(6, length);
        const quint16 crc = Crc16Modbus(frame);
        frame.append(char(crc & 0xFF)).append(char(crc >> 8));
        pending.remove(0, 6 + length);
        handleFrame(frame, route);
    }
}

void Simulator::handleFrame(const QByteArray &frame, const Route &route)
{
    const RequestLog::Channel channel = route.channel;
    const QPointer<QTcpSocket> socket = route.socket;
    m_log.append(frame, channel);
    trace(channel == RequestLog::Pty ? "pty <-" : channel == RequestLog::Udp ? "udp <-" : "tcp <-", frame);

    // A broadcast is carried out by every recorder and answered by none.
    const quint8 address = quint8(frame[0]);
    if (address == 0) {
        m_slave.process(frame);
        for (const auto &unit : m_units)
            unit->slave.process(frame);
        return;
    }
    ModbusSlave *slave = slaveAt(address);
    if (!slave)
        return;
    // Rules count only requests a recorder here would answer.
    const FaultPlan plan = m_faults.planFor(frame);

    if (plan.resetConnection && channel == RequestLog::Tcp) {
        trace("resetting the connection instead of replying");
        if (socket)
            resetTcp(socket);
        return;
    }
    if (plan.closeConnection && channel == RequestLog::Tcp) {
        trace("closing the connection instead of replying");
        if (socket)
            socket->close();
        return;
    }
    if (plan.drop || plan.closeConnection || plan.resetConnection) {
        trace("staying silent");
        return;
    }

    const QByteArray reply = slave->process(frame);
    if (reply.isEmpty())
        return;
    const QByteArray wire = plan.mangle(reply);

    int delay = plan.delayMs;
    const bool paced = channel == RequestLog::Pty && m_pace;
    if (paced) {
        // The request's own line time and the latency, to the microsecond.
        const qint64 startNs = m_clock.nsecsElapsed() + qint64(delay + m_latencyMs) * 1000000
                               + qint64(frame.size()) * 10 * 1000000000 / m_baud.load();
        trace("pty -> (paced)", wire);
        m_paced.push_back({wire, startNs, 0});
        // Late extra octets count from the end of the reply on the line.
        delay = int((startNs - m_clock.nsecsElapsed()) / 1000000)
                + wireTimeMs(int(wire.size()), m_baud.load());
        paceOut();
    } else if (channel == RequestLog::Pty) {
        delay += m_latencyMs + wireTimeMs(int(wire.size()), m_baud.load());
    } else if (m_pace) {
        // A gateway in front of a paced line: the request and the reply
        // cross the line at its speed, the recorder turns round between.
        delay += m_latencyMs + wireTimeMs(int(frame.size() + wire.size()), m_baud.load());
    }

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
    if (!paced) {
        later(delay, [this, wire, route] {
            send(wire, route, route.channel == RequestLog::Pty ? "pty ->" : "net ->");
        });
    }
    if (plan.extraAfterMs >= 0) {
        QByteArray extra;
        for (int i = 0; i < plan.extraBytes; ++i)
            extra.append(char(i % 2 ? 0x55 : 0xAA));
        Route raw = route;
        raw.transaction = -1; // stray octets, in no framing
        later(delay + plan.extraAfterMs, [this, extra, raw] { send(extra, raw, "late extra ->"); });
    }
}

void Simulator::send(const QByteArray &bytes, const Route &route, const char *what)
{
    QByteArray wire = bytes;
    if (route.transaction >= 0) {
        // The RTU reply as a gateway would pass it on: unit and PDU without
        // the CRC, behind the request's header.
        const QByteArray unitAndPdu = bytes.left(std::max<qsizetype>(0, bytes.size() - 2));
        wire.clear();
        for (const int value : {route.transaction, 0, int(unitAndPdu.size())})
            wire.append(char((value >> 8) & 0xFF)).append(char(value & 0xFF));
        wire.append(unitAndPdu);
    }
    trace(what, wire);
    if (route.channel == RequestLog::Pty) {
        writePty(wire);
    } else if (route.channel == RequestLog::Udp) {
        if (m_udp)
            m_udp->writeDatagram(wire, route.peer, route.peerPort);
    } else if (route.socket && route.socket->state() == QAbstractSocket::ConnectedState) {
        route.socket->write(wire);
        route.socket->flush();
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
