#pragma once

#include "sim/faults.h"
#include "sim/modbus_slave.h"
#include "sim/recorder_model.h"
#include "sim/request_log.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <vector>

class QSocketNotifier;
class QTimer;
class QTcpServer;
class QTcpSocket;
class QUdpSocket;

namespace vexs {

// The simulated recorder on its transports: a pseudo-terminal (the client
// opens the slave side like a serial port), a TCP port and a UDP port
// carrying raw RTU frames, or Modbus TCP frames (MBAP header, no CRC) when
// `mbap` is set, as the gateways in front of a line do. start() and stop() run in the thread the object lives in; the
// model, the fault rules, the request log and the setters are thread-safe.
class Simulator : public QObject
{
    Q_OBJECT
public:
    struct Options {
        bool servePty = false;
        QString ptyLink; // symlink to the pseudo-terminal; empty for none
        bool serveTcp = false;
        QHostAddress tcpHost = QHostAddress(QHostAddress::LocalHost);
        quint16 tcpPort = 5000; // 0 picks a free port
        bool serveUdp = false;
        QHostAddress udpHost = QHostAddress(QHostAddress::LocalHost);
        quint16 udpPort = 5000; // 0 picks a free port
        bool mbap = false;      // TCP and UDP speak Modbus TCP frames
        quint8 address = 1;
        // Several recorders on one line, each with its own image; empty for
        // the one at `address`.
        QList<int> addresses;
        int baud = 115200;
        // Pseudo-terminal replies: sent octet by octet at the line rate after
        // the request's own line time and the latency, rather than whole.
        // Replies over TCP and UDP then come after the line time of request
        // and reply and the latency, as through a gateway on such a line.
        bool pace = false;
        int latencyMs = TurnaroundMs;
        bool verbose = false;
    };

    explicit Simulator(QObject *parent = nullptr);
    ~Simulator() override;

    bool start(const Options &options);
    void stop();
    QString errorString() const;

    RecorderModel &model() { return m_model; }
    // The recorder at `address` when several share the line; null for none.
    RecorderModel *modelAt(quint8 address);
    FaultRules &faults() { return m_faults; }
    RequestLog &requestLog() { return m_log; }

    void setAddress(quint8 address) { m_slave.setAddress(address); }
    quint8 address() const { return m_slave.address(); }
    // Pacing of replies on the pseudo-terminal, 10 bits per octet.
    void setBaud(int baud) { m_baud.store(baud > 0 ? baud : 115200); }
    int baud() const { return m_baud.load(); }
    void setVerbose(bool on) { m_verbose.store(on); }

    QString ptyPath() const; // the slave device, e.g. /dev/pts/3
    QString ptyLink() const;
    quint16 tcpPort() const; // the port actually listened on
    quint16 udpPort() const;

    // Default turnaround before a reply on the pseudo-terminal.
    static constexpr int TurnaroundMs = 2;
    // Time `octets` take on the wire at `baud`, rounded up to whole ms.
    static int wireTimeMs(int octets, int baud);

private:
    struct Unit {
        RecorderModel model;
        ModbusSlave slave;
        explicit Unit(quint8 address) : slave(model, address) {}
    };
    ModbusSlave *slaveAt(quint8 address);
    void paceOut();

    struct TcpClient {
        QPointer<QTcpSocket> socket;
        RtuFrameAssembler assembler;
        QByteArray mbapPending; // an MBAP frame not yet whole
    };
    // Where a reply goes: the channel, the TCP connection or the UDP peer,
    // and with MBAP the request's transaction id (-1 for an RTU frame).
    struct Route {
        RequestLog::Channel channel = RequestLog::Pty;
        QPointer<QTcpSocket> socket;
        QHostAddress peer;
        quint16 peerPort = 0;
        int transaction = -1;
    };

    bool openPty(const QString &link);
    // Closes with a reset (RST) instead of the orderly end.
    static void resetTcp(QTcpSocket *socket);
    void closePty();
    void onPtyReadable();
    void writePty(const QByteArray &bytes);
    void onNewConnection();
    void onTcpReadable(QTcpSocket *socket);
    void onUdpReadable();
    // Hands each whole MBAP frame at the front of `pending` on as RTU.
    void takeMbapFrames(QByteArray &pending, Route route);
    void handleFrame(const QByteArray &frame, const Route &route);
    void send(const QByteArray &bytes, const Route &route, const char *what);
    void trace(const char *fmt, const QByteArray &bytes = {}, const QString &note = {});

    RecorderModel m_model;
    FaultRules m_faults;
    RequestLog m_log;
    ModbusSlave m_slave;
    std::atomic<int> m_baud{115200};
    bool m_pace = false;
    int m_latencyMs = TurnaroundMs;
    std::vector<std::unique_ptr<Unit>> m_units; // the recorders after the first
    // Paced replies not yet wholly on the line, each from its start time on
    // (never before the one ahead of it has ended).
    struct PacedReply {
        QByteArray octets;
        qint64 startNs = 0;
        qint64 sent = 0;
    };
    std::deque<PacedReply> m_paced;
    qint64 m_lineFreeNs = 0; // when the last paced octet has left
    QTimer *m_paceTimer = nullptr;
    std::atomic<bool> m_verbose{false};
    QElapsedTimer m_clock;
    int m_generation = 0; // replies scheduled before a stop() are not sent

    mutable QMutex m_infoMutex;
    QString m_error;
    QString m_ptyPath;
    QString m_ptyLink;
    quint16 m_tcpPort = 0;

    int m_master = -1;
    int m_slaveFd = -1;
    QSocketNotifier *m_ptyNotifier = nullptr;
    RtuFrameAssembler m_ptyAssembler;

    QTcpServer *m_server = nullptr;
    QUdpSocket *m_udp = nullptr;
    bool m_mbap = false;
    quint16 m_udpPort = 0;
    std::map<QTcpSocket *, TcpClient> m_clients;
};

} // namespace vexs
