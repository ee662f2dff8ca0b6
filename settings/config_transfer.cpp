#include "settings/config_transfer.h"

#include "link/modbus.h"
#include "link/tcp_client.h"
#include "settings/bulk_read.h"
#include "settings/config_fields.h"
#include "settings/identification.h"
#include "settings/settings_image.h"
#include "ui/page_context.h"

#include <QDir>

#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace vexs {

namespace {

const QString kBackupStep = QStringLiteral("Резервная копия");
const QString kWriteStep = QStringLiteral("Запись в прибор");
const QString kVerifyStep = QStringLiteral("Проверка записи");

bool sameGroupBytes(const ConfigGroup &g, const QByteArray &sent, const QByteArray &area)
{
    const int at = g.layout->recordOffset(g.item);
    const int begin = g.bytes ? g.bytes->begin : 0;
    const int end = g.bytes ? g.bytes->end : g.layout->recordSize;
    return sent.mid(at + begin, end - begin) == area.mid(at + begin, end - begin);
}

// The octets of a group that differ between what was sent and what came back:
// "октеты 4..7 записи: прочитано 00 00 20 41, в файле 00 00 28 42".
QString differingOctetsText(const ConfigGroup &g, const QByteArray &sent, const QByteArray &area)
{
    const int at = g.layout->recordOffset(g.item);
    const QByteArray sentRecord = sent.mid(at, g.layout->recordSize);
    const QByteArray readRecord = area.mid(at, g.layout->recordSize);
    const std::optional<ByteRange> differ = configfile::differingOctets(g, sentRecord, readRecord);
    if (!differ)
        return QString();
    const auto octets = [&](const QByteArray &r) {
        return QString::fromLatin1(r.mid(differ->begin, differ->end - differ->begin).toHex(' '));
    };
    return QStringLiteral("октеты %1..%2 записи: прочитано %3, в файле %4")
        .arg(differ->begin)
        .arg(differ->end - 1)
        .arg(octets(readRecord), octets(sentRecord));
}

QStringList idsIn(const QList<GroupOutcome> &groups, GroupState state)
{
    QStringList ids;
    for (const GroupOutcome &g : groups) {
        if (g.state == state)
            ids << g.group->id;
    }
    return ids;
}

} // namespace

std::optional<DeviceConfig> readDeviceConfig(ModbusMaster &modbus, const QString &program,
                                             const BlockProgress &progress)
{
    DeviceConfig config;
    config.program = program;
    // With its offset from UTC, so a file read elsewhere tells the same time.
    const QDateTime now = QDateTime::currentDateTime();
    config.readAt = now.toOffsetFromUtc(now.offsetFromUtc());
    const std::optional<QByteArray> ident = readBlock(
        modbus, false, {{ident::kFirstRegister, ident::kRegisterCount}}, bulk::kIdentWaitMs);
    if (!ident || (progress && !progress(1, kConfigReadRequests)))
        return std::nullopt;
    config.identification = *ident;
    const std::optional<QByteArray> area = readSettingsArea(
        modbus, progress ? BlockProgress([&](int done, int) { return progress(1 + done, kConfigReadRequests); })
                         : BlockProgress());
    if (!area)
        return std::nullopt;
    config.image = *area;
    return config;
}

QString defaultBackupFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/backups");
}

QString serialFileName(const QString &serial)
{
    QString name;
    for (const QChar c : serial) {
        const bool plain = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')
                           || c == u'-' || c == u'_';
        name += plain ? c : QChar(u'_');
    }
    return name.isEmpty() ? QStringLiteral("unknown") : name;
}

QString backupFilePath(const QString &folder, const QString &serial, const QDateTime &time)
{
    const QString stem = folder + QLatin1Char('/') + serialFileName(serial) + QLatin1Char('-')
                         + time.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = stem + QStringLiteral(".json");
    for (int k = 2; QFileInfo::exists(path); ++k)
        path = stem + QLatin1Char('-') + QString::number(k) + QStringLiteral(".json");
    return path;
}

bool WriteReport::nothingWritten() const
{
    for (const GroupOutcome &g : groups) {
        if (g.state != GroupState::NotWritten && g.state != GroupState::Kept)
            return false;
    }
    return true;
}

bool WriteReport::allVerified() const
{
    if (!error.isEmpty() || groups.isEmpty())
        return false;
    int verified = 0;
    for (const GroupOutcome &g : groups) {
        if (g.state != GroupState::Verified && g.state != GroupState::Kept)
            return false;
        verified += g.state == GroupState::Verified;
    }
    return verified > 0;
}

int networkAddressOf(const DeviceConfig &config)
{
    const ConfigGroup &network = configGroup(GroupFamily::Network);
    return quint8(config.groupRecord(network).at(0));
}

QString groupStateText(GroupState state)
{
    switch (state) {
    case GroupState::NotWritten:
        return QStringLiteral("не записывалась");
    case GroupState::WriteFailed:
        return QStringLiteral("не записана: прибор отказал в записи");
    case GroupState::PartlyWritten:
        return QStringLiteral("записана не полностью: прибор отказал в части запросов");
    case GroupState::Unknown:
        return QStringLiteral("состояние неизвестно: прибор не подтвердил запись");
    case GroupState::Unverified:
        return QStringLiteral("записана, не проверена");
    case GroupState::Verified:
        return QStringLiteral("записана и проверена");
    case GroupState::Mismatch:
        return QStringLiteral("записана, но прибор вернул другие значения");
    case GroupState::Kept:
        return QStringLiteral("оставлена как в приборе");
    }
    return QString();
}

QString groupOutcomeText(const GroupOutcome &outcome)
{
    const QString state = groupStateText(outcome.state);
    return outcome.detail.isEmpty() ? state : state + QStringLiteral(" (") + outcome.detail + QLatin1Char(')');
}

QString WriteReport::summary() const
{
    QStringList lines;
    const int verified = int(idsIn(groups, GroupState::Verified).size());
    if (allVerified())
        lines << QStringLiteral("Записано и проверено групп: %1 из %2").arg(verified).arg(groups.size());
    else if (!error.isEmpty())
        lines << error;
    else
        lines << QStringLiteral("Запись не подтверждена чтением: проверено групп %1 из %2")
                     .arg(verified)
                     .arg(groups.size());
    const QStringList kept = idsIn(groups, GroupState::Kept);
    if (!allVerified() && !nothingWritten()) {
        const struct
        {
            GroupState state;
            const char *title;
        } states[] = {
            {GroupState::Verified, "Записаны и проверены"},
            {GroupState::Mismatch, "Записаны, но прибор вернул другие значения"},
            {GroupState::Unverified, "Записаны, не проверены"},
            {GroupState::Unknown, "Состояние неизвестно"},
            {GroupState::PartlyWritten, "Записаны не полностью"},
            {GroupState::WriteFailed, "Не записана"},
            {GroupState::NotWritten, "Не записывались"},
            {GroupState::Kept, "Оставлены как в приборе"},
        };
        for (const auto &part : states) {
            const QStringList ids = idsIn(groups, part.state);
            if (!ids.isEmpty())
                lines << QString::fromUtf8(part.title) + QStringLiteral(": ") + ids.join(QStringLiteral(", "));
        }
        for (const GroupOutcome &g : groups) {
            if (g.state == GroupState::Unknown && !g.detail.isEmpty())
                lines << g.group->id + QStringLiteral(": ") + g.detail;
        }
    } else if (!kept.isEmpty()) {
        lines << QStringLiteral("Оставлены как в приборе: ") + kept.join(QStringLiteral(", "));
    }
    if (!backupPath.isEmpty())
        lines << QStringLiteral("Резервная копия: ") + QDir::toNativeSeparators(backupPath);
    if (!journalError.isEmpty())
        lines << journalError;
    return lines.join(QLatin1Char('\n'));
}

QList<ConfigDifference> writePreview(const DeviceConfig &device, const DeviceConfig &config,
                                     const QStringList &keep)
{
    QList<ConfigDifference> out = compareGroups(device, config);
    out.removeIf([&keep](const ConfigDifference &d) { return keep.contains(d.group); });
    return out;
}

namespace {

QList<JournalChange> changesOf(const ConfigGroup &group, const QList<ConfigDifference> &differences)
{
    QList<JournalChange> out;
    for (const ConfigDifference &d : differences) {
        if (d.group == group.id)
            out << JournalChange{d.caption, d.a, d.b};
    }
    return out;
}

} // namespace

QList<JournalChange> groupChanges(const ConfigGroup &group, const QByteArray *before,
                                  const QByteArray &after)
{
    DeviceConfig next;
    next.image = after;
    if (!before) {
        QList<JournalChange> out;
        for (const FieldValue &v : groupValues(next, group))
            out << JournalChange{v.caption, QString(), v.value};
        return out;
    }
    DeviceConfig previous;
    previous.image = *before;
    return changesOf(group, compareGroups(previous, next));
}

namespace {

// Backup, write and read-back; `old` is the backup read, when there was one.
WriteReport backUpWriteVerify(ModbusMaster &modbus, const DeviceConfig &config,
                              const WriteOptions &options, std::optional<DeviceConfig> &old)
{
    WriteReport report;
    const QList<ConfigGroup> &groups = configGroups();
    for (const ConfigGroup &g : groups)
        report.groups.append({&g, options.keep.contains(g.id) ? GroupState::Kept : GroupState::NotWritten, QString()});

    // 1. What the device holds now, kept before anything changes.
    if (options.backup) {
        bool stopped = false;
        try {
            ProgressScope step(options.status, kBackupStep, kConfigReadRequests, true);
            old = readDeviceConfig(modbus, options.program, [&](int done, int) {
                stopped = !step(done);
                return !stopped;
            });
        } catch (const ESocketError &) {
            old.reset(); // no link, as for a request unanswered
        }
        if (!old) {
            report.noAnswer = !stopped;
            report.error = stopped ? QStringLiteral("Запись отменена: в прибор ничего не записано")
                                   : QStringLiteral("Нет связи с прибором: резервная копия не сделана, "
                                                    "в прибор ничего не записано");
            return report;
        }
        QString error;
        const QString path = backupFilePath(options.backupFolder, old->serial(), old->readAt);
        if (options.backupFolder.isEmpty() || !QDir().mkpath(options.backupFolder)
            || !writeConfigFile(path, *old, &error)) {
            report.error = QStringLiteral("Резервная копия не сохранена (%1): в прибор ничего не записано")
                               .arg(error.isEmpty() ? QDir::toNativeSeparators(options.backupFolder) : error);
            return report;
        }
        report.backupPath = path;
        if (options.backupSaved)
            options.backupSaved(path);
    }

    // 2. Every group as the pages send it; a write in progress is never stopped.
    {
        ProgressScope step(options.status, kWriteStep, int(groups.size()), false);
        for (int k = 0; k < groups.size(); ++k) {
            const ConfigGroup &g = groups[k];
            if (report.groups[k].state == GroupState::Kept)
                continue;
            bool written = false;
            WriteStop stop;
            try {
                written = writeGroup(modbus, g, config.groupRecord(g), &stop);
            } catch (const ESocketError &) {
                // The gateway's connection is gone; what was written so far
                // is still to be told, with the backup.
            }
            if (!written) {
                // A group of several requests may be in the device in part.
                const std::optional<quint8> refused =
                    stop.outcome.kind == FrameOutcome::Exception ? std::optional<quint8>(quint8(stop.outcome.exception))
                                                                 : std::nullopt;
                const bool part = stop.acknowledged > 0;
                const QString acknowledged = QStringLiteral("подтверждено запросов %1 из %2")
                                                 .arg(stop.acknowledged)
                                                 .arg(g.writeSpans.size());
                report.noAnswer = !refused;
                if (refused) {
                    // The device's own answer; still, only the read-back
                    // tells whether it holds the group after all.
                    report.groups[k].state = part ? GroupState::PartlyWritten : GroupState::WriteFailed;
                    report.error = QStringLiteral("Прибор отказал в записи (код исключения %1): группа %2 («%3»)%4, "
                                                  "запись остановлена")
                                       .arg(*refused)
                                       .arg(g.id, g.title,
                                            part ? QStringLiteral(" (%1)").arg(acknowledged) : QString());
                } else {
                    // A lost or garbled acknowledgement says nothing of what
                    // the device did with the request: the read-back judges.
                    report.groups[k].state = GroupState::Unknown;
                    report.groups[k].detail = part ? acknowledged : QString();
                    report.error = QStringLiteral("Нет связи с прибором: запись группы %1 («%2») не подтверждена%3, "
                                                  "запись остановлена")
                                       .arg(g.id, g.title,
                                            part ? QStringLiteral(" (%1)").arg(acknowledged) : QString());
                }
                break;
            }
            report.groups[k].state = GroupState::Unverified;
            step(k + 1);
        }
    }

    // 3. Read back and compare whatever may have been written.
    // A group whose write failed is read back too: a lost acknowledgement,
    // or even a refusal, does not prove that the device holds nothing of it.
    const bool sent = std::any_of(report.groups.cbegin(), report.groups.cend(), [](const GroupOutcome &o) {
        return o.state != GroupState::NotWritten && o.state != GroupState::Kept;
    });
    if (sent) {
        ProgressScope step(options.status, kVerifyStep, bulk::kBlocks + 1, false);
        // An acknowledgement that came too late lands in the first request
        // of the read-back and spoils it; a read may be asked again.
        const bool lostAcknowledgement = !idsIn(report.groups, GroupState::Unknown).isEmpty();
        for (int attempt = 0; attempt < (lostAcknowledgement ? 2 : 1) && !report.readBack; ++attempt) {
            try {
                report.readBack = readSettingsArea(modbus, [&](int done, int) {
                    step(done);
                    return true;
                });
            } catch (const ESocketError &) {
                break;
            }
        }
        if (!report.readBack) {
            report.noAnswer = true;
            if (report.error.isEmpty())
                report.error = QStringLiteral("Нет связи с прибором: записанное не проверено");
            return report;
        }
        for (GroupOutcome &o : report.groups) {
            const bool same = sameGroupBytes(*o.group, config.image, *report.readBack);
            if (o.state == GroupState::Unverified) {
                o.state = same ? GroupState::Verified : GroupState::Mismatch;
            } else if (same && o.state != GroupState::NotWritten && o.state != GroupState::Kept) {
                o.state = GroupState::Verified;
                o.detail.clear();
            } else if (o.state == GroupState::Unknown) {
                const QString read = differingOctetsText(*o.group, config.image, *report.readBack);
                o.detail = o.detail.isEmpty() ? read : o.detail + QStringLiteral("; ") + read;
            }
        }
    }
    return report;
}

} // namespace

WriteReport writeDeviceConfig(ModbusMaster &modbus, const DeviceConfig &config,
                              const WriteOptions &options)
{
    if (config.image.size() != SettingsImage::Size)
        throw std::invalid_argument("settings image of the wrong size");
    QString why;
    if (options.journal && !options.journal->ready(&why)) {
        WriteReport report;
        for (const ConfigGroup &g : configGroups())
            report.groups.append({&g, GroupState::NotWritten, QString()});
        report.error = why + QStringLiteral("\nВ прибор ничего не записано");
        return report;
    }
    std::optional<DeviceConfig> old;
    WriteReport report = backUpWriteVerify(modbus, config, options, old);
    if (!options.journal)
        return report;
    // One comparison for every group the write sent.
    const QList<ConfigDifference> differences = old ? compareGroups(*old, config) : QList<ConfigDifference>();
    for (const GroupOutcome &o : report.groups) {
        if (o.state == GroupState::NotWritten || o.state == GroupState::Kept)
            continue;
        JournalRecord entry;
        entry.serial = old ? old->serial() : QString();
        entry.what = o.group->title;
        entry.changes = old ? changesOf(*o.group, differences) : groupChanges(*o.group, nullptr, config.image);
        entry.ok = o.state == GroupState::Verified;
        entry.outcome = groupOutcomeText(o);
        if (!options.journal->record(entry, &why) && report.journalError.isEmpty())
            report.journalError = why;
    }
    return report;
}

} // namespace vexs
