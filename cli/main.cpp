// vexs-cli: the configuration files of the configurator for scripts and for
// commissioning several recorders — read, write with a backup and a
// verifying read, compare, live values, and a scan of the line.

#include "cli/cli_options.h"
#include "cli/device_link.h"
#include "cli/output.h"
#include "cli/write_command.h"
#include "cli/fleet_command.h"
#include "cli/journal_command.h"
#include "cli/report_command.h"
#include "link/line_speed.h"
#include "link/link_statistics.h"
#include "link/pumping_delay.h"
#include "service/live_csv.h"
#include "service/live_record.h"
#include "settings/bus_scan.h"
#include "settings/config_file.h"
#include "settings/config_transfer.h"
#include "settings/identification.h"
#include "settings/encodings.h"
#include "settings/gateway_probe.h"
#include "ui/page_context.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryFile>

#include <exception>
#include <functional>
#include <memory>

namespace vexs::cli {

namespace {

const QString kDevice = QStringLiteral("device");

int readOne(const Options &o)
{
    DeviceLink link(o);
    QString error;
    if (!link.open(&error)) {
        say(error);
        return kFailed;
    }
    const std::optional<DeviceConfig> config = readDeviceConfig(link.modbus(), program());
    if (!config) {
        say(link.noLinkMessage());
        return kFailed;
    }
    if (o.output.isEmpty()) {
        print(QString::fromUtf8(configToJson(*config)));
        return kOk;
    }
    if (!writeConfigFile(o.output, *config, &error)) {
        say(error);
        return kFailed;
    }
    say(QStringLiteral("Конфигурация прибора %1 сохранена: %2")
            .arg(config->serial().isEmpty() ? link.describe() : QStringLiteral("№") + config->serial(),
                 QDir::toNativeSeparators(o.output)));
    return kOk;
}

enum class Asked { Done, Lost, NoLink };

// Asks one address of a line. A gateway that closed or reset the connection
// during the exchange never let the address answer, so it is asked once more
// over a new connection. Lost when that connection went too, NoLink when none
// could be made or the serial port is gone; `why` says which.
template <typename Result>
Asked askAddress(DeviceLink &link, int address, const std::function<Result()> &ask, Result *result,
                 QString *why)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!link.ready(why))
            return Asked::NoLink;
        link.settings().setAddress(address);
        try {
            *result = ask();
            // Silence from a port that is not there is no recorder's answer.
            if (link.portFailed()) {
                *why = link.noLinkMessage();
                return Asked::NoLink;
            }
            if (*result || !link.lost())
                return Asked::Done;
            *why = QStringLiteral("шлюз закрыл соединение");
        } catch (const ESocketError &e) {
            *why = QString::fromUtf8(e.what());
        }
    }
    return Asked::Lost;
}

// One file per recorder found, named by its serial number.
int readMany(const Options &o)
{
    DeviceLink link(o);
    QString error;
    if (!link.open(&error)) {
        say(error);
        return kFailed;
    }
    if (!QDir().mkpath(o.output)) {
        say(QStringLiteral("Папка «%1» не создана").arg(QDir::toNativeSeparators(o.output)));
        return kFailed;
    }
    // Before any recorder is read: every file would fail otherwise.
    QTemporaryFile probe(QDir(o.output).filePath(QStringLiteral("vexs-XXXXXX.tmp")));
    if (!probe.open()) {
        say(QStringLiteral("В папку «%1» нельзя записать: %2")
                .arg(QDir::toNativeSeparators(o.output), probe.errorString()));
        return kFailed;
    }
    probe.remove();
    int ok = 0;
    int answered = 0;
    QSet<QString> written; // file names, compared as a file system that ignores case would
    const std::function<std::optional<DeviceConfig>()> read = [&] {
        return readDeviceConfig(link.modbus(), program());
    };
    bool linkGone = false;
    for (const int address : o.addresses) {
        std::optional<DeviceConfig> config;
        const Asked asked = askAddress(link, address, read, &config, &error);
        if (asked == Asked::NoLink) {
            // The addresses not asked are not told as silent.
            say(error);
            linkGone = true;
            break;
        }
        if (asked == Asked::Lost) {
            // The recorders read so far are still told, and the rest are
            // asked over a new connection.
            print(QStringLiteral("%1: error %2\n").arg(address).arg(error));
            continue;
        }
        if (!config) {
            print(QStringLiteral("%1: no answer\n").arg(address));
            continue;
        }
        ++answered;
        // Two recorders of one run never share a file, even with one serial
        // or with serials that make the same file name.
        QString name = serialFileName(config->serial());
        if (config->serial().isEmpty() || written.contains(name.toLower()))
            name = serialFileName(config->serial() + QStringLiteral("address%1").arg(address));
        const QString path = QDir(o.output).filePath(name + QStringLiteral(".json"));
        if (!writeConfigFile(path, *config, &error)) {
            print(QStringLiteral("%1: error %2\n").arg(address).arg(error));
            continue;
        }
        written.insert(name.toLower());
        print(QStringLiteral("%1: ok %2\n").arg(address).arg(QDir::toNativeSeparators(path)));
        ++ok;
    }
    say(QStringLiteral("Считано приборов: %1 из %2").arg(ok).arg(o.addresses.size()));
    if (answered == 0 && !linkGone)
        say(link.noLinkMessage());
    return ok == o.addresses.size() ? kOk : ok > 0 ? kDifferent : kFailed;
}

int diff(const Options &o)
{
    std::unique_ptr<DeviceLink> link;
    std::optional<DeviceConfig> device;
    auto load = [&](const QString &name, QString *error) -> std::optional<DeviceConfig> {
        if (name != kDevice)
            return readConfigFile(name, error);
        if (device)
            return device;
        link = std::make_unique<DeviceLink>(o);
        if (!link->open(error))
            return std::nullopt;
        device = readDeviceConfig(link->modbus(), program());
        if (!device)
            *error = link->noLinkMessage();
        return device;
    };
    QString error;
    const std::optional<DeviceConfig> a = load(o.files[0], &error);
    const std::optional<DeviceConfig> b = a ? load(o.files[1], &error) : std::nullopt;
    if (!a || !b) {
        say(error);
        return kFailed;
    }
    const QList<ConfigDifference> groups = compareGroups(*a, *b);
    const QList<ConfigDifference> notes = compareIdentification(*a, *b);
    const DifferenceNames names = o.captions ? DifferenceNames::Captions : DifferenceNames::Ids;
    for (const ConfigDifference &d : groups)
        print(differenceLine(d, names) + QLatin1Char('\n'));
    for (const ConfigDifference &d : notes)
        print(QStringLiteral("# ") + differenceLine(d, names) + QLatin1Char('\n'));
    QString summary = groups.isEmpty() ? QStringLiteral("Различий нет")
                                       : QStringLiteral("Различий: %1").arg(groups.size());
    if (!notes.isEmpty())
        summary += QStringLiteral(" (идентификация отличается: %1, не учитывается)").arg(notes.size());
    say(summary);
    return groups.isEmpty() ? kOk : kDifferent;
}

int live(const Options &o)
{
    DeviceLink link(o);
    QString error;
    if (!link.open(&error)) {
        say(error);
        return kFailed;
    }
    const CsvDecimal decimal = o.decimalPoint ? CsvDecimal::Point : CsvDecimal::Comma;
    LiveCsvRecorder file;
    if (!o.csv.isEmpty() && !file.open(o.csv, decimal)) {
        say(QStringLiteral("Файл «%1» не создан").arg(o.csv));
        return kFailed;
    }
    // Standard output is the same CSV as the file, mark and all: it is
    // mostly redirected into a file for a spreadsheet.
    if (o.csv.isEmpty())
        print(QChar(livecsv::kByteOrderMark) + livecsv::headerRow() + QLatin1Char('\n'));
    const int waitMs = pollWaitMs(link.settings().serial(), link.settings().baud());
    int answered = 0;
    QElapsedTimer clock;
    clock.start();
    for (qint64 n = 0; o.count == 0 || n < o.count; ++n) {
        // Once a second from the start, however long each poll took.
        const qint64 due = 1000 * n - clock.elapsed();
        if (due > 0)
            PumpingDelay(int(due));
        const QDateTime now = QDateTime::currentDateTime();
        // A gateway that closed or reset the connection is connected to
        // again before the poll; a poll that gets nothing is a row of its own.
        std::optional<QByteArray> record;
        try {
            if (link.ready(&error)) {
                record = liveRecordOfReply(
                    link.modbus().ReadInputRegisters(live::kFirstRegister, live::kRegisterCount, waitMs));
            }
        } catch (const ESocketError &) {
        }
        const std::optional<LiveView> view = record ? decodeLiveRecord(*record) : std::nullopt;
        if (view)
            ++answered;
        if (o.csv.isEmpty()) {
            print(livecsv::pollRow(now, view ? &*view : nullptr, decimal) + QLatin1Char('\n'));
        } else if (!file.append(now, view ? &*view : nullptr)) {
            say(QStringLiteral("Файл «%1»: запись не удалась").arg(o.csv));
            return kFailed;
        }
    }
    if (answered == 0) {
        say(link.noLinkMessage());
        return kFailed;
    }
    return kOk;
}

int scan(const Options &o)
{
    // With --baud all each listed speed in turn, else the one given.
    const QList<int> speeds = scanSpeeds(o.everySpeed, o.baud);
    QString error;
    QString noLink; // what the last link knows of why nothing answered
    int found = 0;
    int asked = 0;
    bool linkGone = false;
    for (const int speed : speeds) {
        Options atSpeed = o;
        atSpeed.baud = speed;
        // A link of its own for each speed: its port opens at that speed and
        // is closed before the next one opens.
        DeviceLink link(atSpeed);
        if (!link.open(&error)) {
            say(error);
            return kFailed;
        }
        // Always fast, with a short wait: an absent address costs little more
        // than the line time.
        link.settings().setFast(true);
        link.settings().setEndsOnSilence(o.scanWaitMs == 0);
        const int waitMs = scanWaitMs(link.settings().serial(), link.settings().baud(), o.scanWaitMs);
        for (const int address : o.addresses) {
            std::optional<FoundRecorder> recorder;
            const Asked result = askAddress<std::optional<FoundRecorder>>(
                link, address, [&] { return probeRecorder(link.modbus(), address, waitMs); }, &recorder,
                &error);
            if (result == Asked::NoLink) {
                say(error);
                linkGone = true;
                break;
            }
            if (result == Asked::Lost) {
                // Not asked: the recorders found so far are still told, and the
                // rest are asked over a new connection.
                say(QStringLiteral("Адрес %1: %2").arg(address).arg(error));
                continue;
            }
            ++asked;
            if (recorder) {
                recorder->bitsPerSecond = speed;
                print(foundRecorderLine(*recorder, o.everySpeed) + QLatin1Char('\n'));
                ++found;
            }
        }
        noLink = link.noLinkMessage();
        if (linkGone)
            break;
    }
    const int total = int(o.addresses.size() * speeds.size());
    say((o.everySpeed ? QStringLiteral("Найдено приборов: %1 (опрошено адресов на всех скоростях: %2 из %3)")
                      : QStringLiteral("Найдено приборов: %1 (опрошено адресов: %2 из %3)"))
            .arg(found)
            .arg(asked)
            .arg(total));
    if (found == 0) {
        if (!linkGone)
            say(noLink);
        return kFailed;
    }
    return asked == total ? kOk : kDifferent;
}

int probe(const Options &o)
{
    DeviceLink link(o);
    QString error;
    if (!link.open(&error)) {
        say(error);
        return kFailed;
    }
    const int address = link.settings().slaveAddress();
    const std::optional<vexs::GatewayFraming> found =
        probeGatewayFraming(link.gateway(), link.modbus(), address);
    if (!found) {
        say(QStringLiteral("Прибор по адресу %1 не ответил ни в формате RTU, ни в формате Modbus TCP (%2)")
                .arg(address)
                .arg(link.describe()));
        return kFailed;
    }
    print(isMbap(*found) ? QStringLiteral("mbap\n") : QStringLiteral("rtu\n"));
    return kOk;
}

// Registers as they are: a range read and shown in one view, or words
// written and read back. Nothing is printed as written until the read-back
// shows it.
int regs(const Options &o)
{
    DeviceLink link(o);
    QString error;
    if (!link.open(&error)) {
        say(error);
        return kFailed;
    }
    if (!o.regsWrite) {
        const std::optional<QByteArray> data =
            raw::readRegisters(link.modbus(), link.settings(), o.regsTable, o.regsFirst, o.regsCount);
        if (!data) {
            say(link.noLinkMessage());
            return kFailed;
        }
        for (const raw::Shown &s : raw::show(*data, o.regsFirst, o.regsView, o.regsOrder)) {
            print((o.regsView == raw::View::Text ? s.value : QStringLiteral("%1: %2").arg(s.reg).arg(s.value))
                  + QLatin1Char('\n'));
        }
        return kOk;
    }
    const std::unique_ptr<IWriteJournal> journal = makeJournal(o);
    if (!journal->ready(&error)) {
        say(error);
        return kFailed;
    }
    say(QStringLiteral("Запись в %1: %2")
            .arg(raw::rangeText(o.regsFirst, o.regsCount), raw::octetText(raw::wordOctets(o.regsWords))));
    const raw::WriteCheck check = raw::writeAndReadBack(link.modbus(), link.settings(), o.regsFirst, o.regsWords);
    if (check.sent()) {
        JournalRecord entry;
        entry.what = raw::journalTitle(o.regsFirst, int(o.regsWords.size()));
        entry.changes = raw::journalChanges(check);
        entry.ok = raw::verdictOf(check) == raw::Verdict::Verified;
        entry.outcome = raw::verdictText(check).replace(QLatin1Char('\n'), QStringLiteral(": "));
        if (!journal->record(entry, &error))
            say(error);
    }
    switch (raw::verdictOf(check)) {
    case raw::Verdict::Verified:
        for (const raw::Shown &s : raw::show(check.written, o.regsFirst, raw::View::Hex, raw::Order::Device))
            print(QStringLiteral("%1: %2\n").arg(s.reg).arg(s.value));
        say(raw::verdictText(check));
        return kOk;
    case raw::Verdict::NoLink:
        say(link.noLinkMessage());
        if (check.sent())
            say(raw::kStateUnknown);
        return kFailed;
    case raw::Verdict::Differs:
    case raw::Verdict::Unverified:
        break;
    }
    say(raw::verdictText(check));
    return kDifferent;
}

int run(const Options &o)
{
    if (o.command == QLatin1String("probe"))
        return probe(o);
    if (o.command == QLatin1String("read"))
        return o.addressList ? readMany(o) : readOne(o);
    // Several addresses, or values of each recorder's own: one line a recorder.
    if (o.command == QLatin1String("write") && (o.addressList || !o.sets.isEmpty()))
        return fleetCommand(o, makeJournal(o).get());
    if (o.command == QLatin1String("write"))
        return writeCommand(o);
    if (o.command == QLatin1String("diff"))
        return diff(o);
    if (o.command == QLatin1String("live"))
        return live(o);
    if (o.command == QLatin1String("regs"))
        return regs(o);
    if (o.command == QLatin1String("journal"))
        return journalCommand(o);
    if (o.command == QLatin1String("report"))
        return runReport(o);
    return scan(o);
}

} // namespace

} // namespace vexs::cli

int main(int argc, char *argv[])
{
    using namespace vexs::cli;
    // The report's pages need a QGuiApplication; every other command a plain one.
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    // The backups go where the window keeps its own.
    QCoreApplication::setApplicationName(QStringLiteral("vexs-configurator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VEXS_VERSION));

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    QString error;
    const std::optional<Options> options = parseOptions(arguments, &error);
    if (!options) {
        say(QStringLiteral("vexs-cli: ") + error);
        say(QStringLiteral("Справка: vexs-cli --help"));
        return kFailed;
    }
    if (options->help) {
        print(helpText());
        return finish(kOk);
    }
    if (options->version) {
        print(program() + QLatin1Char('\n'));
        return finish(kOk);
    }
    // After the command, whatever its end.
    struct Statistics {
        bool wanted;
        ~Statistics()
        {
            if (wanted)
                say(vexs::statisticsReport(runStatistics().rows()).trimmed());
        }
    } statistics{options->stats};
    try {
        return finish(run(*options));
    } catch (const vexs::ESocketError &e) {
        say(QStringLiteral("Нет связи с прибором: ") + QString::fromUtf8(e.what()));
    } catch (const std::exception &e) {
        say(QStringLiteral("vexs-cli: ") + QString::fromUtf8(e.what()));
    }
    return kFailed;
}
