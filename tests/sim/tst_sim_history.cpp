// The simulator's records of what it received stay bounded: the request log
// and the command writes keep only the most recent entries. Its second-reply
// fault answers from a real slave address.
#include "link/crc.h"
#include "sim/faults.h"
#include "sim/recorder_model.h"
#include "sim/request_log.h"

#include <QTest>

using namespace vexs;

class tst_sim_history : public QObject
{
    Q_OBJECT
private slots:
    void keepsTheLatestOnly_data();
    void keepsTheLatestOnly();
    void secondReplyFromTheNextSlave_data();
    void secondReplyFromTheNextSlave();
};

void tst_sim_history::keepsTheLatestOnly_data()
{
    QTest::addColumn<bool>("requestLog");
    QTest::newRow("request log") << true;
    QTest::newRow("command writes") << false;
}

void tst_sim_history::keepsTheLatestOnly()
{
    QFETCH(bool, requestLog);
    const int kept = requestLog ? RequestLog::Kept : RecorderModel::KeptCommandWrites;
    QCOMPARE(kept, 10000);
    auto payload = [](int i) { return QByteArray(1, char(i >> 8)).append(char(i)); };
    RequestLog log;
    RecorderModel model;
    const int total = kept + 5;
    for (int i = 0; i < total; ++i) {
        if (requestLog)
            log.append(payload(i), RequestLog::Direct);
        else
            QCOMPARE(model.writeHolding(10011, 1, payload(i)), RecorderModel::NoException);
    }
    QList<QByteArray> got = log.frames();
    if (!requestLog) {
        for (const RecorderModel::CommandWrite &w : model.commandWrites())
            got.append(w.data);
    }
    QCOMPARE(got.size(), kept);
    QCOMPARE(got.first(), payload(total - kept));
    QCOMPARE(got.last(), payload(total - 1));
}

void tst_sim_history::secondReplyFromTheNextSlave_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("other");
    QTest::newRow("1") << 1 << 2;
    QTest::newRow("246") << 246 << 247;
    QTest::newRow("247 wraps to 1") << 247 << 1;
    QTest::newRow("255 wraps to 1, never broadcast") << 255 << 1;
}

void tst_sim_history::secondReplyFromTheNextSlave()
{
    QFETCH(int, address);
    QFETCH(int, other);
    QByteArray reply = QByteArray::fromHex("0006000a0001");
    reply[0] = char(address);
    const quint16 crc = Crc16Modbus(reply);
    reply.append(char(crc & 0xFF)).append(char(crc >> 8));
    FaultPlan plan;
    plan.secondReply = true;
    const QByteArray out = plan.mangle(reply);
    QCOMPARE(out.left(8), reply);
    QCOMPARE(int(quint8(out.at(8))), other);
    QCOMPARE(Crc16Modbus(out.mid(8)), quint16(0)); // the second frame's CRC holds
}

QTEST_APPLESS_MAIN(tst_sim_history)
#include "tst_sim_history.moc"
