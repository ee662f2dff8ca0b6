// How the TCP client ends an exchange when the peer goes away: a reset is a
// receive failure raised after the disconnect, a close in order is not, and
// a send into a reset connection fails at once. Between exchanges a reset is
// reported as an asynchronous error, a close in order is not.
#include "link/tcp_client.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>

using namespace vexs;

namespace {

// Closing with a zero linger time sends a reset instead of the orderly end.
void resetConnection(QTcpSocket *socket)
{
    const linger now{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
    socket->abort();
}

} // namespace

class tst_tcp_reset : public QObject
{
    Q_OBJECT
    QTcpServer server;
    QPointer<QTcpSocket> peer;
    std::unique_ptr<TcpClient> tcp;

    // Runs one exchange; the text of the error it raised, or empty.
    QString exchangeError(int waitMs, QByteArray *reply = nullptr, int *disconnectsBefore = nullptr)
    {
        QSignalSpy disconnected(tcp.get(), &TcpClient::disconnected);
        try {
            const QByteArray got = tcp->exchange(waitMs, "request");
            if (reply)
                *reply = got;
            return QString();
        } catch (const ESocketError &e) {
            if (disconnectsBefore)
                *disconnectsBefore = int(disconnected.size());
            return QString::fromUtf8(e.what());
        }
    }

private slots:
    void init();
    void cleanup();
    void peerEndsDuringTheWait_data();
    void peerEndsDuringTheWait();
    void sendIntoResetConnectionFailsAtOnce();
    void peerEndsBetweenExchanges_data();
    void peerEndsBetweenExchanges();
};

void tst_tcp_reset::init()
{
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    tcp = std::make_unique<TcpClient>();
    tcp->setHost(QStringLiteral("127.0.0.1"));
    tcp->setPort(server.serverPort());
    tcp->activate();
    QTRY_VERIFY(tcp->active() && server.hasPendingConnections());
    peer = server.nextPendingConnection();
}

void tst_tcp_reset::cleanup()
{
    tcp.reset();
    delete peer;
    server.close();
}

enum class End { Reset, Close, UserStop };

void tst_tcp_reset::peerEndsDuringTheWait_data()
{
    QTest::addColumn<End>("end");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("reset") << End::Reset << QByteArray();
    QTest::newRow("reset after part of a reply") << End::Reset << QByteArray("\x01\x03", 2);
    QTest::newRow("close in order") << End::Close << QByteArray();
    QTest::newRow("close in order after part of a reply") << End::Close << QByteArray("\x01\x03", 2);
    QTest::newRow("Stop pressed") << End::UserStop << QByteArray();
}

void tst_tcp_reset::peerEndsDuringTheWait()
{
    QFETCH(End, end);
    QFETCH(QByteArray, sent);
    const bool reset = end == End::Reset;
    connect(peer, &QTcpSocket::readyRead, this, [&] {
        peer->readAll();
        peer->write(sent);
        peer->flush();
        if (reset)
            resetConnection(peer);
        else if (end == End::Close)
            peer->disconnectFromHost();
        else
            QTimer::singleShot(50, tcp.get(), [this] { tcp->deactivate(); });
    });
    QByteArray reply = "unset";
    int disconnectsBefore = -1;
    QElapsedTimer timer;
    timer.start();
    const QString error = exchangeError(5000, &reply, &disconnectsBefore);
    QVERIFY2(timer.elapsed() < 2000, "a lost connection ends the wait");
    QVERIFY(!tcp->active());
    if (reset) {
        QCOMPARE(error, QStringLiteral(
                            "Windows socket error: Connection reset by peer (104), on API 'recv'"));
        QCOMPARE(disconnectsBefore, 1);
    } else {
        QCOMPARE(error, QString());
        QCOMPARE(reply, sent);
    }
}

void tst_tcp_reset::sendIntoResetConnectionFailsAtOnce()
{
    resetConnection(peer);
    QThread::msleep(20); // the reset arrives while the client's events wait
    QElapsedTimer timer;
    timer.start();
    int disconnectsBefore = -1;
    QCOMPARE(exchangeError(2000, nullptr, &disconnectsBefore),
             QStringLiteral("Windows socket error: Connection reset by peer (104), on API 'send'"));
    QVERIFY2(timer.elapsed() < 1000, "a failed send must not wait for a reply");
    QCOMPARE(disconnectsBefore, 1);
    QVERIFY(!tcp->active());
}

void tst_tcp_reset::peerEndsBetweenExchanges_data()
{
    QTest::addColumn<bool>("reset");
    QTest::addColumn<QStringList>("reported");
    QTest::newRow("close in order") << false << QStringList();
    QTest::newRow("reset") << true << QStringList{QStringLiteral("Asynchronous socket error 104")};
}

void tst_tcp_reset::peerEndsBetweenExchanges()
{
    QFETCH(bool, reset);
    QFETCH(QStringList, reported);
    QSignalSpy disconnected(tcp.get(), &TcpClient::disconnected);
    QStringList errors;
    connect(tcp.get(), &TcpClient::asyncError, this, [&errors](const QString &e) { errors << e; });
    if (reset)
        resetConnection(peer);
    else
        peer->disconnectFromHost();
    QTRY_COMPARE(disconnected.size(), 1);
    QTest::qWait(20);
    QCOMPARE(errors, reported);
    QCOMPARE(exchangeError(50), QString());
}

QTEST_GUILESS_MAIN(tst_tcp_reset)
#include "tst_tcp_reset_unix.moc"
