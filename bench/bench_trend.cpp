// The measurement page polling once a second with the trend window open and
// "Запись в CSV" on, against the recorder simulator in a separate process
// (so its work is not counted here):
//   - the CSV file has one row per poll;
//   - process CPU (target: under 2 % of one core);
//   - resident memory (VmRSS) growth over the run (target: under 2 MB over
//     10 minutes, i.e. `bench_trend 600`, when the chart's ten minutes
//     have filled).
//
//   bench_trend [seconds=60] [--no-trend] [--no-csv]
//
// The options leave the trend window closed or the recording off, to see
// what each costs.
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. The simulator serves
// a pseudo-terminal at 115200 bit/s.
#include "bench/process_stats.h"
#include "bench/sim_process.h"
#include "service/live_csv.h"
#include "service/live_page.h"
#include "service/trend_window.h"
#include "shell/form_main.h"
#include "tests/support/captured_boxes.h"
#include "ui/controls.h"
#include "ui/page_context.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace vexs;

namespace {

// Runs the event loop for a while without spinning.
void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

qint64 lineCount(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().count('\n');
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);

    int seconds = 60;
    bool trend = true, csv = true;
    for (const QString &arg : app.arguments().mid(1)) {
        if (arg == QLatin1String("--no-trend")) {
            trend = false;
            continue;
        }
        if (arg == QLatin1String("--no-csv")) {
            csv = false;
            continue;
        }
        bool ok = false;
        seconds = arg.toInt(&ok);
        if (!ok || seconds <= 0) {
            std::fprintf(stderr, "usage: bench_trend [seconds=60] [--no-trend] [--no-csv]\n");
            return 2;
        }
    }

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyBENCH"));
    QProcess sim;
    if (!bench::startSimulator(sim, {"--pty", link, "--baud", "115200"}, link))
        return 1;

    test::CapturedBoxes boxes;
    TformMain::Options options;
    options.configPath = dir.filePath(QStringLiteral("Vexs.ini"));
    options.boxes = &boxes;
    options.portResolver = [link](int) { return link; };
    TformMain window(options);
    window.show();
    IControls &c = window.context().controls;
    c.setItemIndex(QStringLiteral("ComboBoxBaud"), 4);
    window.selectNode(10);
    pump(500);

    auto *page = window.findChild<LivePage *>();
    const QString csvPath = dir.filePath(QStringLiteral("live.csv"));
    page->chooseCsvFile = [csvPath] { return csvPath; };
    if (trend)
        window.findChild<QAbstractButton *>(QStringLiteral("ButtonTrend"))->click();
    if (csv)
        window.findChild<QCheckBox *>(QStringLiteral("CheckBoxCsv"))->click();
    if (csv && !page->csv().isOpen()) {
        std::fprintf(stderr, "the CSV file did not open\n");
        return 1;
    }

    int ticks = 0, answered = 0;
    auto *timer = window.findChild<QTimer *>(QStringLiteral("TimerDataRead"));
    // Connected after the page's own handler, so the poll has run by then.
    QObject::connect(timer, &QTimer::timeout, [&] {
        ++ticks;
        if (c.text(QStringLiteral("StaticTextOpros")) == QStringLiteral("Есть связь"))
            ++answered;
    });
    window.findChild<QAbstractButton *>(QStringLiteral("Button3"))->click();

    // Memory once the first polls have drawn (fonts, the chart's caches).
    pump(5000);
    const long rssStart = bench::residentKb();
    const double cpu0 = bench::processCpuMs();
    const int ticks0 = ticks;
    QElapsedTimer wall;
    wall.start();
    long rssMax = rssStart;
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        const long rss = bench::residentKb();
        rssMax = std::max(rssMax, rss);
        std::printf("  %4lld s: VmRSS %ld kB, %d polls, %lld CSV rows, %zu trend samples\n",
                    wall.elapsed() / 1000, rss, ticks, qlonglong(page->csv().rows()),
                    page->trend().samples().size());
        std::fflush(stdout);
    });
    report.start(seconds >= 120 ? 60000 : 10000);
    pump(seconds * 1000);
    const double cpuMs = bench::processCpuMs() - cpu0;
    const double wallMs = wall.elapsed();
    const long rssEnd = bench::residentKb();
    report.stop();
    // "Остановить измерения" closes the file.
    window.findChild<QAbstractButton *>(QStringLiteral("Button12"))->click();
    pump(300);

    const qint64 rows = csv ? lineCount(csvPath) - 1 : ticks;
    std::printf("polling with the trend %s and CSV %s for %.1f s after 5 s of warm-up: %d polls "
                "(%d of %d answered in all)\n",
                trend ? "open" : "closed", csv ? "on" : "off", wallMs / 1000, ticks - ticks0,
                answered, ticks);
    if (csv)
        std::printf("CSV: %lld rows for %d polls in all (%s), file closed: %s\n",
                    qlonglong(rows), ticks, rows == ticks ? "one a poll" : "MISMATCH",
                    page->csv().isOpen() ? "no" : "yes");
    std::printf("CPU %.3f s = %.3f %% of one core (target < 2 %%)\n", cpuMs / 1000,
                100.0 * cpuMs / wallMs);
    std::printf("memory: VmRSS %ld kB at start, %ld kB at end (highest %ld kB), growth %+ld kB "
                "(target < 2048 kB over 600 s)\n",
                rssStart, rssEnd, std::max(rssMax, rssEnd), rssEnd - rssStart);
    if (!boxes.boxes.isEmpty())
        std::printf("message boxes: %s\n", qPrintable(boxes.texts().join(QStringLiteral(" | "))));

    window.close();
    sim.kill();
    sim.waitForFinished();
    return rows == ticks && answered == ticks && ticks > 0 ? 0 : 1;
}
