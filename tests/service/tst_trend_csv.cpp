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
#include <QImage>
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
    void csvDecimalWhateverTheLocale_data();
    void csvDecimalWhateverTheLocale();
    void trendValuesAreTheShownNumbers();
    void bufferKeepsTenMinutesAndBreaksAtGaps_data();
    void bufferKeepsTenMinutesAndBreaksAtGaps();
    void csvOnThePageAcrossALostLink_data();
    void csvOnThePageAcrossALostLink();
    void csvFileRefused();
    void trendWindowOnThePage();
    void scaleHoldsEveryLine_data();
    void scaleHoldsEveryLine();
    void legendAndSwitchedOffSeries_data();
    void legendAndSwitchedOffSeries();
    void oneAxisPerUnits_data();
    void oneAxisPerUnits();
    void trendFollowsTheChannelSettingsAndPauseHolds();
    void savePng_data();
    void savePng();
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

void TestTrendCsv::csvDecimalWhateverTheLocale_data()
{
    QTest::addColumn<QLocale>("locale"); // the page's values are shown in it
    QTest::addColumn<bool>("point");
    QTest::addColumn<QString>("row");
    const QString commas = QStringLiteral("12.03.2024 09:07:05;Есть связь;1,23457E+7;0,000;0;10,500;1,000;1;"
                                          "20,500;2,000;2;30,500;3,000;3;0,000;0;-1,000;0;-2,000;0;NAN;0");
    const QString points = QStringLiteral("12.03.2024 09:07:05;Есть связь;1.23457E+7;0.000;0;10.500;1.000;1;"
                                          "20.500;2.000;2;30.500;3.000;3;0.000;0;-1.000;0;-2.000;0;NAN;0");
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QTest::newRow("Russian, points") << russian << true << points;
    // vexs-cli under LC_ALL=C, or a machine set to English.
    QTest::newRow("C, commas") << QLocale::c() << false << commas;
    QTest::newRow("C, points") << QLocale::c() << true << points;
}

void TestTrendCsv::csvDecimalWhateverTheLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(bool, point);
    QFETCH(QString, row);
    struct Restore
    {
        ~Restore() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    } restore;
    QLocale::setDefault(locale);
    QByteArray r = record();
    putFloat(r, 10, 12345678.0f);
    const LiveView view = *decodeLiveRecord(r);
    const CsvDecimal decimal = point ? CsvDecimal::Point : CsvDecimal::Comma;
    const QDateTime at(QDate(2024, 3, 12), QTime(9, 7, 5));
    QCOMPARE(livecsv::pollRow(at, &view, decimal), row);

    // The recorder writes the rows as they are, after the mark and the header.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("live.csv"));
    LiveCsvRecorder file;
    QVERIFY(file.open(path, decimal));
    QVERIFY(file.append(at, &view));
    file.close();
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(),
             "\xEF\xBB\xBF" + livecsv::headerRow().toUtf8() + "\r\n" + row.toUtf8() + "\r\n");
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

void TestTrendCsv::csvOnThePageAcrossALostLink_data()
{
    QTest::addColumn<bool>("point"); // "Точка в CSV" ticked
    QTest::addColumn<QString>("value");
    QTest::newRow("decimal commas") << false << "0,500";
    QTest::newRow("decimal points") << true << "0.500";
}

void TestTrendCsv::csvOnThePageAcrossALostLink()
{
    QFETCH(bool, point);
    QFETCH(QString, value);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("live.csv"));
    WindowFixture fx;
    fx.sim().model().setLiveRecord(record());
    auto *page = fx.window().findChild<LivePage *>();
    auto *box = fx.window().findChild<QCheckBox *>(QStringLiteral("CheckBoxCsv"));
    auto *pointBox = fx.window().findChild<QCheckBox *>(QStringLiteral("CheckBoxCsvPoint"));
    QVERIFY(!pointBox->isChecked());
    if (point)
        pointBox->click();

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
    // One file never mixes the two separators.
    QVERIFY(!pointBox->isEnabled());
    page->TimerDataReadTimer();
    fx.sim().faults().add(FaultRule{FaultRule::Silent});
    page->TimerDataReadTimer();
    page->TimerDataReadTimer();
    fx.sim().faults().clear();
    page->TimerDataReadTimer();
    fx.click(QStringLiteral("Button12"));
    QVERIFY(!page->csv().isOpen());
    QVERIFY(!box->isChecked());
    QVERIFY(pointBox->isEnabled());
    page->TimerDataReadTimer(); // stopped: no more rows

    const QList<QByteArray> lines = fileLines(path);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], "\xEF\xBB\xBF" + livecsv::headerRow().toUtf8());
    const QStringList status = {"Есть связь", "Нет связи", "Нет связи", "Есть связь"};
    for (int i = 1; i <= 4; ++i) {
        const QStringList fields = QString::fromUtf8(lines[i]).split(u';');
        QCOMPARE(fields.size(), 22);
        QVERIFY(QDateTime::fromString(fields[0], QStringLiteral("dd.MM.yyyy hh:mm:ss")).isValid());
        QCOMPARE(fields[1], status[i - 1]);
        QCOMPARE(fields[2], status[i - 1] == "Нет связи" ? QString() : value);
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

void TestTrendCsv::legendAndSwitchedOffSeries_data()
{
    QTest::addColumn<int>("series");
    QTest::addColumn<QString>("units"); // of the series' own channel
    QTest::addColumn<int>("off");       // a series read as switched off, or -1
    QTest::addColumn<int>("absent");    // a channel 0..3 without its module, or -1
    QTest::addColumn<QString>("legend");
    QTest::addColumn<QString>("why"); // empty: drawn
    QTest::newRow("nothing read") << 0 << "" << -1 << -1 << "Канал 1" << "";
    QTest::newRow("units") << 5 << "кПа" << -1 << -1 << "Канал M2, кПа" << "";
    QTest::newRow("switched off") << 2 << "В" << 2 << -1 << "Канал 3, В" << "Канал выключен";
    QTest::newRow("another one off") << 0 << "" << 4 << 1 << "Канал 1" << "";
    QTest::newRow("no module") << 1 << "" << -1 << 1 << "Канал 2" << "Модуль не установлен";
    QTest::newRow("math off") << 7 << "" << 7 << -1 << "Канал M4" << "Канал выключен";
    // A math channel follows its own switch, whatever its inputs.
    QTest::newRow("math of a missing module") << 4 << "" << 0 << 0 << "Канал M1" << "";
}

void TestTrendCsv::legendAndSwitchedOffSeries()
{
    QFETCH(int, series);
    QFETCH(QString, units);
    QFETCH(int, off);
    QFETCH(int, absent);
    QFETCH(QString, legend);
    QFETCH(QString, why);
    ChannelSettings settings;
    (series < 4 ? settings.units[series] : settings.mathUnits[series - 4]) = units;
    if (off >= 0)
        (off < 4 ? settings.off[off] : settings.mathOff[off - 4]) = true;
    if (absent >= 0)
        settings.absent[absent] = true;
    QCOMPARE(trendLegendText(series, settings), legend);
    QCOMPARE(trendSeriesOff(series, settings), why);
}

void TestTrendCsv::oneAxisPerUnits_data()
{
    QTest::addColumn<QStringList>("units");    // of series 0..7
    QTest::addColumn<QList<double>>("values"); // one per series; NaN: no points
    QTest::addColumn<QStringList>("axes");     // "units:series,..."
    const double no = NAN;
    QTest::newRow("units unknown") << QStringList(8, QString()) << QList<double>{1, 2, 3, 4, 5, 6, 7, 8}
                                   << QStringList{":0,1,2,3,4,5,6,7"};
    QTest::newRow("a pressure beside temperatures")
        << QStringList{"°C", "°C", "кПа", "", "°C", "кПа", "", ""}
        << QList<double>{20, 25, 800, 1, 21, no, no, no} << QStringList{"°C:0,1,4", "кПа:2", ":3"};
    QTest::newRow("no points") << QStringList(8, "°C") << QList<double>(8, no) << QStringList{":"};
}

void TestTrendCsv::oneAxisPerUnits()
{
    QFETCH(QStringList, units);
    QFETCH(QList<double>, values);
    QFETCH(QStringList, axes);
    std::array<QString, kTrendSeries> unitsOf;
    TrendRuns runs;
    for (int s = 0; s < kTrendSeries; ++s) {
        unitsOf[s] = units[s];
        if (!std::isnan(values[s]))
            runs[s] = {{QPointF(0, values[s]), QPointF(1000, values[s])}};
    }
    QStringList described;
    for (const TrendAxis &axis : trendAxes(unitsOf, runs)) {
        QStringList series;
        for (int s : axis.series)
            series << QString::number(s);
        described << axis.units + u':' + series.join(u',');
        // The values lie far apart, so an axis holds its own lines and no
        // other's: temperatures are not squeezed under a scale that reaches
        // the pressure.
        for (int s = 0; s < kTrendSeries; ++s) {
            if (!std::isnan(values[s]))
                QCOMPARE(axis.scale.low <= values[s] && values[s] <= axis.scale.high,
                         axis.series.contains(s));
        }
    }
    QCOMPARE(described, axes);
}

void TestTrendCsv::trendFollowsTheChannelSettingsAndPauseHolds()
{
    WindowFixture fx;
    fx.sim().model().setLiveRecord(record());
    auto *page = fx.window().findChild<LivePage *>();
    page->TimerDataReadTimer();
    fx.click(QStringLiteral("ButtonTrend"));
    TrendWindow *trend = page->trendWindow();
    const qint64 first = page->trend().samples().back().timeMs;

    // Paused, then polled, read and switched: the minutes shown stay.
    trend->setPaused(true);
    QTest::qWait(20);
    page->TimerDataReadTimer();
    fx.click(QStringLiteral("Button11"));
    trend->setSeriesShown(1, false);
    trend->setSeriesShown(1, true);
    QCOMPARE(trend->timeToMs(), first);
    QCOMPARE(trend->drawnPoints(0).size(), 1);

    // The recorder's factory settings: channel 4, M3 and M4 switched off.
    const QStringList legend = {"Канал 1, кПа", "Канал 2, °C", "Канал 3, °C", "Канал 4, В",
                                "Канал M1, %", "Канал M2, °C", "Канал M3, ед", "Канал M4, кПа"};
    for (int s = 0; s < kTrendSeries; ++s) {
        auto *box = trend->findChild<QCheckBox *>(QStringLiteral("CheckBoxTrend%1").arg(s + 1));
        QCOMPARE(box->text(), legend[s]);
        const bool off = s == 3 || s == 6 || s == 7;
        QCOMPARE(box->isEnabled(), !off);
        QCOMPARE(trend->drawnPoints(s).isEmpty(), off);
    }

    // Resumed, it catches up.
    trend->setPaused(false);
    QCOMPARE(trend->timeToMs(), page->trend().samples().back().timeMs);
    QVERIFY(trend->timeToMs() > first);
    QCOMPARE(trend->drawnPoints(0).size(), 2);
    QVERIFY(fx.boxes.boxes.isEmpty());
}

void TestTrendCsv::savePng_data()
{
    QTest::addColumn<QString>("name"); // in a temporary folder
    QTest::addColumn<bool>("saved");
    QTest::newRow("saved") << "trend.png" << true;
    QTest::newRow("folder missing") << "missing/trend.png" << false;
}

void TestTrendCsv::savePng()
{
    QFETCH(QString, name);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    auto *page = fx.window().findChild<LivePage *>();
    fx.click(QStringLiteral("ButtonTrend"));
    page->trendWindow()->choosePngFile = [path] { return path; };
    fx.click(QStringLiteral("ButtonTrendPng"));

    QFile file(path);
    QCOMPARE(file.open(QIODevice::ReadOnly), saved);
    if (saved) {
        QCOMPARE(file.read(8), QByteArray("\x89PNG\r\n\x1A\n", 8));
        QVERIFY(!QImage(path).isNull());
        QVERIFY(fx.boxes.boxes.isEmpty());
    } else {
        QVERIFY2(fx.boxes.lastText().startsWith("Не удалось записать файл " + path + "\n"),
                 qPrintable(fx.boxes.lastText()));
    }
}

QTEST_MAIN(TestTrendCsv)
#include "tst_trend_csv.moc"
