// How long a commissioning report takes once its reads are done: the
// recorder is read from the simulator over a pseudo-terminal in fast
// exchange, then the report is laid out and saved as PDF, timed apart from
// the reads. Target: ready within 2 s of its reads.
//   bench_report

#include "link/af_com_port.h"
#include "link/exchange.h"
#include "link/link_activity.h"
#include "link/modbus.h"
#include "link/serial_transport.h"
#include "link/tcp_client.h"
#include "service/commissioning_report.h"
#include "tests/support/sim_harness.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace vexs;

namespace {

struct Settings : ILinkSettings
{
    quint8 slaveAddress() const override { return 1; }
    int interfaceIndex() const override { return 0; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return 4; }
    bool fastExchange() const override { return true; }
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    SimHarness sim;
    SimHarness::Options o;
    o.tcp = false;
    o.pace = true;
    if (!sim.start(o)) {
        std::printf("simulator: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    Settings settings;
    TAfComPort port;
    const QString path = sim.ptyLink();
    port.SetDevicePathResolver([path](int) { return path; });
    SerialTransport serial(settings, port);
    TcpClient tcp;
    LinkActivity activity;
    Exchange exchange(settings, serial, tcp, activity);
    ModbusMaster modbus(exchange, settings);

    QElapsedTimer t;
    t.start();
    QString error;
    std::optional<ReportData> data = readReportData(modbus, settings, QStringLiteral("bench"), {}, &error);
    const double readMs = t.nsecsElapsed() / 1e6;
    if (!data) {
        std::printf("reads failed: %s\n", qPrintable(error));
        return 1;
    }
    data->engineer = QStringLiteral("Иванов И. И.");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    t.restart();
    const bool ok = writeReportPdf(pdf, reportHtml(*data), &error);
    const double madeMs = t.nsecsElapsed() / 1e6;
    const bool met = ok && madeMs <= 2000;
    std::printf("report: reads %.1f ms (fast exchange, 115200 bit/s); laid out and saved %.1f ms, %lld octets: "
                "target 2000 ms %s\n",
                readMs, madeMs, qlonglong(QFileInfo(pdf).size()), met ? "met" : "NOT met");
    if (!ok)
        std::printf("%s\n", qPrintable(error));
    return met ? 0 : 1;
}
