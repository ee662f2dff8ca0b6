#include "link/tcp_client.h"

#include "link/modbus.h"
#include "link/pumping_delay.h"
#include "link/reply_framing.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace vexs {

ESocketError::ESocketError(const QString &errorText, int errorNumber, const QString &api)
    : std::runtime_error(QStringLiteral("Windows socket error: %1 (%2), on API '%3'")
                             .arg(errorText)
                             .arg(errorNumber)
                             .arg(api)
                             .toStdString())
{
}

int socketErrorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError: return ECONNRESET;
    case QAbstractSocket::HostNotFoundError: return EHOSTUNREACH;
    case QAbstractSocket::SocketAccessError: return EACCES;
    case QAbstractSocket::SocketResourceError: return ENOBUFS;
    case QAbstractSocket::SocketTimeoutError: return ETIMEDOUT;
    case QAbstractSocket::DatagramTooLargeError: return EMSGSIZE;
    case QAbstractSocket::NetworkError: return ENETUNREACH;
    case QAbstractSocket::AddressInUseError: return EADDRINUSE;
    case QAbstractSocket::SocketAddressNotAvailableError: return EADDRNOTAVAIL;
    case QAbstractSocket::UnsupportedSocketOperationError: return EOPNOTSUPP;
    default: return EIO;
    }
}

#ifndef Q_OS_UNIX
// No witness here: a close during an exchange counts as orderly.
namespace socket_witness {
qintptr hold(qintptr) { return -1; }
void release(qintptr) {}
bool connectionWasReset(qintptr) { return false; }
} // namespace socket_witness
#endif

TcpClient::TcpClient(QObject *parent) : QObject(parent), m_reportTimer(new QTimer(this))
{
    makeSocket(false);
    m_reportTimer->setSingleShot(true);
    m_reportTimer->setInterval(ReportIntervalMs);
    connect(m_reportTimer, &QTimer::timeout, this, &TcpClient::reportDiscarded);
}

void TcpClient::makeSocket(bool udp)
{
    delete m_socket;
    if (udp) {
        m_socket = new QUdpSocket(this);
    } else {
        m_socket = new QTcpSocket(this);
        // The toolkit reads no more than this ahead of us; we read it away at
        // each notification, so the kernel's buffer is all that fills under
        // a flood. A UDP socket is unbuffered: each datagram is read or
        // dropped whole.
        m_socket->setReadBufferSize(MaxReplyOctets);
    }
    connect(m_socket, &QAbstractSocket::stateChanged, this, &TcpClient::onStateChanged);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &TcpClient::onError);
    connect(m_socket, &QIODevice::readyRead, this, &TcpClient::onReadyRead);
}

bool TcpClient::setFraming(GatewayFraming framing)
{
    if (isUdp(framing) != isUdp(m_framing)) {
        if (m_socket->state() != QAbstractSocket::UnconnectedState || m_inExchange)
            return false;
        makeSocket(isUdp(framing));
    }
    m_framing = framing;
    return true;
}

QByteArray TcpClient::fromWire(const QByteArray &octets, qsizetype *discarded) const
{
    if (!isMbap(m_framing))
        return octets;
    mbap::Unwrapped reply = mbap::unwrap(octets, m_transaction);
    if (discarded)
        *discarded = reply.discarded;
    return reply.rtu;
}

TcpClient::~TcpClient()
{
    m_socket->blockSignals(true);
    m_socket->abort();
    releaseWitness();
}

bool TcpClient::setPort(int port)
{
    // Port 0 is no destination a connection could reach.
    if (port < 1 || port > 65535)
        return false;
    m_port = port;
    return true;
}

QString TcpClient::normalizeHost(const QString &host, bool *ok)
{
    if (ok)
        *ok = false;
    // A pasted text may carry a line end or a tab; none of it names a host,
    // and it must not travel on into the configuration file.
    for (const QChar c : host) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            return QString();
    }
    const QString text = host.trimmed();
    if (text.isEmpty())
        return QString();
    for (const QChar c : text) {
        if (c.isSpace())
            return QString();
    }
    const QStringList groups = text.split(u'.');
    const auto digits = [](const QString &group) {
        return !group.isEmpty()
               && std::all_of(group.begin(), group.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (groups.size() != 4 || !std::all_of(groups.begin(), groups.end(), digits)) {
        if (ok)
            *ok = true;
        return text; // not a dotted address: leave it to the resolver
    }
    // Four groups of digits are an address or nothing: no name looks so.
    QStringList numbers;
    for (const QString &group : groups) {
        // More than nine digits is past 255 whatever they are.
        const int value = group.size() > 9 ? 256 : group.toInt();
        if (value > 255)
            return QString();
        numbers.append(QString::number(value));
    }
    if (ok)
        *ok = true;
    return numbers.join(u'.');
}

bool TcpClient::setHost(const QString &host)
{
    bool ok = false;
    const QString normalized = normalizeHost(host, &ok);
    if (!ok)
        return false;
    m_host = normalized;
    return true;
}

bool TcpClient::activate()
{
    static const QRegularExpression hostName(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9._-]+")));
    if (QHostAddress(m_host).isNull() && !hostName.match(m_host).hasMatch())
        return false;
    m_stopped = false;
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        m_socket->connectToHost(m_host, quint16(m_port));
    return true;
}

bool TcpClient::reconnect(int waitMs)
{
    // Long enough for a gateway to accept, whatever the request's own wait.
    constexpr int kLeastConnectMs = 1000;
    qCInfo(lcLink, "tcp: connecting again after a lost connection");
    m_reconnecting = true;
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        m_socket->connectToHost(m_host, quint16(m_port));
    PumpingWait wait;
    const auto up = connect(this, &TcpClient::connected, this, [&wait] { wait.finish(); });
    const auto failed = connect(m_socket, &QAbstractSocket::errorOccurred, this,
                                [&wait](QAbstractSocket::SocketError error) {
                                    if (error != QAbstractSocket::TemporaryError)
                                        wait.finish();
                                });
    if (!m_active)
        wait.run(std::max(waitMs, kLeastConnectMs));
    disconnect(up);
    disconnect(failed);
    m_reconnecting = false;
    if (m_active)
        return true;
    qCInfo(lcLink, "tcp: the gateway did not accept the connection again");
    m_socket->blockSignals(true);
    m_socket->abort();
    m_socket->blockSignals(false);
    return false;
}

void TcpClient::deactivate()
{
    m_stopped = true;
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    // A close asked for by the user is not an error to report.
    m_socket->blockSignals(true);
    m_socket->abort();
    m_socket->blockSignals(false);
    releaseWitness();
    if (m_active) {
        m_active = false;
        emit disconnected();
    }
    // "Stop" pressed during an exchange ends its wait, as a close by the
    // gateway does: nothing more can arrive.
    if (m_inExchange && m_wait)
        m_wait->finish();
}

void TcpClient::releaseWitness()
{
    socket_witness::release(m_witness);
    m_witness = -1;
}

void TcpClient::onStateChanged(QAbstractSocket::SocketState state)
{
    if (state == QAbstractSocket::ConnectedState && !m_active) {
        releaseWitness();
        // A datagram socket has no connection that could be reset.
        if (!isUdp(m_framing))
            m_witness = socket_witness::hold(m_socket->socketDescriptor());
        m_active = true;
        emit connected();
    } else if (state == QAbstractSocket::UnconnectedState) {
        // During an exchange the witness may still have to tell a reset
        // from a close; the exchange lets it go when it ends.
        if (!m_inExchange)
            releaseWitness();
        if (m_active) {
            m_active = false;
            emit disconnected();
        }
        if (m_inExchange && m_wait)
            m_wait->finish();
    }
}

void TcpClient::onError(QAbstractSocket::SocketError error)
{
    // "Would block" is how a non-blocking socket says "not yet", and a
    // time-out comes only from asking it for octets without waiting.
    if (error == QAbstractSocket::TemporaryError || error == QAbstractSocket::SocketTimeoutError)
        return;
    // A failed reconnection is told by the request that wanted it.
    if (m_reconnecting)
        return;
    // Nothing listening at the gateway's UDP port: no reply is all it means.
    if (isUdp(m_framing) && error == QAbstractSocket::ConnectionRefusedError) {
        qCInfo(lcLink, "udp: the gateway's port refused a datagram");
        return;
    }
    if (m_inExchange) {
        // The toolkit names a reset a remote close; only a close in order
        // leaves the exchange with what arrived. The rest is raised by the
        // exchange itself.
        const bool orderlyClose = error == QAbstractSocket::RemoteHostClosedError
                                  && !socket_witness::connectionWasReset(m_witness);
        if (!orderlyClose && !m_failure)
            m_failure = error;
        return;
    }
    // The toolkit names a reset a remote close too: a close in order is no
    // error (the disconnect notification says it all), a reset is.
    if (error == QAbstractSocket::RemoteHostClosedError && !socket_witness::connectionWasReset(m_witness))
        return;
    emit asyncError(
        QStringLiteral("Asynchronous socket error %1").arg(socketErrorNumber(error)));
}

qint64 TcpClient::dropBuffered()
{
    qint64 dropped = 0;
    if (auto *udp = qobject_cast<QUdpSocket *>(m_socket)) {
        while (udp->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = udp->receiveDatagram(MaxReplyOctets);
            if (!datagram.isValid())
                break;
            dropped += datagram.data().size();
        }
        return dropped;
    }
    char sink[4096];
    while (m_socket->bytesAvailable() > 0) {
        const qint64 n = m_socket->read(sink, sizeof sink);
        if (n <= 0)
            break;
        dropped += n;
    }
    return dropped;
}

void TcpClient::takeReplyOctets()
{
    if (auto *udp = qobject_cast<QUdpSocket *>(m_socket)) {
        // Only the gateway's datagrams; the connected socket should see no
        // other, but one that comes is no reply of ours.
        while (udp->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = udp->receiveDatagram(MaxReplyOctets);
            if (!datagram.isValid())
                break;
            const bool fromGateway = datagram.senderAddress().isEqual(udp->peerAddress())
                                     && datagram.senderPort() == udp->peerPort();
            const qint64 room = MaxReplyOctets - m_reply.size();
            if (!fromGateway || room <= 0) {
                m_unreported += datagram.data().size();
                continue;
            }
            m_reply += datagram.data().left(room);
            m_lastOctetUs = m_sent.nsecsElapsed() / 1000;
            m_unreported += std::max<qint64>(0, datagram.data().size() - room);
        }
        return;
    }
    const qint64 room = MaxReplyOctets - m_reply.size();
    if (room > 0 && m_socket->bytesAvailable() > 0) {
        m_reply += m_socket->read(room);
        m_lastOctetUs = m_sent.nsecsElapsed() / 1000;
    }
    m_unreported += dropBuffered();
}

void TcpClient::takeWaitingOctets()
{
    // A few rounds at most: a flood must not hold the wait here.
    for (int round = 0; round < 4 && m_socket->state() == QAbstractSocket::ConnectedState; ++round) {
        takeReplyOctets();
        if (!m_socket->waitForReadyRead(0))
            break;
    }
    takeReplyOctets();
}

void TcpClient::onReadyRead()
{
    if (m_inExchange) {
        takeReplyOctets();
        if (m_watch)
            m_watch->check();
        return;
    }
    const qint64 stray = dropBuffered();
    if (stray <= 0)
        return;
    qCDebug(lcLink, "tcp: discarded %lld stray octets", qlonglong(stray));
    m_straySinceExchange += stray;
    noteDiscarded(stray);
}

void TcpClient::noteDiscarded(qint64 count)
{
    m_unreported += count;
    if (!m_reportTimer->isActive())
        m_reportTimer->start();
}

void TcpClient::reportDiscarded()
{
    m_reportTimer->stop();
    while (m_unreported > 0) {
        const int count = int(qMin<qint64>(m_unreported, std::numeric_limits<int>::max()));
        m_unreported -= count;
        emit octetsDiscarded(count);
    }
}

void TcpClient::fail(const QString &api)
{
    const QAbstractSocket::SocketError error = m_failure.value_or(m_socket->error());
    const int number = socketErrorNumber(error);
    const QString text = QString::fromLocal8Bit(std::strerror(number));
    m_inExchange = false;
    m_failure.reset();
    m_reply.clear();
    // Disconnected first, so the connection bar shows it before the report.
    m_socket->abort();
    releaseWitness();
    if (m_active) {
        m_active = false;
        emit disconnected();
    }
    reportDiscarded();
    throw ESocketError(text, number, api);
}

void TcpClient::await(int waitMs, const FastEnd *fast)
{
    PumpingWait wait;
    std::optional<ReplyWatch> watch;
    if (fast) {
        // RTU frames in a stream end only by a quiet line, which a timer
        // would round up to a millisecond: the socket is asked again after
        // the exact interval, as a serial port is. Replies the way delimits
        // need no quiet at all.
        const bool stream = !delimitsReplies();
        watch.emplace(
            *fast, wait,
            [this, stream] {
                if (stream)
                    takeWaitingOctets();
                return fromWire(m_reply);
            },
            stream ? ReplyWatch::Quiet::Sleep : ReplyWatch::Quiet::Timer);
    }
    struct Waiting {
        TcpClient &client;
        ~Waiting()
        {
            client.m_watch = nullptr;
            client.m_wait = nullptr;
        }
    } waiting{*this};
    m_watch = watch ? &*watch : nullptr;
    m_wait = &wait;
    wait.run(waitMs);
}

QByteArray TcpClient::exchange(int waitMs, const QByteArray &request, const FastEnd *fast)
{
    m_lastOctetUs = -1;
    if (!m_active && !(m_reconnect && !m_stopped && reconnect(waitMs)))
        return failureReply();

    // A late reply to an earlier request must not be taken for this one.
    const qint64 stale = dropBuffered();
    m_straySinceExchange += stale;
    if (m_straySinceExchange > 0)
        qCInfo(lcLink, "tcp: discarded %lld stray octets since the last exchange",
               qlonglong(m_straySinceExchange));
    m_straySinceExchange = 0;
    m_unreported += stale;
    reportDiscarded();

    m_inExchange = true;
    m_failure.reset();
    m_reply.clear();

    QByteArray wire = request;
    if (isMbap(m_framing)) {
        wire = mbap::wrap(request, ++m_transaction);
        if (wire.isEmpty()) {
            m_inExchange = false;
            return failureReply();
        }
    }
    qCDebug(lcLinkFrames, "tcp >> %s", wire.toHex(' ').constData());
    m_sent.start();
    const bool queued = m_socket->write(wire) == wire.size();
    m_socket->flush();
    if (!queued || m_failure || m_socket->state() != QAbstractSocket::ConnectedState)
        fail(QStringLiteral("send"));

    await(waitMs, fast);

    if (m_failure)
        fail(QStringLiteral("recv"));
    takeReplyOctets();
    m_inExchange = false;
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        releaseWitness();
    if (m_unreported > 0)
        qCInfo(lcLink, "tcp: reply cut at %d octets, %lld more discarded", MaxReplyOctets,
               qlonglong(m_unreported));
    reportDiscarded();

    QByteArray received;
    received.swap(m_reply);
    qCDebug(lcLinkFrames, "tcp << %s", received.toHex(' ').constData());
    qsizetype foreign = 0;
    const QByteArray reply = fromWire(received, &foreign);
    if (foreign > 0) {
        qCInfo(lcLink, "tcp: %lld octets of other transactions or not MBAP thrown away",
               qlonglong(foreign));
        emit octetsDiscarded(int(std::min<qsizetype>(foreign, MaxReplyOctets)));
    }
    return reply;
}

} // namespace vexs
