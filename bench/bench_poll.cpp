// The measurement poll in the running program, against the recorder
// simulator in a separate process (so its work is not counted here):
//   - start-up: constructing the main window and showing it, until its first
//     paint (targets: under 0.5 s);
//   - process CPU while polling once a second (target: under 1 % of one core);
//   - resident memory (VmRSS) after start-up and after the polling period
//     (target: growth under 1 MB over 10 minutes, i.e. `bench_poll 600`).
//
//   bench_poll [seconds=60] [--tcp]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. Over the serial path
// the simulator serves a pseudo-terminal at 115200 bit/s.
#include "link/link_activity.h"
#include "shell/form_main.h"
#include "ui/controls.h"
#include "ui/page_context.h"
#include "tests/support/captured_boxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "bench/process_stats.h"
#include "bench/sim_process.h"

#include <cstdio>
#include <cstdlib>

using namespace vexs;

namespace {



// Notes when the window is first shown and first painted.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(const QElapsedTimer &clock) : m_clock(clock) {}
    qint64 shownNs = -1;
    qint64 paintedNs = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && shownNs < 0)
            shownNs = m_clock.nsecsElapsed();
        else if (event->type() == QEvent::Paint && paintedNs < 0)
            paintedNs = m_clock.nsecsElapsed();
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer &m_clock;
};

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);
    const double appInitMs = sinceMain.nsecsElapsed() / 1e6;

    int seconds = 60;
    bool tcp = false;
    for (const QString &arg : app.arguments().mid(1)) {
        if (arg == QLatin1String("--tcp")) {
            tcp = true;
            continue;
        }
        bool ok = false;
        seconds = arg.toInt(&ok);
        if (!ok || seconds <= 0) {
            std::fprintf(stderr, "usage: bench_poll [seconds=60] [--tcp]\n");
            return 2;
        }
    }

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyBENCH"));
    const quint16 port = tcp ? freePort() : 0;
    QProcess sim;
    if (!bench::startSimulator(sim,
                               tcp ? QStringList{"--tcp", "127.0.0.1:" + QString::number(port)}
                                   : QStringList{"--pty", link, "--baud", "115200"},
                               tcp ? QString() : link))
        return 1;

    // --- start-up ----------------------------------------------------------
    test::CapturedBoxes boxes;
    TformMain::Options options;
    options.configPath = dir.filePath(QStringLiteral("Vexs.ini"));
    options.boxes = &boxes;
    options.portResolver = [link](int) { return link; };

    QElapsedTimer startup;
    startup.start();
    FirstPaint watch(startup);
    TformMain window(options);
    const double constructMs = startup.nsecsElapsed() / 1e6;
    window.installEventFilter(&watch);
    window.show();
    while (watch.paintedNs < 0 && startup.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (watch.paintedNs < 0) {
        std::fprintf(stderr, "the window was never painted\n");
        return 1;
    }
    std::printf("start-up: window constructed in %.1f ms, shown at %.1f ms, first paint at "
                "%.1f ms (target < 500 ms); QApplication itself %.1f ms\n",
                constructMs, watch.shownNs / 1e6, watch.paintedNs / 1e6, appInitMs);

    IControls &c = window.context().controls;
    if (tcp) {
        c.setItemIndex(QStringLiteral("ComboBoxInterface"), 1);
        c.setText(QStringLiteral("EditIP"), QStringLiteral("127.0.0.1"));
        c.setText(QStringLiteral("EditIPPort"), QString::number(port));
        window.findChild<QAbstractButton *>(QStringLiteral("ButtonIPConnect"))->click();
        QElapsedTimer t;
        t.start();
        while (c.text(QStringLiteral("StaticTextStatusIP")) != QStringLiteral("Открыто")
               && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (c.text(QStringLiteral("StaticTextStatusIP")) != QStringLiteral("Открыто")) {
            std::fprintf(stderr, "no TCP connection to the simulator\n");
            return 1;
        }
    } else {
        c.setItemIndex(QStringLiteral("ComboBoxBaud"), 4);
    }
    pump(500);
    const long rssStart = bench::residentKb();
    std::printf("memory: VmRSS %ld kB after start-up\n", rssStart);

    // --- polling -----------------------------------------------------------
    int ticks = 0, answered = 0;
    auto *timer = window.findChild<QTimer *>(QStringLiteral("TimerDataRead"));
    // Connected after the page's own handler, so the poll has run by then.
    QObject::connect(timer, &QTimer::timeout, [&] {
        ++ticks;
        if (c.text(QStringLiteral("StaticTextOpros")) == QStringLiteral("Есть связь"))
            ++answered;
    });
    window.findChild<QAbstractButton *>(QStringLiteral("Button3"))->click();

    const double cpu0 = bench::processCpuMs() / 1000.0;
    QElapsedTimer wall;
    wall.start();
    QTimer report;
    long rssMax = rssStart;
    QObject::connect(&report, &QTimer::timeout, [&] {
        rssMax = std::max(rssMax, bench::residentKb());
        if (seconds >= 120)
            std::printf("  %4lld s: VmRSS %ld kB, %d polls\n", wall.elapsed() / 1000,
                        bench::residentKb(), ticks);
        std::fflush(stdout);
    });
    report.start(seconds >= 120 ? 60000 : 10000);
    long rssWarm = -1;
    QTimer::singleShot(qMin(seconds, 10) * 1000 + 500, [&] { rssWarm = bench::residentKb(); });
    // Stop polling first: quitting inside a poll's wait would cut it short.
    QTimer::singleShot(seconds * 1000, [&] {
        window.findChild<QAbstractButton *>(QStringLiteral("Button12"))->click();
        QTimer::singleShot(500, &app, &QCoreApplication::quit);
    });
    app.exec();
    const double cpu = bench::processCpuMs() / 1000.0 - cpu0;
    const double wallS = wall.nsecsElapsed() / 1e9;
    const long rssEnd = bench::residentKb();

    std::printf("polling %s for %.1f s: %d polls, %d answered; CPU %.3f s = %.3f %% of one "
                "core (target < 1 %%)\n",
                tcp ? "over TCP" : "over the pseudo-terminal at 115200 bit/s", wallS, ticks,
                answered, cpu, 100.0 * cpu / wallS);
    std::printf("memory: VmRSS %ld kB after polling (highest sample %ld kB), growth %+ld kB "
                "(target < 1024 kB over 600 s)\n",
                rssEnd, std::max(rssMax, rssEnd), rssEnd - rssStart);
    if (seconds > 10)
        std::printf("memory: growth %+ld kB after the first 10 polls (VmRSS %ld kB then)\n",
                    rssEnd - rssWarm, rssWarm);
    if (!boxes.boxes.isEmpty())
        std::printf("message boxes: %s\n", qPrintable(boxes.texts().join(QStringLiteral(" | "))));

    window.close();
    sim.kill();
    sim.waitForFinished();
    return answered == ticks && ticks > 0 ? 0 : 1;
}
