// A gateway on a busy shared line passes other masters' traffic on. This
// floods the TCP client from a loopback peer, first between two exchanges,
// then in place of a reply, and prints how far the process's resident memory
// rose above where it stood before, and whether the next exchange still gets
// its reply. Exits non-zero when memory rose by 5 MB or more, or an exchange
// after a flood failed.
//
//   bench_tcp_flood [MiB per flood=64]
//
// Meant for the release build: under AddressSanitizer the freed buffers it
// holds back for checking count as resident and swamp the figure.
#include "bench/process_stats.h"
#include "link/modbus.h"
#include "link/pumping_delay.h"
#include "link/tcp_client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>

using namespace vexs;

namespace {

constexpr quint16 kCount = 48;

// The far end, in a thread of its own: answers each request with a valid
// read reply, or with a flood when one is armed, and floods on demand. It
// writes in chunks as the socket drains, so it holds little itself.
class Peer : public QObject
{
    Q_OBJECT
public:
    std::atomic<qint64> floodOnRequest{0};

    quint16 listen()
    {
        m_server = new QTcpServer(this);
        m_server->listen(QHostAddress::LocalHost, 0);
        connect(m_server, &QTcpServer::newConnection, this, [this] {
            m_socket = m_server->nextPendingConnection();
            connect(m_socket, &QTcpSocket::readyRead, this, &Peer::onRequest);
            connect(m_socket, &QTcpSocket::bytesWritten, this, &Peer::pump);
        });
        return m_server->serverPort();
    }

    void close()
    {
        delete m_server; // and the connection with it
        m_server = nullptr;
        m_socket = nullptr;
    }

public slots:
    void flood(qint64 octets)
    {
        m_left += octets;
        pump();
    }

private:
    void onRequest()
    {
        m_socket->readAll();
        if (const qint64 n = floodOnRequest.exchange(0)) {
            flood(n);
            return;
        }
        QByteArray reply;
        reply.append(char(1)).append(char(FunctionReadInput)).append(char(2 * kCount));
        reply.append(QByteArray(2 * kCount, '\x11'));
        frames::appendCrc(reply);
        m_socket->write(reply);
    }

    void pump()
    {
        static const QByteArray chunk(64 * 1024, '\x55');
        while (m_left > 0 && m_socket && m_socket->bytesToWrite() < 4 * chunk.size()) {
            const qint64 n = std::min<qint64>(m_left, chunk.size());
            m_socket->write(chunk.constData(), n);
            m_left -= n;
        }
    }

    QTcpServer *m_server = nullptr;
    QTcpSocket *m_socket = nullptr;
    qint64 m_left = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 floodOctets = qint64(argc > 1 ? std::max(1, atoi(argv[1])) : 64) << 20;

    QThread peerThread;
    Peer peer;
    peer.moveToThread(&peerThread);
    peerThread.start();
    quint16 port = 0;
    QMetaObject::invokeMethod(&peer, [&] { port = peer.listen(); }, Qt::BlockingQueuedConnection);

    TcpClient tcp;
    qint64 discarded = 0;
    QObject::connect(&tcp, &TcpClient::octetsDiscarded, [&](int n) { discarded += n; });
    tcp.setHost(QStringLiteral("127.0.0.1"));
    tcp.setPort(port);
    tcp.activate();
    for (int i = 0; i < 200 && !tcp.active(); ++i)
        PumpingDelay(10);
    if (!tcp.active()) {
        std::fprintf(stderr, "bench_tcp_flood: cannot connect to the peer\n");
        return 2;
    }
    const QByteArray request = frames::readRequest(1, FunctionReadInput, 0, kCount);
    auto exchangeOk = [&] { return frames::judgeReply(request, tcp.exchange(100, request)) == FrameOutcome::Ok; };
    bool ok = exchangeOk();

    long peakKb = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { peakKb = std::max(peakKb, bench::residentKb()); });
    const long baseKb = bench::residentKb();
    sampler.start(5);
    auto waitForDiscarded = [&](qint64 total) {
        QElapsedTimer t;
        t.start();
        while (discarded < total && t.elapsed() < 60000)
            PumpingDelay(20);
        PumpingDelay(2 * TcpClient::ReportIntervalMs);
        return discarded == total;
    };

    QElapsedTimer timer;
    timer.start();
    const double cpu0 = bench::processCpuMs();
    QMetaObject::invokeMethod(&peer, [&] { peer.flood(floodOctets); });
    ok = waitForDiscarded(floodOctets) && ok;
    const double betweenMs = timer.restart();
    const bool afterBetween = exchangeOk();

    peer.floodOnRequest = floodOctets;
    const QByteArray flooded = tcp.exchange(500, request);
    ok = waitForDiscarded(2 * floodOctets - flooded.size()) && ok;
    const double duringMs = timer.elapsed();
    const bool afterDuring = exchangeOk();
    const double cpuMs = bench::processCpuMs() - cpu0;
    sampler.stop();
    peakKb = std::max(peakKb, bench::residentKb());

    const double growthMb = double(peakKb - baseKb) / 1024.0;
    std::printf("flood of %lld MiB between exchanges: discarded in %.0f ms, next exchange %s\n",
                floodOctets >> 20, betweenMs, afterBetween ? "ok" : "FAILED");
    std::printf("flood of %lld MiB in place of a reply: %lld octets kept, the rest discarded in "
                "%.0f ms, next exchange %s\n",
                floodOctets >> 20, qlonglong(flooded.size()), duringMs, afterDuring ? "ok" : "FAILED");
    std::printf("resident memory %.1f MB before, peak %.1f MB: growth %.2f MB (limit 5); "
                "CPU %.0f ms for %lld MiB\n",
                baseKb / 1024.0, peakKb / 1024.0, growthMb, cpuMs, (2 * floodOctets) >> 20);

    tcp.deactivate();
    QMetaObject::invokeMethod(&peer, [&] { peer.close(); }, Qt::BlockingQueuedConnection);
    peerThread.quit();
    peerThread.wait();
    return ok && afterBetween && afterDuring && growthMb < 5.0 ? 0 : 1;
}

#include "bench_tcp_flood.moc"
