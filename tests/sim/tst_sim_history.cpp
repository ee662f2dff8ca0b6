// The simulator's records of what it received stay bounded: the request log
// and the command writes keep only the most recent entries.
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

QTEST_APPLESS_MAIN(tst_sim_history)
#include "tst_sim_history.moc"
