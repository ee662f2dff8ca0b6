#pragma once

#include "link/transport.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>

#include <stdexcept>

class QTcpSocket;

namespace vexs {

// A send or receive failure on the TCP connection. It is not folded into the
// one-blank reply: it leaves the exchange and ends the handler that made the
// request, which shows it as an error report.
class ESocketError : public std::runtime_error
{
public:
    ESocketError(const QString &errorText, int errorNumber, const QString &api);
};

// The client socket to the Ethernet gateway. Connecting is asynchronous;
// the socket counts as active exactly while it is connected.
class TcpClient : public QObject, public ITransport
{
    Q_OBJECT
public:
    explicit TcpClient(QObject *parent = nullptr);
    ~TcpClient() override;

    // False when the value is not a valid TCP port (0..65535).
    bool setPort(int port);
    // False for a text that cannot name a host (empty, blanks inside).
    // Dotted IPv4 groups may carry leading zeros: each group is read as a
    // decimal number, so "192.168.011.002" names 192.168.11.2.
    bool setHost(const QString &host);
    QString host() const { return m_host; }
    int port() const { return m_port; }

    // Begins connecting; the outcome arrives as connected() or asyncError().
    // False when the host cannot be an address or a host name at all.
    bool activate();
    // Closes the connection (raising disconnected() when it was connected)
    // or abandons a connection attempt.
    void deactivate();
    bool active() const { return m_active; }

    // Sends the request in one write, waits `waitMs` with the UI live, and
    // returns all octets readable then (possibly none). Octets left in the
    // socket from an earlier exchange are discarded first. Throws
    // ESocketError on a send or receive failure, after disconnecting.
    QByteArray exchange(int waitMs, const QByteArray &request) override;

    static QString normalizeHost(const QString &host, bool *ok = nullptr);

signals:
    void connected();
    void disconnected();
    // "Asynchronous socket error %d" for a failure after activation.
    void asyncError(const QString &message);

private:
    void onStateChanged(QAbstractSocket::SocketState state);
    void onError(QAbstractSocket::SocketError error);
    [[noreturn]] void fail(const QString &api);

    QTcpSocket *m_socket;
    QString m_host;
    int m_port = 0;
    bool m_active = false;
    bool m_inExchange = false;
    QAbstractSocket::SocketError m_exchangeError = QAbstractSocket::UnknownSocketError;
    bool m_exchangeFailed = false;
};

// The platform's error number for a socket error (errno values).
int socketErrorNumber(QAbstractSocket::SocketError error);

} // namespace vexs
