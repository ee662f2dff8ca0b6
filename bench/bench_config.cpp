// Configuration files against the simulated recorder over its pseudo-terminal
// at 115200 bit/s: the read a file is made from, against the bulk read's
// 7000 ms of waits (target: at most 1.02 x that), and the write of a whole
// configuration with its backup and verifying read, against its own waits.
//
//   bench_config [runs]         (default 3 reads and one write; offscreen
//                                unless QT_QPA_PLATFORM says otherwise)
#include "bench/arguments.h"
#include "bench/process_stats.h"
#include "settings/bulk_read.h"
#include "settings/config_transfer.h"
#include "settings/settings_image.h"
#include "shell/form_main.h"
#include "tests/support/window_fixture.h"
#include "ui/controls.h"
#include "ui/page_context.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double kBulkReadWaitsMs = 7000.0;
constexpr double kReadTargetMs = 1.02 * kBulkReadWaitsMs;

// The waits a read is made of: the identification and the area's blocks.
double readWaitsMs()
{
    return vexs::bulk::kIdentWaitMs + vexs::bulk::kBlocks * vexs::bulk::kBlockWaitMs
           + vexs::bulk::kLastBlockWaitMs;
}

double writeWaitsMs()
{
    double ms = 0;
    for (const vexs::ConfigGroup &g : vexs::configGroups())
        ms += double(g.writeSpans.size()) * g.writeWaitMs;
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int runs = vexs::bench::countArgument(argc, argv, 3, "bench_config [runs >= 1]");
    if (runs < 0)
        return 2;

    vexs::test::WindowFixture fx;
    fx.sim().setBaud(115200);
    fx.controls().setItemIndex(QStringLiteral("ComboBoxBaud"), 4);
    vexs::ModbusMaster &modbus = fx.window().context().modbus;
    const QByteArray area = vexs::bench::randomBytes(vexs::SettingsImage::Size);
    fx.sim().model().setSettingsArea(area);

    std::printf("configuration read over the pseudo-terminal at 115200 bit/s, %d run(s); its waits %.0f ms, "
                "target <= %.0f ms (1.02 x the bulk read's %.0f ms)\n",
                runs, readWaitsMs(), kReadTargetMs, kBulkReadWaitsMs);
    std::printf("%4s %10s %12s %14s %9s\n", "run", "wall ms", "over waits", "CPU ms (proc)", "requests");
    bool ok = true;
    double worst = 0;
    for (int run = 1; run <= runs; ++run) {
        fx.clearRequests();
        const double cpu0 = vexs::bench::processCpuMs();
        QElapsedTimer wall;
        wall.start();
        const auto config = vexs::readDeviceConfig(modbus, QStringLiteral("bench_config"));
        const double ms = wall.nsecsElapsed() / 1e6;
        const bool read = config && config->image == area;
        ok = ok && read;
        worst = std::max(worst, ms);
        std::printf("%4d %10.1f %+12.1f %14.1f %9lld%s\n", run, ms, ms - readWaitsMs(),
                    vexs::bench::processCpuMs() - cpu0, static_cast<long long>(fx.requests().size()),
                    read ? "" : "  READ FAILED");
    }
    std::printf("worst read %.1f ms = %.3f x %.0f ms: target %s\n", worst, worst / kBulkReadWaitsMs,
                kBulkReadWaitsMs, worst <= kReadTargetMs ? "met" : "NOT met");

    // A whole other configuration, with the backup read and the read-back.
    QTemporaryDir backups;
    vexs::DeviceConfig file;
    file.image = vexs::bench::randomBytes(vexs::SettingsImage::Size);
    vexs::WriteOptions options;
    options.backupFolder = backups.path();
    options.program = QStringLiteral("bench_config");
    options.status = &fx.window().context().status;
    fx.clearRequests();
    const double cpu0 = vexs::bench::processCpuMs();
    QElapsedTimer wall;
    wall.start();
    const vexs::WriteReport report = vexs::writeDeviceConfig(modbus, file, options);
    const double ms = wall.nsecsElapsed() / 1e6;
    const double waits = readWaitsMs() + writeWaitsMs() + (readWaitsMs() - vexs::bulk::kIdentWaitMs);
    const bool written = report.allVerified() && fx.sim().model().settingsArea() == file.image;
    ok = ok && written;
    std::printf("write + verify of %lld groups with backup: %.1f ms against %.0f ms of waits (%+.1f), "
                "CPU %.1f ms, %lld requests: %s\n",
                static_cast<long long>(report.groups.size()), ms, waits, ms - waits,
                vexs::bench::processCpuMs() - cpu0, static_cast<long long>(fx.requests().size()),
                written ? "every group verified" : "NOT VERIFIED");
    return ok && worst <= kReadTargetMs ? 0 : 1;
}
