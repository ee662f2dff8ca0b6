#pragma once

// A whole configuration to and from the recorder: the read a file is made
// from, and the write of a file, which first keeps what the device holds as
// a backup, then writes every configuration group through the same
// requests as the pages, reads everything back and compares. Only what was
// read back equal counts as written. The identification and the clock are
// never written from a file.

#include "settings/block_io.h"
#include "settings/config_file.h"
#include "ui/write_journal.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vexs {

class IShellStatus;
class IWriteJournal;
class ModbusMaster;

// Identification, then the settings area in the bulk read's requests.
inline constexpr int kConfigReadRequests = 26;

// nullopt when a request went unanswered or `progress` returned false.
// A TCP socket failure propagates.
std::optional<DeviceConfig> readDeviceConfig(ModbusMaster &modbus, const QString &program,
                                             const BlockProgress &progress = {});

// A serial number as a file name: '_' for each character that cannot be in
// one everywhere, "unknown" for an empty serial.
QString serialFileName(const QString &serial);
// backups/ in the user's data folder; empty when there is none.
QString defaultBackupFolder();
// <folder>/<serial>-<yyyyMMdd-HHmmss>.json, with "-2", "-3"... when that
// file exists already.
QString backupFilePath(const QString &folder, const QString &serial, const QDateTime &time);

enum class GroupState {
    NotWritten,  // not sent: the write stopped before it
    WriteFailed, // the device refused its first request
    PartlyWritten, // some requests of the group acknowledged, then one refused
    // An acknowledgement was lost, so only the read-back can tell; this is
    // what is left when it did not arrive or did not match.
    Unknown,
    Unverified,  // acknowledged, but the read-back did not arrive
    Verified,    // read back equal to what was sent
    Mismatch,    // read back different
    Kept,        // left as the device has it, as asked
};

struct GroupOutcome
{
    const ConfigGroup *group;
    GroupState state;
    QString detail; // for Unknown: what was acknowledged and what was read back
};

struct WriteReport
{
    QString backupPath;          // empty without a backup
    QList<GroupOutcome> groups;  // every group, in table order
    QString error;               // why the write stopped short, else empty
    bool noAnswer = false;       // the device stopped answering
    std::optional<QByteArray> readBack; // the settings area read back
    QString journalError;        // a record the journal could not keep

    bool nothingWritten() const;
    bool allVerified() const;
    // Russian, for a message box or a terminal: the outcome, the groups by
    // state and where the backup is.
    QString summary() const;
};

struct WriteOptions
{
    bool backup = true;
    QString backupFolder;           // required with backup
    QString program;                // named in the backup file
    // Group ids not to write: a configuration taken to another recorder may
    // keep that recorder's own network settings.
    QStringList keep;
    IShellStatus *status = nullptr; // progress; the backup read may be stopped
    // Told the backup's path as soon as it is saved, before anything is sent.
    std::function<void(const QString &path)> backupSaved;
    // Each group sent leaves a record here, its changed fields from the
    // backup to the file; without a backup, the changes are not known. A
    // journal that cannot keep records stops the write before it starts.
    IWriteJournal *journal = nullptr;
};

// `config` must come from a file that validated (configFromJson) or from
// encodePages: every group is sent as it stands.
WriteReport writeDeviceConfig(ModbusMaster &modbus, const DeviceConfig &config,
                              const WriteOptions &options);

// The fields of `group` that a write of the settings image `after` changes
// from `before`, as the pages name and show them; with no `before` (the
// device's values are not known), every field with its new value.
QList<JournalChange> groupChanges(const ConfigGroup &group, const QByteArray *before,
                                  const QByteArray &after);

// What a write of `config` changes in a recorder that holds `device`: each
// differing field, group by group, the groups in `keep` left out.
QList<ConfigDifference> writePreview(const DeviceConfig &device, const DeviceConfig &config,
                                     const QStringList &keep = {});

QString groupStateText(GroupState state);
// The state of one group, with its detail where there is one.
QString groupOutcomeText(const GroupOutcome &outcome);

// The slave address the file's network group gives the recorder.
int networkAddressOf(const DeviceConfig &config);

} // namespace vexs
