// Bulk read against the simulated recorder over its pseudo-terminal at
// 115200 bit/s: wall time per read against the 7000 ms of waits it is made
// of (target: under 7150 ms), and CPU time per read.
//
//   bench_bulk_read [runs]      (default 3; runs offscreen unless
//                                QT_QPA_PLATFORM says otherwise)
//
// CPU time is reported for the whole process, which includes the simulator's
// own thread, and for the user-interface thread alone.
#include "bench/arguments.h"
#include "bench/process_stats.h"
#include "settings/settings_image.h"
#include "shell/form_main.h"
#include "ui/controls.h"
#include "tests/support/window_fixture.h"

#include <QApplication>
#include <QElapsedTimer>


#include <algorithm>
#include <cstdio>

namespace {

constexpr double kPrescribedWaitsMs = 7000.0;
constexpr double kTargetMs = 7150.0;


} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int runs = vexs::bench::countArgument(argc, argv, 3, "bench_bulk_read [runs >= 1]");
    if (runs < 0)
        return 2;

    vexs::test::WindowFixture fx;
    fx.sim().setBaud(115200);
    // The window's speed list: item 4 is 115200 bit/s (the fixture's default too).
    fx.controls().setItemIndex(QStringLiteral("ComboBoxBaud"), 4);

    const QByteArray area = vexs::bench::randomBytes(vexs::SettingsImage::Size);
    fx.sim().model().setSettingsArea(area);

    std::printf("bulk read over the pseudo-terminal at 115200 bit/s, %d run(s); waits %.0f ms, target < %.0f ms\n",
                runs, kPrescribedWaitsMs, kTargetMs);
    std::printf("%4s %10s %12s %14s %14s %9s\n", "run", "wall ms", "over waits", "CPU ms (proc)", "CPU ms (UI)",
                "requests");

    double worst = 0, total = 0, cpuTotal = 0;
    bool allRead = true;
    for (int run = 1; run <= runs; ++run) {
        fx.clearRequests();
        const double cpuProc0 = vexs::bench::processCpuMs();
        const double cpuUi0 = vexs::bench::threadCpuMs();
        QElapsedTimer wall;
        wall.start();
        fx.click(QStringLiteral("Button11"));
        const double wallMs = wall.nsecsElapsed() / 1e6;
        const double cpuProc = vexs::bench::processCpuMs() - cpuProc0;
        const double cpuUi = vexs::bench::threadCpuMs() - cpuUi0;

        const bool ok = fx.controls().text(QStringLiteral("LabelInfo")) == QStringLiteral("Настройки успешно считаны")
                        && fx.window().image().bytes() == area && fx.boxes.boxes.isEmpty();
        allRead = allRead && ok;
        std::printf("%4d %10.1f %+12.1f %14.1f %14.1f %9lld%s\n", run, wallMs, wallMs - kPrescribedWaitsMs, cpuProc,
                    cpuUi, static_cast<long long>(fx.requests().size()), ok ? "" : "  READ FAILED");
        worst = std::max(worst, wallMs);
        total += wallMs;
        cpuTotal += cpuProc;
    }
    std::printf("mean wall %.1f ms, worst %.1f ms, mean process CPU %.1f ms: target %s\n", total / runs, worst,
                cpuTotal / runs, worst < kTargetMs ? "met" : "NOT met");
    return allRead ? 0 : 1;
}
