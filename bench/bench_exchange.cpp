// Runs N exchanges against the recorder simulator (a separate process) over
// its pseudo-terminal and over TCP, and prints per exchange the time beyond
// the prescribed wait (opening, closing and transferring) and the process
// CPU time spent while the exchanges wait.
//
//   bench_exchange [N=50] [wait ms=100] [baud=115200]
#include "link/af_com_port.h"
#include "link/exchange.h"
#include "link/line_speed.h"
#include "link/link_activity.h"
#include "link/modbus.h"
#include "link/serial_transport.h"
#include "link/tcp_client.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "bench/process_stats.h"
#include "bench/sim_process.h"

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vexs;

namespace {

struct Link : ILinkSettings
{
    int iface = 0;
    int baud = 4;
    quint8 slaveAddress() const override { return 1; }
    int interfaceIndex() const override { return iface; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return baud; }
};


void run(const char *name, ModbusMaster &master, int n, int waitMs)
{
    std::vector<double> overhead;
    int failures = 0;
    const double cpu0 = bench::processCpuMs() / 1000.0;
    QElapsedTimer all;
    all.start();
    for (int i = 0; i < n; ++i) {
        QElapsedTimer t;
        t.start();
        const QByteArray reply = master.ReadInputRegisters(0, 48, waitMs);
        overhead.push_back(t.nsecsElapsed() / 1e6 - waitMs);
        if (reply.size() != 101)
            ++failures;
    }
    const double wall = all.nsecsElapsed() / 1e9;
    const double cpu = bench::processCpuMs() / 1000.0 - cpu0;
    std::sort(overhead.begin(), overhead.end());
    const double median = overhead[overhead.size() / 2];
    const double worst = overhead.back();
    std::printf("%-7s %d exchanges, wait %d ms: overhead beyond the wait median %.2f ms, "
                "max %.2f ms; CPU %.2f %% of one core; %d failed\n",
                name, n, waitMs, median, worst, 100.0 * cpu / wall, failures);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int n = args.size() > 1 ? args[1].toInt() : 50;
    const int waitMs = args.size() > 2 ? args[2].toInt() : 100;
    const int baud = args.size() > 3 ? args[3].toInt() : 115200;
    const int baudIndex = lineSpeedIndex(baud);
    if (n <= 0 || baudIndex < 0) {
        std::fprintf(stderr, "usage: bench_exchange [N] [wait ms] [9600|19200|38400|57600|115200]\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyBENCH"));
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    if (!bench::startSimulator(simulator, {"--pty", link, "--baud", QString::number(baud)}, link))
        return 1;

    Link settings;
    settings.baud = baudIndex;
    TAfComPort serial;
    serial.SetDevicePathResolver([link](int) { return link; });
    TcpClient tcp;
    LinkActivity activity;
    SerialTransport serialLink(settings, serial);
    Exchange exchange(settings, serialLink, tcp, activity);
    ModbusMaster master(exchange, settings);

    run("serial", master, n, waitMs);

    simulator.kill();
    simulator.waitForFinished();
    QProcess tcpSim;
    if (!bench::startSimulator(tcpSim, {"--tcp", "127.0.0.1:5917"}, QString()))
        return 1;
    tcp.setHost(QStringLiteral("127.0.0.1"));
    tcp.setPort(5917);
    tcp.activate();
    QElapsedTimer t;
    t.start();
    while (!tcp.active() && t.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!tcp.active()) {
        std::fprintf(stderr, "tcp: no connection\n");
        return 1;
    }
    settings.iface = 1;
    run("tcp", master, n, waitMs);
    tcpSim.kill();
    tcpSim.waitForFinished();
    return 0;
}
