// The traffic monitor: its ring of rows and the table's view of it, the
// texts it saves and copies, the window against an independent Modbus slave
// (libmodbus), and the log file it can send the frames to.

#include "link/modbus.h"
#include "service/live_page.h"
#include "shell/log_file.h"
#include "shell/traffic_monitor.h"
#include "tests/support/captured_boxes.h"
#include "tests/support/window_fixture.h"
#ifdef Q_OS_UNIX
#include "tests/support/modbus_peer.h"
#endif

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace vexs;
using namespace vexs::test;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList modelRow(const TrafficModel &model, int row)
{
    QStringList texts;
    for (int c = 0; c < model.columnCount(); ++c)
        texts << model.data(model.index(row, c), Qt::DisplayRole).toString();
    return texts;
}

const QByteArray kRequest = QByteArray::fromHex("010300000002C40B");
const QByteArray kReply = QByteArray::fromHex("01030400010002" "2A32");

QStringList gMessages;
void captureMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    gMessages << text;
}

} // namespace

class TestTrafficMonitor : public QObject
{
    Q_OBJECT

private slots:
    void ringKeepsTheLastRows_data();
    void ringKeepsTheLastRows();
    void rowsKeepNoTransportBuffer();
    void tableCatchesUpWithTheRing_data();
    void tableCatchesUpWithTheRing();
    void rowsAsTextAndCsv();
    void windowPauseClearCopySave();
    void bulkReadAgainstIndependentSlave();
    void openedFromTheBarAndWithCtrlT();
    void logFileRotates();
    void logFileTakesMessagesAndChainsTheHandler();
};

void TestTrafficMonitor::ringKeepsTheLastRows_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("added");
    QTest::newRow("not full") << 5 << 3;
    QTest::newRow("just full") << 5 << 5;
    QTest::newRow("wrapped") << 5 << 12;
    QTest::newRow("one") << 1 << 4;
}

void TestTrafficMonitor::ringKeepsTheLastRows()
{
    QFETCH(int, capacity);
    QFETCH(int, added);
    TrafficLog log(capacity);
    for (int i = 0; i < added; ++i)
        log.addDiscarded(i, i);
    const int kept = qMin(capacity, added);
    QCOMPARE(log.size(), kept);
    QCOMPARE(log.end(), qint64(added));
    QCOMPARE(log.first(), qint64(added - kept));
    for (int i = 0; i < kept; ++i) {
        QCOMPARE(log.row(i).discarded, added - kept + i);
        QCOMPARE(log.at(log.first() + i), &log.row(i));
    }
    QVERIFY(!log.at(log.first() - 1));
    QVERIFY(!log.at(log.end()));
}

void TestTrafficMonitor::rowsKeepNoTransportBuffer()
{
    // A reply as a device read hands it over: a few octets in a large buffer.
    QByteArray reply = kReply;
    reply.reserve(64 * 1024);
    TrafficLog log;
    log.addReply(0, kRequest, reply);
    QCOMPARE(log.row(0).octets, kReply);
    QVERIFY(log.row(0).octets.capacity() < 1024);
}

void TestTrafficMonitor::tableCatchesUpWithTheRing_data()
{
    QTest::addColumn<int>("before"); // rows the table has seen
    QTest::addColumn<int>("after");  // rows added before it catches up
    QTest::newRow("a few more") << 3 << 2;
    QTest::newRow("wrapped under it") << 8 << 5;
    QTest::newRow("everything replaced") << 8 << 30;
    QTest::newRow("a big jump is a reset") << 0 << 2500;
}

void TestTrafficMonitor::tableCatchesUpWithTheRing()
{
    QFETCH(int, before);
    QFETCH(int, after);
    TrafficLog log(before + after > 100 ? 2000 : 10);
    TrafficModel model(log);
    int n = 0;
    for (; n < before; ++n)
        log.addDiscarded(n, n);
    model.sync();
    for (; n < before + after; ++n)
        log.addDiscarded(n, n);
    // Until it catches up, rows the ring dropped read as empty, never as
    // other rows.
    for (int r = 0; r < model.rowCount(); ++r) {
        const QString text = model.data(model.index(r, traffic::SummaryColumn), Qt::DisplayRole).toString();
        QVERIFY(text.isEmpty() || text == QStringLiteral("Сброшено байт: %1").arg(r));
    }
    model.sync();
    QCOMPARE(model.rowCount(), log.size());
    for (int r = 0; r < model.rowCount(); ++r)
        QCOMPARE(model.rowAt(r), &log.row(r));
    log.clear();
    model.sync();
    QCOMPARE(model.rowCount(), 0);
}

void TestTrafficMonitor::rowsAsTextAndCsv()
{
    const qint64 at = QDateTime(QDate(2024, 3, 12), QTime(9, 7, 5, 123)).toMSecsSinceEpoch();
    TrafficLog log;
    log.addRequest(at, kRequest);
    log.addReply(at + 40, kRequest, kReply);
    log.addReply(at + 1040, kRequest, QByteArray());
    log.addReply(at + 2040, kRequest, failureReply());
    log.addDiscarded(at + 3000, 12);
    QList<const TrafficRow *> rows;
    for (int i = 0; i < log.size(); ++i)
        rows << &log.row(i);

    // Saved rows carry the date; the table shows the time of day only.
    QCOMPARE(traffic::formatRows(rows, traffic::Format::Csv, true),
             QStringLiteral("Время;Направление;Байты;Расшифровка;Результат\r\n"
                            "2024-03-12 09:07:05.123;→;01 03 00 00 00 02 C4 0B;"
                            "Адрес 1, функция 0x03, регистр 0, регистров 2;\r\n"
                            "2024-03-12 09:07:05.163;←;01 03 04 00 01 00 02 2A 32;"
                            "Адрес 1, функция 0x03, байт 4;OK\r\n"
                            "2024-03-12 09:07:06.163;←;;;Нет ответа\r\n"
                            "2024-03-12 09:07:07.163;←;;;Нет связи\r\n"
                            "2024-03-12 09:07:08.123;←;;Сброшено байт: 12;Сброшены запоздавшие байты\r\n"));
    QCOMPARE(traffic::formatRows(rows.mid(1, 1), traffic::Format::Text, false),
             QStringLiteral("2024-03-12 09:07:05.163\t←\t01 03 04 00 01 00 02 2A 32\t"
                            "Адрес 1, функция 0x03, байт 4\tOK\n"));
    QCOMPARE(traffic::rowTexts(*rows[1]).at(traffic::TimeColumn), QStringLiteral("09:07:05.163"));
}

void TestTrafficMonitor::windowPauseClearCopySave()
{
    CapturedBoxes boxes;
    TrafficMonitor monitor(boxes);
    monitor.show();
    ILinkObserver &observer = monitor;
    observer.requestSent(kRequest);
    observer.replyReceived(kRequest, kReply);
    observer.requestSent(kRequest);
    observer.replyReceived(kRequest, kReply.left(5));
    QTRY_COMPARE(monitor.model().rowCount(), 4);
    QCOMPARE(modelRow(monitor.model(), 3).last(), QStringLiteral("Неполный ответ"));

    monitor.view()->selectionModel()->select(
        monitor.model().index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    monitor.view()->selectionModel()->select(
        monitor.model().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    monitor.findChild<QAbstractButton *>(QStringLiteral("ButtonMonitorCopy"))->click();
    const QStringList copied = QApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(copied.size(), 2); // in table order, whatever order they were selected in
    QVERIFY(copied[0].endsWith(QStringLiteral("\tOK")));
    QVERIFY(copied[1].endsWith(QStringLiteral("\tНеполный ответ")));

    QTemporaryDir dir;
    for (const char *name : {"traffic.csv", "traffic.txt"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        monitor.chooseSaveFile = [path] { return path; };
        monitor.findChild<QAbstractButton *>(QStringLiteral("ButtonMonitorSave"))->click();
        const QList<QByteArray> lines = readFile(path).split('\n');
        QCOMPARE(lines.size(), 6); // titles, four rows, nothing after the last line end
        // A spreadsheet takes a CSV file without the byte order mark for
        // the system's code page.
        QVERIFY(lines[0].startsWith(path.endsWith(".csv") ? "\xEF\xBB\xBFВремя;" : "Время\t"));
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}[;\t]")
                     .match(QString::fromUtf8(lines[1]))
                     .hasMatch(),
                 lines[1].constData());
    }
    monitor.chooseSaveFile = [&dir] { return dir.filePath(QStringLiteral("no/such/folder.txt")); };
    monitor.saveClick();
    // The file, and beneath it why.
    const QStringList failed = boxes.lastText().split(QLatin1Char('\n'));
    QCOMPARE(failed.value(0), QStringLiteral("Не удалось записать файл %1")
                                  .arg(dir.filePath(QStringLiteral("no/such/folder.txt"))));
    QVERIFY(!failed.value(1).isEmpty());

    monitor.findChild<QAbstractButton *>(QStringLiteral("ButtonMonitorPause"))->click();
    QVERIFY(monitor.isPaused());
    observer.requestSent(kRequest);
    observer.octetsDiscarded(3);
    QTest::qWait(250);
    QCOMPARE(monitor.log().size(), 4);
    monitor.setPaused(false);
    observer.octetsDiscarded(3);
    QTRY_COMPARE(monitor.model().rowCount(), 5);
    monitor.findChild<QAbstractButton *>(QStringLiteral("ButtonMonitorClear"))->click();
    QCOMPARE(monitor.model().rowCount(), 0);
    QCOMPARE(monitor.log().size(), 0);
}

void TestTrafficMonitor::bulkReadAgainstIndependentSlave()
{
#ifdef Q_OS_UNIX
    ModbusPeer peer;
    QVERIFY(peer.isRunning());
    WindowFixture::Options o;
    o.sim = false;
    o.port = peer.portPath();
    WindowFixture fx(o);
    TrafficMonitor &monitor = fx.window().monitor();

    fx.click(QStringLiteral("Button11"));
    QList<QByteArray> requests;
    QList<const TrafficRow *> replies;
    for (int i = 0; i < monitor.log().size(); ++i) {
        const TrafficRow &row = monitor.log().row(i);
        if (row.kind == TrafficRow::Request)
            requests << row.octets;
        else
            replies << &row;
    }
    // What the slave received, byte for byte, and each answer whole.
    QCOMPARE(requests.size(), 27);
    QCOMPARE(requests, peer.requests());
    QCOMPARE(replies.size(), 27);
    for (int i = 0; i < replies.size(); ++i) {
        QCOMPARE(replies[i]->outcome, FrameOutcome::Ok);
        QCOMPARE(replies[i]->octets.size(), frames::replySizeOf(requests[i]));
    }

    // Opened afterwards, the window shows all of it.
    fx.click(QStringLiteral("ButtonMonitor"));
    QVERIFY(monitor.isVisible());
    QCOMPARE(monitor.model().rowCount(), 54);
    QCOMPARE(modelRow(monitor.model(), 0).mid(1),
             QStringList({"→", "01 03 27 1C 00 0B CF 7F",
                          "Адрес 1, функция 0x03, регистр 10012, регистров 11", ""}));
    QCOMPARE(modelRow(monitor.model(), 1).mid(1, 1), QStringList{"←"});
    QCOMPARE(modelRow(monitor.model(), 1).last(), QStringLiteral("OK"));

    // The slave stops answering: the poll's reply row says so.
    peer.setSilent(true);
    fx.window().findChild<LivePage *>()->TimerDataReadTimer();
    QTRY_COMPARE(monitor.model().rowCount(), 56);
    QCOMPARE(modelRow(monitor.model(), 54)[traffic::OctetsColumn],
             QStringLiteral("01 04 00 00 00 30 F0 1E"));
    QCOMPARE(modelRow(monitor.model(), 55).mid(2),
             QStringList({"", "", "Нет ответа"}));
#else
    QSKIP("the independent slave runs on a pseudo-terminal");
#endif
}

void TestTrafficMonitor::openedFromTheBarAndWithCtrlT()
{
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    TrafficMonitor &monitor = fx.window().monitor();
    // A port that cannot be opened: the reply row says the link failed.
    fx.window().findChild<LivePage *>()->TimerDataReadTimer();
    QCOMPARE(monitor.log().row(1).outcome, FrameOutcome::NoLink);

    QVERIFY(QTest::qWaitForWindowActive(&fx.window()));
    QTest::keyClick(&fx.window(), Qt::Key_T, Qt::ControlModifier);
    QVERIFY(monitor.isVisible());
    QCOMPARE(monitor.windowTitle(), QStringLiteral("Монитор обмена"));
    QCOMPARE(monitor.model().rowCount(), 2);
    monitor.close();
    fx.click(QStringLiteral("ButtonMonitor"));
    QVERIFY(monitor.isVisible());
    // It closes with the main window.
    fx.window().close();
    QVERIFY(!monitor.isVisible());
}

void TestTrafficMonitor::logFileRotates()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vexs.log"));
    RotatingLog log(path, 100, 3);
    const QString line(39, QLatin1Char('x')); // 40 octets with its line end
    for (int i = 0; i < 10; ++i)
        QVERIFY(log.append(line));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             QStringList({"vexs.log", "vexs.log.1", "vexs.log.2"}));
    // Two lines a file; the oldest four lines are gone.
    QCOMPARE(QFileInfo(path).size(), 80);
    QCOMPARE(QFileInfo(path + ".1").size(), 80);
    QCOMPARE(QFileInfo(path + ".2").size(), 80);

    // A full log that cannot be moved aside, or an older file that cannot
    // move on: neither the log nor the older files are lost, however many
    // lines come.
    for (const char *taken : {"vexs.log.rotating/x", "vexs.log.2/x"}) {
        QTemporaryDir stuck;
        const QString stuckPath = stuck.filePath(QStringLiteral("vexs.log"));
        QVERIFY(QDir(stuck.path()).mkpath(QLatin1String(taken)));
        QFile older(stuckPath + ".1");
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write("older\n");
        older.close();
        RotatingLog full(stuckPath, 100, 3);
        QVERIFY(full.append(line));
        QVERIFY(full.append(line));
        QVERIFY(!full.append(line));
        QVERIFY(!full.append(line));
        QCOMPARE(QFileInfo(stuckPath).size(), 80);
        QCOMPARE(QFileInfo(stuckPath + ".1").size(), 6);
    }
}

// Installs the log handler for the rest of this process: the last test.
void TestTrafficMonitor::logFileTakesMessagesAndChainsTheHandler()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vexs.log"));
    QtMessageHandler testHandler = qInstallMessageHandler(captureMessage);
    installLogFile(path);

    qWarning("a warning");
    qCInfo(lcLink, "a protocol event");
    qCDebug(lcLinkFrames, "a frame before");
    {
        // The monitor's checkbox lets the frames in.
        CapturedBoxes boxes;
        TrafficMonitor monitor(boxes);
        monitor.findChild<QCheckBox *>(QStringLiteral("CheckBoxMonitorLog"))->click();
        QVERIFY(framesLogged());
        qCDebug(lcLinkFrames, "a frame after");
        monitor.findChild<QCheckBox *>(QStringLiteral("CheckBoxMonitorLog"))->click();
        QVERIFY(!framesLogged());
    }
    qCDebug(lcLinkFrames, "a frame later");
    qInstallMessageHandler(testHandler);

    const QString text = QString::fromUtf8(readFile(path));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} warning default: a warning$"),
        QRegularExpression::MultilineOption)));
    QVERIFY(text.contains(QStringLiteral(" info vexs.link: a protocol event\n")));
    QVERIFY(text.contains(QStringLiteral(" debug vexs.link.frames: a frame after\n")));
    QVERIFY(!text.contains(QStringLiteral("a frame before")));
    QVERIFY(!text.contains(QStringLiteral("a frame later")));
    // Standard error's handler still sees what its rules let through, and
    // only that.
    QVERIFY(gMessages.contains(QStringLiteral("a warning")));
    QVERIFY(!gMessages.contains(QStringLiteral("a protocol event")));
    QVERIFY(!gMessages.contains(QStringLiteral("a frame after")));
}

QTEST_MAIN(TestTrafficMonitor)
#include "tst_traffic_monitor.moc"
