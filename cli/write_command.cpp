// vexs-cli write: one configuration file into one recorder, with a backup,
// a verifying read and a record in the journal; or, with --dry-run, what
// such a write would change.

#include "cli/write_command.h"

#include "cli/device_link.h"
#include "cli/output.h"
#include "settings/config_file.h"
#include "settings/config_transfer.h"

#include <QDir>

#include <memory>

namespace vexs::cli {

namespace {

// write --dry-run: the device is read, nothing is written.
int preview(const Options &o, const DeviceConfig &file)
{
    DeviceLink link(o);
    QString error;
    if (!link.open(&error)) {
        say(error);
        return kFailed;
    }
    const std::optional<DeviceConfig> device = readDeviceConfig(link.modbus(), program());
    if (!device) {
        say(link.noLinkMessage());
        return kFailed;
    }
    const QList<ConfigDifference> changes = writePreview(*device, file, o.keep);
    for (const ConfigDifference &d : changes)
        print(differenceLine(d, DifferenceNames::Captions) + QLatin1Char('\n'));
    say((changes.isEmpty() ? QStringLiteral("Запись ничего не изменит")
                           : QStringLiteral("Будут изменены поля: %1").arg(changes.size()))
        + QStringLiteral("; в прибор ничего не записано"));
    return changes.isEmpty() ? kOk : kDifferent;
}

}  // namespace

std::optional<WriteOptions> writeOptionsOf(const Options &o, QString *error)
{
    WriteOptions w;
    w.backup = !o.noBackup;
    w.backupFolder = defaultBackupFolder();
    w.program = program();
    w.keep = o.keep;
    if (w.backup && w.backupFolder.isEmpty()) {
        *error = QStringLiteral("Нет папки для резервной копии; запишите без неё: --no-backup");
        return std::nullopt;
    }
    return w;
}

int writeCommand(const Options &o)
{
    QString error;
    const std::optional<DeviceConfig> file = readConfigFile(o.files[0], &error);
    if (!file) {
        say(error);
        return kFailed;
    }
    if (o.dryRun)
        return preview(o, *file);
    std::optional<WriteOptions> options = writeOptionsOf(o, &error);
    if (!options) {
        say(error);
        return kFailed;
    }
    WriteOptions &w = *options;
    DeviceLink link(o);
    if (!link.open(&error)) {
        say(error);
        return kFailed;
    }
    const int fileAddress = networkAddressOf(*file);
    if (!w.keep.contains(QStringLiteral("network")) && fileAddress != link.settings().slaveAddress()) {
        say(QStringLiteral("Внимание: файл задаёт прибору адрес %1, связь идёт по адресу %2; "
                           "сеть прибора можно оставить: --keep network")
                .arg(fileAddress)
                .arg(link.settings().slaveAddress()));
    }
    const std::unique_ptr<IWriteJournal> journal = makeJournal(o);
    w.journal = journal.get();
    StepLines steps;
    w.status = &steps;
    w.backupSaved = [](const QString &path) {
        say(QStringLiteral("Резервная копия: ") + QDir::toNativeSeparators(path));
    };
    const WriteReport report = writeDeviceConfig(link.modbus(), *file, w);
    for (const GroupOutcome &g : report.groups) {
        if (g.state != GroupState::NotWritten || !report.nothingWritten())
            print(QStringLiteral("%1: %2\n").arg(g.group->id, groupOutcomeText(g)));
    }
    say(report.summary());
    if (report.allVerified())
        return kOk;
    if (report.noAnswer)
        say(link.noLinkMessage());
    return report.nothingWritten() ? kFailed : kDifferent;
}

} // namespace vexs::cli
