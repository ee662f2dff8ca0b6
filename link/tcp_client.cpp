#include "link/tcp_client.h"

#include "link/modbus.h"
#include "link/pumping_delay.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>

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

TcpClient::TcpClient(QObject *parent) : QObject(parent), m_socket(new QTcpSocket(this))
{
    connect(m_socket, &QAbstractSocket::stateChanged, this, &TcpClient::onStateChanged);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &TcpClient::onError);
}

TcpClient::~TcpClient()
{
    m_socket->blockSignals(true);
    m_socket->abort();
}

bool TcpClient::setPort(int port)
{
    if (port < 0 || port > 65535)
        return false;
    m_port = port;
    return true;
}

QString TcpClient::normalizeHost(const QString &host, bool *ok)
{
    const QString text = host.trimmed();
    const bool valid = !text.isEmpty() && !text.contains(u' ');
    if (ok)
        *ok = valid;
    if (!valid)
        return QString();
    const QStringList groups = text.split(u'.');
    if (groups.size() != 4)
        return text;
    QStringList numbers;
    for (const QString &group : groups) {
        bool isNumber = false;
        const int value = group.toInt(&isNumber, 10);
        if (!isNumber || group.isEmpty() || value < 0 || value > 255)
            return text; // not a dotted address: leave it to the resolver
        numbers.append(QString::number(value));
    }
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
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9._-]+$"));
    if (QHostAddress(m_host).isNull() && !hostName.match(m_host).hasMatch())
        return false;
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        m_socket->connectToHost(m_host, quint16(m_port));
    return true;
}

void TcpClient::deactivate()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    // A close asked for by the user is not an error to report.
    m_socket->blockSignals(true);
    m_socket->abort();
    m_socket->blockSignals(false);
    if (m_active) {
        m_active = false;
        emit disconnected();
    }
}

void TcpClient::onStateChanged(QAbstractSocket::SocketState state)
{
    if (state == QAbstractSocket::ConnectedState && !m_active) {
        m_active = true;
        emit connected();
    } else if (state == QAbstractSocket::UnconnectedState && m_active) {
        m_active = false;
        emit disconnected();
    }
}

void TcpClient::onError(QAbstractSocket::SocketError error)
{
    if (m_inExchange) {
        m_exchangeFailed = true;
        m_exchangeError = error;
        if (error == QAbstractSocket::RemoteHostClosedError)
            return; // the peer closed: the disconnect notification says it all
    }
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    if (m_inExchange)
        return; // reported by the exchange itself as a receive failure
    emit asyncError(
        QStringLiteral("Asynchronous socket error %1").arg(socketErrorNumber(error)));
}

void TcpClient::fail(const QString &api)
{
    const QAbstractSocket::SocketError error =
        m_exchangeFailed ? m_exchangeError : m_socket->error();
    const int number = socketErrorNumber(error);
    const QString text = QString::fromLocal8Bit(std::strerror(number));
    m_inExchange = false;
    m_socket->abort();
    if (m_active) {
        m_active = false;
        emit disconnected();
    }
    throw ESocketError(text, number, api);
}

QByteArray TcpClient::exchange(int waitMs, const QByteArray &request)
{
    if (!m_active)
        return failureReply();
    m_inExchange = true;
    m_exchangeFailed = false;

    // A late reply to an earlier request must not be taken for this one.
    const QByteArray stale = m_socket->readAll();
    if (!stale.isEmpty())
        qCInfo(lcLink, "tcp: discarded %lld stale octets", qlonglong(stale.size()));

    qCDebug(lcLinkFrames, "tcp >> %s", request.toHex(' ').constData());
    if (m_socket->write(request) != request.size())
        fail(QStringLiteral("send"));
    m_socket->flush();

    PumpingDelay(waitMs);

    if (m_exchangeFailed && m_exchangeError != QAbstractSocket::RemoteHostClosedError)
        fail(QStringLiteral("recv"));
    m_inExchange = false;
    const QByteArray reply = m_socket->read(m_socket->bytesAvailable());
    qCDebug(lcLinkFrames, "tcp << %s", reply.toHex(' ').constData());
    return reply;
}

} // namespace vexs
