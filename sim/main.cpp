// vexs-sim: the simulated recorder, a Modbus RTU slave on a pseudo-terminal
// and/or a TCP port, for trying the configurator without the instrument.

#include "link/address_list.h"
#include "sim/simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>

using namespace vexs;

namespace {

// Set by the handler of SIGINT and SIGTERM; the event loop looks at it, so
// the simulator stops in order (removing its link) instead of dying.
volatile std::sig_atomic_t g_stopRequested = 0;

void onSignal(int)
{
    g_stopRequested = 1;
}

bool parseInt(const QString &text, int low, int high, int *out)
{
    // Decimal, or hexadecimal after "0x" (register numbers, function
    // codes); a leading zero is no octal, so "010" is ten.
    bool ok = false;
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const int value = hex ? text.mid(2).toInt(&ok, 16) : text.toInt(&ok, 10);
    if (!ok || value < low || value > high)
        return false;
    *out = value;
    return true;
}

[[noreturn]] void usageError(const QString &message)
{
    std::fprintf(stderr, "vexs-sim: %s\nTry vexs-sim --help.\n", qPrintable(message));
    std::exit(2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexs-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated recorder: a Modbus RTU slave (functions 0x03, 0x04, 0x10) serving the\n"
        "settings area, identification, calibration coefficients, command registers and\n"
        "the live-data record. With none of --tcp, --udp and --pty it serves TCP on\n"
        "127.0.0.1:5000. Runs until interrupted; logs each request and reply in hex\n"
        "on standard error.\n\n"
        "Misbehaviour options apply to every matching request; --only-function,\n"
        "--only-register, --skip and --times narrow all of them."));
    parser.addHelpOption();

    const QCommandLineOption tcp(QStringLiteral("tcp"),
        QStringLiteral("Serve raw RTU frames over TCP on HOST:PORT (PORT 0 picks a free one)."),
        QStringLiteral("HOST:PORT"));
    const QCommandLineOption udp(QStringLiteral("udp"),
        QStringLiteral("Serve over UDP on HOST:PORT, one frame a datagram (PORT 0 picks a free one)."),
        QStringLiteral("HOST:PORT"));
    const QCommandLineOption framing(QStringLiteral("framing"),
        QStringLiteral("What TCP and UDP carry: rtu (raw RTU frames, the default) or mbap\n"
                       "(Modbus TCP frames: MBAP header, no CRC)."),
        QStringLiteral("F"), QStringLiteral("rtu"));
    const QCommandLineOption pty(QStringLiteral("pty"),
        QStringLiteral("Serve on a pseudo-terminal reachable through the symlink LINK."),
        QStringLiteral("LINK"));
    const QCommandLineOption address(QStringLiteral("address"),
        QStringLiteral("Slave address, 1..255 (default 1)."), QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption baud(QStringLiteral("baud"),
        QStringLiteral("Pace pseudo-terminal replies as at B bit/s (default 115200)."),
        QStringLiteral("B"), QStringLiteral("115200"));
    const QCommandLineOption addresses(QStringLiteral("addresses"),
        QStringLiteral("Serve several recorders on one line, each with its own image and serial\n"
                       "number (310000 + address), answering only its own address; LIST as 1-32,40."),
        QStringLiteral("LIST"));
    const QCommandLineOption pace(QStringLiteral("pace"),
        QStringLiteral("Send each pseudo-terminal reply octet at the line rate (10 bits an octet\n"
                       "at --baud), after the request's line time and the latency."));
    const QCommandLineOption latency(QStringLiteral("latency"),
        QStringLiteral("Reply latency on the pseudo-terminal in ms (default 2)."), QStringLiteral("MS"),
        QStringLiteral("2"));
    const QCommandLineOption silent(QStringLiteral("silent"),
        QStringLiteral("Do not answer (the request is not carried out)."));
    const QCommandLineOption late(QStringLiteral("late"),
        QStringLiteral("Answer MS milliseconds late."), QStringLiteral("MS"));
    const QCommandLineOption badCrc(QStringLiteral("bad-crc"),
        QStringLiteral("Corrupt the CRC of the reply."));
    const QCommandLineOption truncate(QStringLiteral("truncate"),
        QStringLiteral("Drop the last N octets of the reply."), QStringLiteral("N"));
    const QCommandLineOption pad(QStringLiteral("pad"),
        QStringLiteral("Append N extra octets to the reply."), QStringLiteral("N"));
    const QCommandLineOption extraLate(QStringLiteral("extra-late"),
        QStringLiteral("After the reply, send 4 stray octets MS milliseconds later."),
        QStringLiteral("MS"));
    const QCommandLineOption noModule(QStringLiteral("no-module"),
        QStringLiteral("Report no input module for channel N (1..4; repeatable)."),
        QStringLiteral("N"));
    const QCommandLineOption secondReply(QStringLiteral("second-reply"),
        QStringLiteral("After the reply, send the same reply as from the next address."));
    const QCommandLineOption refuse(QStringLiteral("refuse"),
        QStringLiteral("Carry the request out, then answer with exception code C (1..255)."),
        QStringLiteral("C"));
    const QCommandLineOption dropTcp(QStringLiteral("drop-tcp"),
        QStringLiteral("Close the TCP connection instead of answering."));
    const QCommandLineOption resetTcp(QStringLiteral("reset-tcp"),
        QStringLiteral("Reset the TCP connection (RST) instead of answering."));
    const QCommandLineOption onlyFunction(QStringLiteral("only-function"),
        QStringLiteral("Misbehave only on requests with function code F."), QStringLiteral("F"));
    const QCommandLineOption onlyRegister(QStringLiteral("only-register"),
        QStringLiteral("Misbehave only on requests whose first register is R."),
        QStringLiteral("R"));
    const QCommandLineOption skip(QStringLiteral("skip"),
        QStringLiteral("Let the first K matching requests pass normally."), QStringLiteral("K"));
    const QCommandLineOption times(QStringLiteral("times"),
        QStringLiteral("Misbehave only T times, then answer normally."), QStringLiteral("T"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
        QStringLiteral("Do not log requests and replies."));
    parser.addOptions({tcp, udp, framing, pty, address, addresses, pace, latency, baud, silent, late, badCrc, truncate, pad, extraLate,
                       noModule, secondReply, refuse, dropTcp, resetTcp, onlyFunction, onlyRegister, skip, times, quiet});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        usageError(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    auto intOption = [&](const QCommandLineOption &option, int low, int high) {
        int value = 0;
        const QString text = parser.value(option);
        if (!parseInt(text, low, high, &value))
            usageError(QStringLiteral("--%1 wants a number from %2 to %3, not \"%4\"")
                           .arg(option.names().first()).arg(low).arg(high).arg(text));
        return value;
    };

    Simulator::Options options;
    options.address = quint8(intOption(address, 1, 255));
    options.baud = intOption(baud, 50, 4000000);
    options.pace = parser.isSet(pace);
    options.latencyMs = intOption(latency, 0, 60000);
    if (parser.isSet(addresses)) {
        if (parser.isSet(address))
            usageError(QStringLiteral("give --address or --addresses, not both"));
        const auto list = parseAddressList(parser.value(addresses));
        if (!list || list->size() > 247)
            usageError(QStringLiteral("--addresses wants a list of addresses 1..255 such as 1-32,40, "
                                      "not \"%1\"").arg(parser.value(addresses)));
        options.addresses = *list;
        options.address = quint8(list->first());
    }
    options.verbose = !parser.isSet(quiet);
    if (parser.isSet(pty)) {
        options.servePty = true;
        options.ptyLink = parser.value(pty);
    }
    auto hostAndPort = [&](const QCommandLineOption &option, QHostAddress &address, quint16 &portOut) {
        const QString hostPort = parser.value(option);
        const qsizetype colon = hostPort.lastIndexOf(QLatin1Char(':'));
        int port = 0;
        const QString host = colon < 0 ? QString() : hostPort.left(colon);
        const bool hostOk = host == QLatin1String("localhost")
                                ? (address = QHostAddress::LocalHost, true)
                                : address.setAddress(host);
        if (colon < 0 || !parseInt(hostPort.mid(colon + 1), 0, 65535, &port) || !hostOk)
            usageError(QStringLiteral("--%1 wants HOST:PORT (an IP address or localhost), not \"%2\"")
                           .arg(option.names().first(), hostPort));
        portOut = quint16(port);
    };
    if (parser.isSet(tcp) || (!parser.isSet(pty) && !parser.isSet(udp))) {
        options.serveTcp = true;
        if (parser.isSet(tcp))
            hostAndPort(tcp, options.tcpHost, options.tcpPort);
    }
    if (parser.isSet(udp)) {
        options.serveUdp = true;
        hostAndPort(udp, options.udpHost, options.udpPort);
    }
    const QString framingName = parser.value(framing);
    if (framingName != QLatin1String("rtu") && framingName != QLatin1String("mbap"))
        usageError(QStringLiteral("--framing wants rtu or mbap, not \"%1\"").arg(framingName));
    options.mbap = framingName == QLatin1String("mbap");

    Simulator sim;

    FaultRule limits;
    if (parser.isSet(onlyFunction))
        limits.function = intOption(onlyFunction, 0, 255);
    if (parser.isSet(onlyRegister))
        limits.firstRegister = intOption(onlyRegister, 0, 65535);
    if (parser.isSet(skip))
        limits.skip = intOption(skip, 0, 1 << 30);
    if (parser.isSet(times))
        limits.times = intOption(times, 0, 1 << 30);
    auto addRule = [&](FaultRule::Kind kind, int amount) {
        FaultRule rule = limits;
        rule.kind = kind;
        rule.amount = amount;
        sim.faults().add(rule);
    };
    if (parser.isSet(silent))
        addRule(FaultRule::Silent, 0);
    if (parser.isSet(late))
        addRule(FaultRule::Late, intOption(late, 0, 600000));
    if (parser.isSet(badCrc))
        addRule(FaultRule::BadCrc, 0);
    if (parser.isSet(truncate))
        addRule(FaultRule::Truncate, intOption(truncate, 0, 1000));
    if (parser.isSet(pad))
        addRule(FaultRule::Pad, intOption(pad, 0, 1000));
    if (parser.isSet(extraLate))
        addRule(FaultRule::LateExtra, intOption(extraLate, 0, 600000));
    if (parser.isSet(secondReply))
        addRule(FaultRule::SecondReply, 0);
    if (parser.isSet(refuse))
        addRule(FaultRule::Refuse, intOption(refuse, 1, 255));
    if (parser.isSet(dropTcp))
        addRule(FaultRule::DropTcp, 0);
    if (parser.isSet(resetTcp))
        addRule(FaultRule::ResetTcp, 0);
    for (const QString &text : parser.values(noModule)) {
        int channel = 0;
        if (!parseInt(text, 1, 4, &channel))
            usageError(QStringLiteral("--no-module wants a channel from 1 to 4, not \"%1\"").arg(text));
        sim.model().setModuleMissing(channel, true);
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &app, [] {
        if (g_stopRequested)
            QCoreApplication::quit();
    });
    stopWatch.start(100);

    if (!sim.start(options)) {
        std::fprintf(stderr, "vexs-sim: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    if (options.servePty) {
        std::printf("vexs-sim: pseudo-terminal %s, link %s, %s %s, %d bit/s%s\n",
                    qPrintable(sim.ptyPath()), qPrintable(sim.ptyLink()),
                    options.addresses.size() > 1 ? "addresses" : "address",
                    qPrintable(parser.isSet(addresses) ? parser.value(addresses)
                                                       : QString::number(options.address)),
                    options.baud, options.pace ? ", paced" : "");
    }
    const char *framed = options.mbap ? ", Modbus TCP frames" : "";
    if (options.serveTcp) {
        std::printf("vexs-sim: TCP %s:%u, address %d%s\n", qPrintable(options.tcpHost.toString()),
                    unsigned(sim.tcpPort()), options.address, framed);
    }
    if (options.serveUdp) {
        std::printf("vexs-sim: UDP %s:%u, address %d%s\n", qPrintable(options.udpHost.toString()),
                    unsigned(sim.udpPort()), options.address, framed);
    }
    for (const FaultRule &rule : sim.faults().rules())
        std::printf("vexs-sim: misbehaving: %s\n", qPrintable(rule.describe()));
    std::fflush(stdout);

    const int code = app.exec();
    sim.stop();
    std::fprintf(stderr, "vexs-sim: stopped\n");
    return code;
}
