#pragma once

#include "link/gateway_framing.h"
#include "link/transport.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <optional>
#include <stdexcept>

class QAbstractSocket;
class QTimer;

namespace vexs {
class PumpingWait;
class ReplyWatch;
}

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
//
// The gateway's framing decides the socket and the octets: RTU frames or
// Modbus TCP frames, over TCP or in UDP datagrams (a "connected" UDP socket,
// so datagrams of other peers never reach us). Requests and replies pass
// this class as RTU frames either way; with MBAP each request takes a
// transaction id of its own and a reply with another id is thrown away.
//
// A gateway on a shared line passes other masters' traffic on, so octets
// arrive at any time and in any amount. Between exchanges they are read and
// thrown away as they come; during an exchange at most MaxReplyOctets are
// kept and the rest is thrown away too. Memory stays flat under a flood.
class TcpClient : public QObject, public ITransport
{
    Q_OBJECT
public:
    // The longest reply the program asks for is 255 octets; the rest is
    // margin for whatever else shares the line.
    static constexpr int MaxReplyOctets = 4096;
    // Octets discarded between exchanges are reported at most this often.
    static constexpr int ReportIntervalMs = 100;

    explicit TcpClient(QObject *parent = nullptr);
    ~TcpClient() override;

    // False when the value is not a valid TCP port (0..65535).
    bool setPort(int port);
    // False for a text that cannot name a host: empty, blanks inside, or any
    // control character or line break (a pasted text) anywhere.
    // Dotted IPv4 groups may carry leading zeros: each group is read as a
    // decimal number, so "192.168.011.002" names 192.168.11.2.
    bool setHost(const QString &host);
    QString host() const { return m_host; }
    int port() const { return m_port; }
    // False, and nothing changes, when the protocol (TCP or UDP) would
    // change while connected or connecting: "Stop" first.
    bool setFraming(GatewayFraming framing);
    GatewayFraming framing() const { return m_framing; }

    // Begins connecting; the outcome arrives as connected() or asyncError().
    // False when the host cannot be an address or a host name at all.
    bool activate();
    // Closes the connection (raising disconnected() when it was connected)
    // or abandons a connection attempt.
    void deactivate();
    bool active() const { return m_active; }

    // Sends the request in one write, waits `waitMs` with the UI live, and
    // returns the octets that arrived meanwhile (possibly none, at most
    // MaxReplyOctets). Octets left from an earlier exchange are discarded
    // first.
    //
    // Any socket failure other than "would block" disconnects the socket
    // (disconnected() is emitted) and then throws ESocketError: a failed
    // send at once, naming 'send'; a failure while waiting (a connection
    // reset included) as soon as the socket reports it, naming 'recv'. A
    // peer that closes the connection in order during the wait is no
    // failure: the wait ends there, the socket is disconnected and whatever
    // arrived before the close is returned.
    QByteArray exchange(int waitMs, const QByteArray &request,
                        const FastEnd *fast = nullptr) override;
    qint64 lastOctetUs() const override { return m_lastOctetUs; }
    bool delimitsReplies() const override { return isMbap(m_framing) || isUdp(m_framing); }
    // Connect again at the next request after the gateway closed or reset
    // the connection (not after "Stop"), waiting for it at most the
    // request's wait. Off unless set.
    void setReconnect(bool on) { m_reconnect = on; }

    static QString normalizeHost(const QString &host, bool *ok = nullptr);

signals:
    void connected();
    void disconnected();
    // "Asynchronous socket error %d" for a failure after activation.
    void asyncError(const QString &message);
    // Octets thrown away: those that arrive between exchanges (reported at
    // most every ReportIntervalMs, and before the next request goes out)
    // and those beyond MaxReplyOctets during an exchange (reported when it
    // ends).
    void octetsDiscarded(int count);

private:
    void onStateChanged(QAbstractSocket::SocketState state);
    void onError(QAbstractSocket::SocketError error);
    void onReadyRead();
    void takeReplyOctets();
    // What the socket has now, not only what the event loop has seen.
    void takeWaitingOctets();
    void await(int waitMs, const FastEnd *fast);
    void makeSocket(bool udp);
    // The reply as RTU octets, from what arrived in the gateway's framing.
    QByteArray fromWire(const QByteArray &octets, qsizetype *discarded = nullptr) const;
    qint64 dropBuffered();
    void noteDiscarded(qint64 count);
    void reportDiscarded();
    void releaseWitness();
    [[noreturn]] void fail(const QString &api);

    bool reconnect(int waitMs);

    QAbstractSocket *m_socket = nullptr;
    QElapsedTimer m_sent;
    qint64 m_lastOctetUs = -1;
    bool m_reconnect = false;
    bool m_stopped = true; // by "Stop" (or never started): no reconnecting
    bool m_reconnecting = false;
    QTimer *m_reportTimer;
    GatewayFraming m_framing = GatewayFraming::RtuOverTcp;
    quint16 m_transaction = 0;
    QString m_host;
    int m_port = 0;
    bool m_active = false;
    bool m_inExchange = false;
    QByteArray m_reply;
    // Set while a fast exchange waits for its reply.
    ReplyWatch *m_watch = nullptr;
    // Set while any exchange waits: a lost connection ends the wait, since
    // nothing more can come.
    PumpingWait *m_wait = nullptr;
    // The first failure seen during the current exchange.
    std::optional<QAbstractSocket::SocketError> m_failure;
    // Discarded octets not yet reported, and those since the last exchange
    // (for the log).
    qint64 m_unreported = 0;
    qint64 m_straySinceExchange = 0;
    // A second handle on the connected socket (see tcp_client_unix.cpp).
    qintptr m_witness = -1;
};

// The platform's error number for a socket error (errno values).
int socketErrorNumber(QAbstractSocket::SocketError error);

// The toolkit reports a connection reset by the peer and an orderly close
// alike, and closes its descriptor before telling. A witness is a second
// handle on the connected socket that outlives that close, so the two can
// still be told apart. Where the platform offers no witness, hold()
// gives -1 and every close counts as orderly.
namespace socket_witness {
qintptr hold(qintptr descriptor);
void release(qintptr witness);
bool connectionWasReset(qintptr witness);
} // namespace socket_witness

} // namespace vexs
