// The measurement page's trend and CSV recording: the rows a poll writes,
// the values the chart draws and where it leaves gaps, and both on the page
// against the simulated recorder, a lost link included.

#include "link/link_activity.h"
#include "service/live_csv.h"
#include "service/live_page.h"
#include "service/live_record.h"
#include "service/trend_window.h"
#include "tests/support/window_fixture.h"
#include "ui/controls.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <bit>
#include <cmath>

using namespace vexs;
using namespace vexs::test;

namespace {

void putFloat(QByteArray &record, int at, float value)
{
    const quint32 bits = std::bit_cast<quint32>(value);
    for (int i = 0; i < 4; ++i)
        record[at + i] = char((bits >> (8 * i)) & 0xFF);
}

// Channel n (0..3) reads 10n + 0.5 with status n, its physical value n;
// math channel m reads -m with error code 0, except M4, which is not a number.
QByteArray record()
{
    QByteArray r(96, '\0');
    for (int n = 0; n < 4; ++n) {
        r[9 + 14 * n] = char(n);
        putFloat(r, 10 + 14 * n, 10.0f * n + 0.5f);
        putFloat(r, 14 + 14 * n, float(n));
        putFloat(r, 66 + 6 * n, n == 3 ? NAN : -float(n));
    }
    return r;
}

QList<QByteArray> fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines)
        line.chop(1); // the CR
    return lines;
}

} // namespace

class TestTrendCsv : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void csvRows();
    void trendValuesAreTheShownNumbers();
    void bufferKeepsTenMinutesAndBreaksAtGaps_data();
    void bufferKeepsTenMinutesAndBreaksAtGaps();
    void csvOnThePageAcrossALostLink();
    void csvFileRefused();
    void trendWindowOnThePage();
    void scaleHoldsEveryLine_data();
    void scaleHoldsEveryLine();
};

void TestTrendCsv::csvRows()
{
    QCOMPARE(livecsv::headerRow().split(u';').size(), 22);
    QVERIFY(livecsv::headerRow().startsWith(
        QStringLiteral("Время;Связь;Канал 1 параметр;Канал 1 физ. параметр;Канал 1 ошибка;Канал 2")));
    QVERIFY(livecsv::headerRow().endsWith(QStringLiteral("Канал M4 значение;Канал M4 ошибка")));

    const QDateTime at(QDate(2024, 3, 12), QTime(9, 7, 5));
    const LiveView view = *decodeLiveRecord(record());
    QCOMPARE(livecsv::pollRow(at, &view),
             QStringLiteral("12.03.2024 09:07:05;Есть связь;0,500;0,000;0;10,500;1,000;1;"
                            "20,500;2,000;2;30,500;3,000;3;0,000;0;-1,000;0;-2,000;0;NAN;0"));
    QCOMPARE(livecsv::pollRow(at, nullptr),
             QStringLiteral("12.03.2024 09:07:05;Нет связи") + QString(20, u';'));
}

void TestTrendCsv::trendValuesAreTheShownNumbers()
{
    QByteArray r = record();
    putFloat(r, 10, 12345678.0f); // shown as 1,23457E+7
    const TrendValues v = trendValues(*decodeLiveRecord(r));
    QCOMPARE(v[0], 12345700.0);
    QCOMPARE(v[3], 30.5);
    QCOMPARE(v[6], -2.0);
    QVERIFY(std::isnan(v[7]));
}

void TestTrendCsv::bufferKeepsTenMinutesAndBreaksAtGaps_data()
{
    // One character a second: a good poll, '_' for one without a record, or
    // ' ' for no poll at all.
    QTest::addColumn<QString>("polls");
    QTest::addColumn<qint64>("spanMs");
    QTest::addColumn<QList<int>>("runs"); // lengths of the lines drawn
    QTest::newRow("unbroken") << "xxxx" << qint64(600000) << QList<int>{4};
    QTest::newRow("gaps") << "xx_x__xxx" << qint64(600000) << QList<int>{2, 1, 3};
    QTest::newRow("only gaps") << "___" << qint64(600000) << QList<int>{};
    QTest::newRow("older than the span go") << "xxxxx_xx" << qint64(3000) << QList<int>{1, 2};
    QTest::newRow("silence of four seconds") << "xx   xx" << qint64(600000) << QList<int>{2, 2};
    QTest::newRow("two ticks skipped") << "xx  xx" << qint64(600000) << QList<int>{4};
}

void TestTrendCsv::bufferKeepsTenMinutesAndBreaksAtGaps()
{
    QFETCH(QString, polls);
    QFETCH(qint64, spanMs);
    QFETCH(QList<int>, runs);
    TrendBuffer buffer(spanMs);
    TrendValues values;
    values.fill(1.0);
    for (int i = 0; i < polls.size(); ++i) {
        if (polls[i] != u' ')
            buffer.add(1000 * i, polls[i] == u'x' ? std::optional(values) : std::nullopt);
    }
    QVERIFY(buffer.samples().back().timeMs - buffer.samples().front().timeMs <= spanMs);
    const QList<QList<QPointF>> segments = buffer.segments(0);
    QList<int> lengths;
    for (const QList<QPointF> &s : segments)
        lengths << int(s.size());
    QCOMPARE(lengths, runs);

    // A clock set back drops only the samples now ahead of it.
    const qint64 setBack = buffer.samples().back().timeMs - 1500;
    const auto kept = std::count_if(buffer.samples().begin(), buffer.samples().end(),
                                    [setBack](const TrendSample &s) { return s.timeMs <= setBack; });
    buffer.add(setBack, values);
    QCOMPARE(buffer.samples().size(), size_t(kept + 1));
    QCOMPARE(buffer.samples().back().timeMs, setBack);
}

void TestTrendCsv::csvOnThePageAcrossALostLink()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("live.csv"));
    WindowFixture fx;
    fx.sim().model().setLiveRecord(record());
    auto *page = fx.window().findChild<LivePage *>();
    auto *box = fx.window().findChild<QCheckBox *>(QStringLiteral("CheckBoxCsv"));

    // Cancelled: nothing is recorded.
    page->chooseCsvFile = [] { return QString(); };
    box->click();
    QVERIFY(!box->isChecked());
    QVERIFY(!page->csv().isOpen());

    // Clicked while a poll waits: the file is chosen after it, not inside.
    int asked = 0;
    page->chooseCsvFile = [path, &asked] { ++asked; return path; };
    {
        LinkActivity::Exchanging polling(fx.window().context().activity);
        box->click();
        QCOMPARE(asked, 0);
    }
    QTRY_COMPARE(asked, 1);
    QVERIFY(box->isChecked());
    QVERIFY(page->csv().isOpen());
    page->TimerDataReadTimer();
    fx.sim().faults().add(FaultRule{FaultRule::Silent});
    page->TimerDataReadTimer();
    page->TimerDataReadTimer();
    fx.sim().faults().clear();
    page->TimerDataReadTimer();
    fx.click(QStringLiteral("Button12"));
    QVERIFY(!page->csv().isOpen());
    QVERIFY(!box->isChecked());
    page->TimerDataReadTimer(); // stopped: no more rows

    const QList<QByteArray> lines = fileLines(path);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(QString::fromUtf8(lines[0]), livecsv::headerRow());
    const QStringList status = {"Есть связь", "Нет связи", "Нет связи", "Есть связь"};
    for (int i = 1; i <= 4; ++i) {
        const QStringList fields = QString::fromUtf8(lines[i]).split(u';');
        QCOMPARE(fields.size(), 22);
        QVERIFY(QDateTime::fromString(fields[0], QStringLiteral("dd.MM.yyyy hh:mm:ss")).isValid());
        QCOMPARE(fields[1], status[i - 1]);
        QCOMPARE(fields[2], status[i - 1] == "Нет связи" ? QString() : QStringLiteral("0,500"));
    }
    QVERIFY(fx.boxes.boxes.isEmpty());
}

void TestTrendCsv::csvFileRefused()
{
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    auto *page = fx.window().findChild<LivePage *>();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/live.csv"));
    page->chooseCsvFile = [path] { return path; };
    auto *box = fx.window().findChild<QCheckBox *>(QStringLiteral("CheckBoxCsv"));
    box->click();
    QVERIFY(!box->isChecked());
    QCOMPARE(fx.boxes.lastText(), QStringLiteral("Не удалось создать файл %1").arg(path));
}

void TestTrendCsv::trendWindowOnThePage()
{
    WindowFixture fx;
    fx.sim().model().setLiveRecord(record());
    auto *page = fx.window().findChild<LivePage *>();
    // Polled before the window is first opened: it shows those too.
    page->TimerDataReadTimer();
    fx.click(QStringLiteral("ButtonTrend"));
    TrendWindow *trend = page->trendWindow();
    QVERIFY(trend && trend->isVisible());
    QCOMPARE(trend->windowTitle(), QStringLiteral("Тренд"));
    fx.sim().faults().add(FaultRule{FaultRule::Silent});
    page->TimerDataReadTimer();
    fx.sim().faults().clear();
    page->TimerDataReadTimer();

    QCOMPARE(trend->drawnPoints(1).size(), 2);
    QCOMPARE(trend->drawnPoints(1).last().y(), 10.5);
    QCOMPARE(trend->drawnPoints(7).size(), 0); // not a number: nothing drawn
    const qint64 newest = page->trend().samples().back().timeMs;
    QCOMPARE(trend->timeToMs(), newest);
    QCOMPARE(trend->timeFromMs(), newest - 10 * 60 * 1000);

    fx.window().findChild<QCheckBox *>(QStringLiteral("CheckBoxTrend2"))->click();
    QVERIFY(trend->drawnPoints(1).isEmpty());
    trend->setSeriesShown(1, true);

    fx.window().findChild<QAbstractButton *>(QStringLiteral("ButtonTrendPause"))->click();
    page->TimerDataReadTimer();
    QCOMPARE(trend->drawnPoints(1).size(), 2);
    trend->setPaused(false);
    QCOMPARE(trend->drawnPoints(1).size(), 3);
    QVERIFY(fx.boxes.boxes.isEmpty());

    fx.window().close();
    QVERIFY(!trend->isVisible());
}

void TestTrendCsv::scaleHoldsEveryLine_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    const double big = 3.40282e38; // the largest single-precision value
    QTest::newRow("one value") << 250.0 << 250.0;
    QTest::newRow("zero") << 0.0 << 0.0;
    QTest::newRow("range") << -50.0 << 250.0;
    QTest::newRow("1e17 constant") << 1e17 << 1e17;
    QTest::newRow("largest constant") << big << big;
    QTest::newRow("both extremes") << -big << big;
}

void TestTrendCsv::scaleHoldsEveryLine()
{
    QFETCH(double, low);
    QFETCH(double, high);
    const TrendScale s = trendScale(low, high);
    QVERIFY(std::isfinite(s.low) && std::isfinite(s.high) && std::isfinite(s.step));
    QVERIFY(s.step > 0);
    QVERIFY(s.low <= low && s.high >= high && s.low < s.high);
    QVERIFY((s.high - s.low) / s.step <= 12);
}

QTEST_MAIN(TestTrendCsv)
#include "tst_trend_csv.moc"
