// Fast exchange against the full waits, over pseudo-terminals:
//   1. the 27 requests of "Считать настройки прибора" against the paced
//      simulator at 115200 and at 9600 bit/s, in both modes, with the wire
//      time of those requests and replies plus the simulator's latency
//      (target: fast <= 1.3 x that; the full waits within 1.5 % of theirs,
//      and the same requests byte for byte in both modes);
//   2. a whole configuration read from an independent libmodbus slave, in
//      both modes (target: fast at least 10 x quicker, same content);
//   3. 32 recorders on one paced line at 115200: a scan of addresses 1..247
//      (target <= 12 s), the same at each of the five speeds (target <= 60 s)
//      and a backup of all 32 (target <= 20 s).
//   4. the same bulk read in fast exchange through a simulated gateway on a
//      paced line, in each of the four framings, at 115200 and 9600 bit/s
//      (target: <= 1.1 x the line time of requests and replies plus the
//      recorder's turnaround, as the simulator paces them).
//
//   bench_fast [--fast-only]   (--fast-only leaves out the slow full-wait runs)
#include "link/af_com_port.h"
#include "link/exchange.h"
#include "link/gateway_framing.h"
#include "link/line_speed.h"
#include "link/link_activity.h"
#include "link/pumping_delay.h"
#include "link/reply_framing.h"
#include "link/serial_transport.h"
#include "link/tcp_client.h"
#include "service/live_record.h"
#include "settings/bulk_read.h"
#include "settings/bus_scan.h"
#include "settings/config_transfer.h"
#include "settings/fleet_write.h"
#include "settings/identification.h"
#include "tests/support/modbus_peer.h"
#include "tests/support/sim_harness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

using namespace vexs;

namespace {

struct Settings : ILinkSettings
{
    int baud = 4;
    bool fast = false;
    quint8 address = 1;
    int interface = 0;
    quint8 slaveAddress() const override { return address; }
    int interfaceIndex() const override { return interface; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return baud; }
    bool fastExchange() const override { return fast; }
};

// The program's serial link on one device path.
struct Link
{
    Settings settings;
    TAfComPort port;
    SerialTransport serial{settings, port};
    TcpClient tcp;
    LinkActivity activity;
    Exchange exchange{settings, serial, tcp, activity};
    ModbusMaster modbus{exchange, settings};

    explicit Link(const QString &path)
    {
        port.SetDevicePathResolver([path](int) { return path; });
    }
};

// The requests of the window's bulk read: identification, the settings
// area, the module status.
bool bulkRead(Link &link)
{
    const bool serial = true;
    const int bps = lineSpeedForIndex(link.settings.baud);
    if (!readBlock(link.modbus, false, {{ident::kFirstRegister, ident::kRegisterCount}}, bulk::kIdentWaitMs))
        return false;
    if (!readSettingsArea(link.modbus))
        return false;
    return readBlock(link.modbus, true, {{0, bulk::kLiveRegisters}},
                     lineWaitMs(bulk::kLiveWaitMs, 8, 2 * bulk::kLiveRegisters + 5, serial, bps))
        .has_value();
}

double wireMs(const QList<QByteArray> &requests, int bps, int latencyMs)
{
    double ms = 0;
    for (const QByteArray &r : requests)
        ms += (r.size() + ReplyFraming(r).expectedLength()) * 10.0 * 1000.0 / bps + latencyMs;
    return ms;
}

double timeIt(const std::function<bool()> &run, bool *ok)
{
    QElapsedTimer t;
    t.start();
    *ok = run();
    return t.nsecsElapsed() / 1e6;
}

constexpr int kConfigReadWaitsMs =
    bulk::kIdentWaitMs + bulk::kBlocks * bulk::kBlockWaitMs + bulk::kLastBlockWaitMs;

bool g_allMet = true;
const char *verdict(bool met)
{
    g_allMet = g_allMet && met;
    return met ? "met" : "NOT met";
}

void pacedBulkRead(int bps, bool fullWaits)
{
    SimHarness sim;
    SimHarness::Options o;
    o.tcp = false;
    o.baud = bps;
    o.pace = true;
    if (!sim.start(o)) {
        std::printf("simulator: %s\n", qPrintable(sim.errorString()));
        g_allMet = false;
        return;
    }
    Link link(sim.ptyLink());
    link.settings.baud = lineSpeedIndex(bps);
    bool ok = false;
    QList<QByteArray> fullRequests;
    if (fullWaits) {
        const double fullMs = timeIt([&] { return bulkRead(link); }, &ok);
        fullRequests = sim.requestLog().frames();
        const double waits = bulk::kIdentWaitMs + bulk::kBlocks * bulk::kBlockWaitMs + bulk::kLastBlockWaitMs
                             + lineWaitMs(bulk::kLiveWaitMs, 8, 2 * bulk::kLiveRegisters + 5, true, bps);
        std::printf("  %6d bit/s full waits: %8.1f ms (waits %.0f ms, %+.2f %%)%s: target %s\n", bps, fullMs, waits,
                    100.0 * (fullMs - waits) / waits, ok ? "" : " READ FAILED",
                    verdict(ok && fullMs <= waits * 1.015));
        sim.requestLog().clear();
    }
    link.settings.fast = true;
    const double fastMs = timeIt([&] { return bulkRead(link); }, &ok);
    const QList<QByteArray> fastRequests = sim.requestLog().frames();
    const double wire = wireMs(fastRequests, bps, Simulator::TurnaroundMs);
    std::printf("  %6d bit/s fast:       %8.1f ms (wire time + latency %.1f ms, x%.2f)%s: target %s\n", bps, fastMs,
                wire, fastMs / wire, ok ? "" : " READ FAILED", verdict(ok && fastMs <= 1.3 * wire));
    if (fullWaits) {
        const bool same = fullRequests == fastRequests && fastRequests.size() == bulk::kRequests;
        std::printf("  %6d bit/s requests: %lld, byte for byte the same in both modes: %s\n", bps,
                    qlonglong(fastRequests.size()), verdict(same));
    }
}

void peerConfigRead(bool fullWaits)
{
    test::ModbusPeer peer;
    if (!peer.isRunning()) {
        std::printf("  libmodbus peer did not start\n");
        g_allMet = false;
        return;
    }
    QByteArray area(2 * 772, '\0');
    for (char &b : area)
        b = char(QRandomGenerator::global()->bounded(256));
    peer.setHolding(0, area);
    peer.setHolding(ident::kFirstRegister, QByteArray("050309004321").append(QByteArray(10, '\1')));
    Link link(peer.portPath());
    bool ok = false;
    std::optional<DeviceConfig> fullConfig, fastConfig;
    double fullMs = 0;
    if (fullWaits)
        fullMs = timeIt([&] { return (fullConfig = readDeviceConfig(link.modbus, QStringLiteral("bench"))).has_value(); }, &ok);
    link.settings.fast = true;
    const double fastMs =
        timeIt([&] { return (fastConfig = readDeviceConfig(link.modbus, QStringLiteral("bench"))).has_value(); }, &ok);
    const bool fastOk = fastConfig && fastConfig->image == area;
    std::printf("  fast: %8.1f ms%s\n", fastMs, fastOk ? "" : " READ FAILED");
    if (!fullWaits) {
        g_allMet = g_allMet && fastOk;
        return;
    }
    const bool same = fullConfig && fastConfig && fullConfig->image == fastConfig->image
                      && fullConfig->identification == fastConfig->identification;
    std::printf("  full waits: %8.1f ms; x%.1f faster, same content: %s: target %s\n", fullMs, fullMs / fastMs,
                same ? "yes" : "NO", verdict(fastOk && same && fullMs >= 10 * fastMs));
}

// 32 recorders at addresses 1..32 on one paced serial line, 115200 bit/s.
bool startLineOf32(SimHarness &sim)
{
    SimHarness::Options o;
    o.tcp = false;
    o.pace = true;
    for (int a = 1; a <= 32; ++a)
        o.addresses << a;
    if (sim.start(o))
        return true;
    std::printf("simulator: %s\n", qPrintable(sim.errorString()));
    g_allMet = false;
    return false;
}

void manyRecorders()
{
    SimHarness sim;
    if (!startLineOf32(sim))
        return;
    Link link(sim.ptyLink());
    ScanLinkSettings scanSettings(link.settings);
    Exchange scanExchange(scanSettings, link.serial, link.tcp, link.activity);
    ModbusMaster scanMaster(scanExchange, scanSettings);
    int found = 0;
    bool ok = false;
    const double scanMs = timeIt([&] {
        const int wait = scanWaitMs(true, 115200);
        for (int a = 1; a <= 247; ++a) {
            scanSettings.setAddress(a);
            found += probeRecorder(scanMaster, a, wait).has_value();
        }
        return found == 32;
    }, &ok);
    std::printf("  scan of 1..247: %8.1f ms, %d found: target %s\n", scanMs, found, verdict(ok && scanMs <= 12000));

    {
        // Every speed in turn, as "Все скорости" and scan --baud all run it:
        // a transport of its own opens the port at the speed tried, and the
        // simulator paces its replies at that speed (a pseudo-terminal
        // answers at any). The silent addresses' waits are most of the time.
        // The other transport lets the port go HoldOpenMs after its last
        // exchange; this one is gone, hold and all, before the backup.
        PumpingDelay(SerialTransport::HoldOpenMs + 50);
        SerialTransport everySerial(scanSettings, link.port);
        Exchange everyExchange(scanSettings, everySerial, link.tcp, link.activity);
        ModbusMaster everyMaster(everyExchange, scanSettings);
        const QList<int> speeds = scanSpeeds(true, 0);
        int silentWaitsMs = 0;
        found = 0;
        const double everyMs = timeIt([&] {
            for (const int bps : speeds) {
                sim.setBaud(bps);
                scanSettings.setBaudIndex(lineSpeedIndex(bps));
                const int wait = scanWaitMs(true, bps);
                silentWaitsMs += (247 - 32) * wait;
                for (int a = 1; a <= 247; ++a) {
                    scanSettings.setAddress(a);
                    found += probeRecorder(everyMaster, a, wait).has_value();
                }
            }
            return found == 32 * int(speeds.size());
        }, &ok);
        sim.setBaud(115200);
        std::printf("  scan of 1..247 at %lld speeds: %8.1f ms (waits of the silent addresses %d ms), %d found: "
                    "target %s\n",
                    qlonglong(speeds.size()), everyMs, silentWaitsMs, found, verdict(ok && everyMs <= 60000));
    }

    link.settings.fast = true;
    QStringList serials;
    const double backupMs = timeIt([&] {
        for (int a = 1; a <= 32; ++a) {
            link.settings.address = quint8(a);
            const std::optional<DeviceConfig> config = readDeviceConfig(link.modbus, QStringLiteral("bench"));
            if (config)
                serials << config->serial();
        }
        serials.removeDuplicates();
        return serials.size() == 32;
    }, &ok);
    std::printf("  backup of 32: %8.1f ms, %lld distinct serials (full waits: 32 x %d ms = %d ms): target %s\n",
                backupMs, qlonglong(serials.size()), kConfigReadWaitsMs, 32 * kConfigReadWaitsMs,
                verdict(ok && backupMs <= 20000));
}

// One file to all 32, as vexs-cli --fast --address 1-32 write FILE --keep
// network runs it: each recorder backed up, written and read back.
void fleetWrite()
{
    SimHarness sim;
    if (!startLineOf32(sim))
        return;
    Link link(sim.ptyLink());
    link.settings.fast = true;
    const std::optional<DeviceConfig> file = readDeviceConfig(link.modbus, QStringLiteral("bench"));
    QList<FleetAddress> addresses;
    for (int a = 1; a <= 32; ++a)
        addresses << FleetAddress{a, {}};
    QString error;
    const QStringList keep{QStringLiteral("network")};
    const std::optional<QList<FleetTarget>> targets =
        file ? fleetTargets(*file, addresses, keep, &error) : std::nullopt;
    if (!targets) {
        std::printf("  fleet write: %s\n", qPrintable(file ? error : QStringLiteral("no file")));
        g_allMet = false;
        return;
    }
    QTemporaryDir backups;
    WriteOptions w;
    w.backupFolder = backups.path();
    w.program = QStringLiteral("bench");
    w.keep = keep;
    sim.requestLog().clear();
    FleetReport report;
    bool ok = false;
    const double ms = timeIt([&] {
        report = writeFleet(
            *targets,
            [&](int address, QString *) {
                link.settings.address = quint8(address);
                return true;
            },
            link.modbus, w, [] { return true; }, [](const FleetLine &) {});
        return report.allVerified();
    }, &ok);
    const double wire = wireMs(sim.requestLog().frames(), 115200, Simulator::TurnaroundMs);
    std::printf("  fleet write of 32: %8.1f ms, %d verified (wire time + latency %.1f ms, x%.2f): target %s\n", ms,
                report.verified(), wire, ms / wire, verdict(ok && ms <= 1.3 * wire));
}

void gatewayFramings(int bps)
{
    for (const GatewayFraming framing : {GatewayFraming::RtuOverTcp, GatewayFraming::ModbusTcp,
                                         GatewayFraming::RtuOverUdp, GatewayFraming::ModbusUdp}) {
        SimHarness sim;
        SimHarness::Options o;
        o.pty = false;
        o.tcp = !isUdp(framing);
        o.udp = isUdp(framing);
        o.mbap = isMbap(framing);
        o.pace = true;
        o.baud = bps;
        if (!sim.start(o)) {
            std::printf("simulator: %s\n", qPrintable(sim.errorString()));
            g_allMet = false;
            return;
        }
        Link link{QString()};
        link.settings.interface = 1;
        link.settings.baud = lineSpeedIndex(bps);
        link.settings.fast = true;
        link.tcp.setFraming(framing);
        link.tcp.setHost(QStringLiteral("127.0.0.1"));
        link.tcp.setPort(isUdp(framing) ? sim.udpPort() : sim.tcpPort());
        link.tcp.activate();
        QElapsedTimer connecting;
        connecting.start();
        while (!link.tcp.active() && connecting.elapsed() < 3000)
            PumpingDelay(5);
        bool ok = false;
        const double fastMs = timeIt([&] { return bulkRead(link); }, &ok);
        // The line time as the simulator paces it: whole milliseconds.
        double lineMs = 0;
        for (const QByteArray &r : sim.requestLog().frames())
            lineMs += Simulator::wireTimeMs(int(r.size() + ReplyFraming(r).expectedLength()), bps)
                      + Simulator::TurnaroundMs;
        std::printf("  %-15s %6d bit/s: %8.1f ms (line time and turnaround %.0f ms, x%.3f)%s: target %s\n",
                    qPrintable(gatewayFramingItems().at(int(framing))), bps, fastMs, lineMs, fastMs / lineMs,
                    ok ? "" : " READ FAILED", verdict(ok && fastMs <= 1.1 * lineMs));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool fullWaits = !(argc > 1 && std::strcmp(argv[1], "--fast-only") == 0);
    std::printf("1. bulk read, paced simulator, latency %d ms\n", Simulator::TurnaroundMs);
    pacedBulkRead(115200, fullWaits);
    pacedBulkRead(9600, fullWaits);
    std::printf("2. configuration read, libmodbus slave, 115200 bit/s\n");
    peerConfigRead(fullWaits);
    std::printf("3. 32 recorders on one paced line, 115200 bit/s\n");
    manyRecorders();
    fleetWrite();
    std::printf("4. bulk read in fast exchange through a gateway on a paced line, latency %d ms\n",
                Simulator::TurnaroundMs);
    gatewayFramings(115200);
    gatewayFramings(9600);
    std::printf("all targets %s\n", g_allMet ? "met" : "NOT met");
    return g_allMet ? 0 : 1;
}
