// What the traffic monitor costs the measurement poll, against the recorder
// simulator in a separate process (so its work is not counted here). Three
// phases in one run, each polling once a second for the same time:
//   - no observer on the exchange at all (the link's bare cost);
//   - the monitor keeping rows with its window closed (the program's normal
//     state; target: nothing measurable);
//   - the monitor's window open, its table following the rows (targets: at
//     most 0.1 ms more per exchange, at most 0.5 % of one core more CPU).
// Per exchange it reports the time beyond the poll's wait (from the request
// going out until the exchange has ended, the observer's calls included) and
// the time spent inside the monitor's calls; then the observer's calls alone,
// fed directly many times over.
//
//   bench_monitor [seconds per phase=30]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. The simulator serves
// a pseudo-terminal at 115200 bit/s.
#include "bench/arguments.h"
#include "bench/process_stats.h"
#include "bench/sim_process.h"
#include "link/exchange.h"
#include "link/link_activity.h"
#include "link/link_observer.h"
#include "link/modbus.h"
#include "service/live_record.h"
#include "shell/form_main.h"
#include "shell/traffic_monitor.h"
#include "tests/support/captured_boxes.h"
#include "ui/controls.h"
#include "ui/page_context.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vexs;

namespace {

// Sits between the exchange and the monitor (or nothing) and times both.
class TimedObserver : public ILinkObserver
{
public:
    ILinkObserver *inner = nullptr;
    std::vector<double> exchangeMs; // request out .. exchange ended
    std::vector<double> insideUs;   // in the inner observer, per exchange

    void requestSent(const QByteArray &request) override
    {
        m_clock.start();
        m_inside = 0;
        timed([&] { inner->requestSent(request); });
    }
    void replyReceived(const QByteArray &request, const QByteArray &reply) override
    {
        timed([&] { inner->replyReceived(request, reply); });
    }
    void octetsDiscarded(int count) override
    {
        timed([&] { inner->octetsDiscarded(count); });
    }
    void exchangeEnded()
    {
        if (!m_clock.isValid())
            return;
        exchangeMs.push_back(m_clock.nsecsElapsed() / 1e6);
        insideUs.push_back(m_inside / 1e3);
        m_clock.invalidate();
    }
    void reset()
    {
        exchangeMs.clear();
        insideUs.clear();
    }

private:
    template <typename F> void timed(F call)
    {
        if (!inner)
            return;
        QElapsedTimer t;
        t.start();
        call();
        m_inside += t.nsecsElapsed();
    }

    QElapsedTimer m_clock;
    qint64 m_inside = 0;
};

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * v.size()))];
}

double mean(const std::vector<double> &v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0 : sum / v.size();
}

// Runs the event loop for a while without spinning.
void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Times the events the monitor's window handles (table refreshes, layout,
// painting), outermost ones only.
class TimingApp : public QApplication
{
public:
    using QApplication::QApplication;
    QObject *watched = nullptr;
    qint64 insideNs = 0;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0 || !watched || !within(receiver))
            return QApplication::notify(receiver, event);
        ++m_depth;
        QElapsedTimer t;
        t.start();
        const bool done = QApplication::notify(receiver, event);
        insideNs += t.nsecsElapsed();
        --m_depth;
        return done;
    }

private:
    bool within(QObject *o) const
    {
        for (; o; o = o->parent()) {
            if (o == watched)
                return true;
        }
        return false;
    }
    int m_depth = 0;
};

struct Phase
{
    const char *name;
    int polls = 0;
    double cpuPercent = 0;
    double beyondMedianMs = 0, beyondP95Ms = 0, beyondMeanMs = 0;
    double insideMeanUs = 0, insideMaxUs = 0;
    double windowMsPerPoll = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimingApp app(argc, argv);
    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);

    const int seconds = vexs::bench::countArgument(argc, argv, 30, "bench_monitor [seconds per phase=30]");
    if (seconds < 0)
        return 2;

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
    window.context().controls.setItemIndex(QStringLiteral("ComboBoxBaud"), 4);
    pump(500);

    TrafficMonitor &monitor = window.monitor();
    app.watched = &monitor;
    TimedObserver timed;
    window.exchange().setObserver(&timed);
    QObject::connect(&window.activity(), &LinkActivity::exchangeEnded, [&] { timed.exchangeEnded(); });
    auto *start = window.findChild<QAbstractButton *>(QStringLiteral("Button3"));
    auto *stop = window.findChild<QAbstractButton *>(QStringLiteral("Button12"));
    const double waitMs = pollWaitMs(true, 115200);

    Phase phases[] = {{"no observer"}, {"monitor closed"}, {"monitor open"}};
    for (int p = 0; p < 3; ++p) {
        Phase &phase = phases[p];
        timed.inner = p == 0 ? nullptr : &monitor;
        if (p == 2) {
            monitor.show();
            pump(500);
        }
        timed.reset();
        app.insideNs = 0;
        start->click();
        const double cpu0 = bench::processCpuMs();
        QElapsedTimer wall;
        wall.start();
        pump(seconds * 1000);
        stop->click();
        pump(300); // the last poll's wait ends inside this
        const double cpuMs = bench::processCpuMs() - cpu0;
        phase.cpuPercent = 100.0 * cpuMs / wall.elapsed();
        std::vector<double> beyond;
        for (double ms : timed.exchangeMs)
            beyond.push_back(ms - waitMs);
        phase.polls = int(beyond.size());
        phase.windowMsPerPoll = phase.polls ? app.insideNs / 1e6 / phase.polls : 0;
        phase.beyondMedianMs = median(beyond);
        phase.beyondP95Ms = percentile(beyond, 0.95);
        phase.beyondMeanMs = mean(beyond);
        phase.insideMeanUs = mean(timed.insideUs);
        phase.insideMaxUs = timed.insideUs.empty()
                                ? 0
                                : *std::max_element(timed.insideUs.begin(), timed.insideUs.end());
        std::printf("  %-15s done: %d polls\n", phase.name, phase.polls);
        std::fflush(stdout);
    }

    std::printf("\npolling once a second over the pseudo-terminal at 115200 bit/s, %d s a phase, "
                "poll wait %.0f ms\n",
                seconds, waitMs);
    std::printf("%-16s %6s %8s %22s %9s %22s %14s\n", "phase", "polls", "CPU %",
                "beyond wait med/p95 ms", "mean ms", "in observer mean/max us",
                "window ms/poll");
    for (const Phase &phase : phases)
        std::printf("%-16s %6d %8.3f %11.3f / %-8.3f %9.3f %11.1f / %-8.1f %14.3f\n",
                    phase.name, phase.polls, phase.cpuPercent, phase.beyondMedianMs,
                    phase.beyondP95Ms, phase.beyondMeanMs, phase.insideMeanUs, phase.insideMaxUs,
                    phase.windowMsPerPoll);
    std::printf("open vs closed: %+.3f ms a poll beyond the wait (median; target <= 0.1), "
                "%+.3f %% of one core (target <= 0.5)\n",
                phases[2].beyondMedianMs - phases[1].beyondMedianMs,
                phases[2].cpuPercent - phases[1].cpuPercent);
    std::printf("closed vs none: %+.3f ms a poll beyond the wait (median), %+.3f %% of one core\n",
                phases[1].beyondMedianMs - phases[0].beyondMedianMs,
                phases[1].cpuPercent - phases[0].cpuPercent);

    // The observer's calls alone, a request and its 101-octet reply each time.
    const QByteArray request = frames::readRequest(1, FunctionReadInput, 0, 48);
    QByteArray reply(101, '\x11');
    const int calls = 100000;
    for (bool open : {false, true}) {
        monitor.setVisible(open);
        pump(200);
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < calls; ++i) {
            monitor.requestSent(request);
            monitor.replyReceived(request, reply);
        }
        const double us = t.nsecsElapsed() / 1e3 / calls;
        pump(300);
        std::printf("observer calls alone, window %s: %.2f us an exchange (%d exchanges, %d rows "
                    "kept)\n",
                    open ? "open" : "closed", us, calls, monitor.log().size());
    }

    window.close();
    sim.kill();
    sim.waitForFinished();
    return phases[2].polls > 0 && boxes.boxes.isEmpty() ? 0 : 1;
}
