#include "cli/fleet_command.h"

#include "cli/cli_options.h"
#include "cli/device_link.h"
#include "cli/output.h"
#include "cli/write_command.h"
#include "settings/config_transfer.h"
#include "settings/fleet_write.h"

#include <QDir>

#include <algorithm>
#include <csignal>

namespace vexs::cli {

namespace {

const QString kNetwork = QStringLiteral("network");

volatile std::sig_atomic_t g_stopAsked = 0;

// The first Ctrl+C lets the recorder under way end its write and read-back,
// so none is left half written; a second one ends the program at once.
void askToStop(int)
{
    g_stopAsked = 1;
    std::signal(SIGINT, SIG_DFL);
}

struct StopOnInterrupt
{
    StopOnInterrupt() : previous(std::signal(SIGINT, askToStop)) { g_stopAsked = 0; }
    ~StopOnInterrupt() { std::signal(SIGINT, previous); }
    StopOnInterrupt(const StopOnInterrupt &) = delete;
    StopOnInterrupt &operator=(const StopOnInterrupt &) = delete;
    void (*previous)(int);
};

} // namespace

int fleetCommand(const Options &o, IWriteJournal *journal)
{
    QString error;
    const std::optional<DeviceConfig> file = readConfigFile(o.files.value(0), &error);
    if (!file) {
        say(error);
        return kFailed;
    }
    // The file's slave address for the whole line would leave it with
    // recorders no one can tell apart.
    const bool keepNetwork = o.keep.contains(kNetwork);
    const bool addressGiven = std::any_of(o.sets.cbegin(), o.sets.cend(), [](const FieldSetting &s) {
        return s.group == kNetwork && s.field == QLatin1String("address");
    });
    if (o.addresses.size() > 1 && !keepNetwork && !addressGiven) {
        say(QStringLiteral("Файл задаёт адрес %1 каждому прибору линии, и приборы перестанут различаться: "
                           "оставьте сеть приборов (--keep network) или задайте каждому свой адрес "
                           "(--set network.address={addr})")
                .arg(networkAddressOf(*file)));
        return kFailed;
    }
    QList<FleetAddress> addresses;
    for (const int address : o.addresses)
        addresses.append({address, o.sets});
    // Every address's values before anything is sent: a bad one must not
    // leave half the line written.
    const std::optional<QList<FleetTarget>> targets = fleetTargets(*file, addresses, o.keep, &error);
    if (!targets) {
        say(error);
        return kFailed;
    }
    if (const QString clash = addressClash(*targets, o.keep); !clash.isEmpty()) {
        say(clash + QStringLiteral(": оставьте сеть приборов (--keep network) или задайте каждому свой адрес "
                                   "(--set network.address=...)"));
        return kFailed;
    }
    if (targets->size() == 1 && !keepNetwork && networkAddressOf(targets->first().config) != o.addresses.first()) {
        say(QStringLiteral("Внимание: прибор по адресу %1 получит адрес %2")
                .arg(o.addresses.first())
                .arg(networkAddressOf(targets->first().config)));
    }

    std::optional<WriteOptions> w = writeOptionsOf(o, &error);
    if (!w) {
        say(error);
        return kFailed;
    }
    w->journal = journal;
    DeviceLink link(o);
    if (!link.open(&error)) {
        say(error);
        return kFailed;
    }
    const FleetSelect select = [&link](int address, QString *why) {
        // A port that went away during the last recorder answers for none
        // of the rest.
        if (link.portFailed()) {
            *why = link.noLinkMessage();
            return false;
        }
        if (!link.ready(why))
            return false;
        link.settings().setAddress(address);
        return true;
    };
    const StopOnInterrupt interrupt;
    const FleetReport report = writeFleet(
        *targets, select, link.modbus(), *w, [] { return g_stopAsked == 0; },
        [](const FleetLine &line) { print(line.text + QLatin1Char('\n')); }, [&link] { return link.lost(); });
    say(report.summary());
    if (report.allVerified())
        return kOk;
    return report.verified() > 0 ? kDifferent : kFailed;
}

} // namespace vexs::cli
