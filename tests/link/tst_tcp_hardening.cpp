// The TCP client against a loopback peer that floods it, and the host texts
// it refuses.
#include "link/tcp_client.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace vexs;

class tst_tcp_hardening : public QObject
{
    Q_OBJECT
    QTcpServer server;
    QPointer<QTcpSocket> peer;
    std::unique_ptr<TcpClient> tcp;
    qint64 discarded = 0;
    // What the peer sends back for each request.
    QByteArray answer;

private slots:
    void init();
    void cleanup();
    void floodIsBounded_data();
    void floodIsBounded();
    void hostText_data();
    void hostText();
};

void tst_tcp_hardening::init()
{
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    tcp = std::make_unique<TcpClient>();
    connect(tcp.get(), &TcpClient::octetsDiscarded, this, [this](int n) { discarded += n; });
    discarded = 0;
    answer = "pong";
    tcp->setHost(QStringLiteral("127.0.0.1"));
    tcp->setPort(server.serverPort());
    tcp->activate();
    QTRY_VERIFY(tcp->active() && server.hasPendingConnections());
    peer = server.nextPendingConnection();
    connect(peer, &QTcpSocket::readyRead, this, [this] {
        peer->readAll();
        peer->write(answer);
    });
}

void tst_tcp_hardening::cleanup()
{
    tcp.reset();
    delete peer;
    server.close();
}

void tst_tcp_hardening::floodIsBounded_data()
{
    QTest::addColumn<bool>("duringExchange");
    QTest::newRow("between exchanges") << false;
    QTest::newRow("during an exchange") << true;
}

void tst_tcp_hardening::floodIsBounded()
{
    QFETCH(bool, duringExchange);
    QByteArray flood(1 << 20, '\0');
    for (int i = 0; i < flood.size(); ++i)
        flood[i] = char(i * 7 / 5);
    if (duringExchange) {
        answer = flood;
        const QByteArray reply = tcp->exchange(300, "ping");
        QCOMPARE(reply.size(), TcpClient::MaxReplyOctets);
        QCOMPARE(reply, flood.left(TcpClient::MaxReplyOctets));
        answer = "pong";
    } else {
        peer->write(flood);
    }
    // Every octet beyond what an exchange keeps is thrown away and counted.
    const qint64 expected = flood.size() - (duringExchange ? TcpClient::MaxReplyOctets : 0);
    QTRY_COMPARE(discarded, expected);
    QCOMPARE(tcp->exchange(100, "ping"), QByteArray("pong"));
    QCOMPARE(discarded, expected);
}

void tst_tcp_hardening::hostText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("host");
    QTest::newRow("blanks around") << " 10.0.0.1 " << "10.0.0.1";
    QTest::newRow("pasted line end") << "10.0.0.1\r\n" << "";
    QTest::newRow("line feed inside") << "10.0.0.1\nevil=1" << "";
    QTest::newRow("tab") << "\t10.0.0.1" << "";
    QTest::newRow("zero character") << QStringLiteral("10.0.0.1") + QChar(0) << "";
    QTest::newRow("line separator") << QStringLiteral("gateway\u2028local") << "";
    QTest::newRow("no-break blank inside") << QStringLiteral("gateway\u00A0local") << "";
}

void tst_tcp_hardening::hostText()
{
    QFETCH(QString, typed);
    QFETCH(QString, host);
    TcpClient client;
    QCOMPARE(client.setHost(typed), !host.isEmpty());
    bool ok = true;
    QCOMPARE(TcpClient::normalizeHost(typed, &ok), host);
    QCOMPARE(ok, !host.isEmpty());
}

QTEST_GUILESS_MAIN(tst_tcp_hardening)
#include "tst_tcp_hardening.moc"
