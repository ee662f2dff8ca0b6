#pragma once

// A recorder's configuration as a file people keep, read, compare and
// restore: JSON in UTF-8, one file a recorder. It names every field of every
// configuration group in the texts the pages show (lists by item text and
// index, numbers as the edits show them) and carries the settings image for
// the octets no field names. Reading a file validates each value that
// differs from the image by the rules and messages of the page that owns
// it; the named value then wins. Nothing here talks to a device.
//
//   {
//     "format": "vexs-config", "version": 1,
//     "program": "vexs-cli 1.18", "readAt": "2025-03-14T10:22:31+03:00",
//     "identification": {"serial": "000417", ..., "raw": "<22 octets, hex>"},
//     "groups": {
//       "measurement.1": {"title": "Канал измерения 1", "fields": {
//         "enabled": {"index": 1, "text": "Вкл"}, "rangeLow": "0.000", ...}},
//       ...},
//     "image": ["<64 octets, hex>", ...]
//   }

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace vexs {

class IControls;
struct ConfigGroup;

namespace configfile {
inline constexpr const char *kFormat = "vexs-config";
inline constexpr int kVersion = 1;
// Far above any real file; a larger one is refused before it is parsed.
inline constexpr qint64 kMaxFileSize = 1024 * 1024;
inline constexpr int kIdentificationSize = 22;
} // namespace configfile

struct DeviceConfig
{
    QString program;   // the program (and version) that made it
    QDateTime readAt;  // invalid when not known
    // The identification's 22 data octets as read; empty when not known.
    QByteArray identification;
    // SettingsImage::Size octets, the named fields already applied.
    QByteArray image;

    // The whole record of the group's layout item.
    QByteArray groupRecord(const ConfigGroup &group) const;
    // The serial number without padding; empty without an identification.
    QString serial() const;
};

QByteArray configToJson(const DeviceConfig &config);

// nullopt with `error` set: one message naming the file and, where it
// applies, the group and the field.
std::optional<DeviceConfig> configFromJson(const QByteArray &text, const QString &fileName,
                                           QString *error);
std::optional<DeviceConfig> readConfigFile(const QString &path, QString *error);
// Replaces the file only once the new one is complete.
bool writeConfigFile(const QString &path, const DeviceConfig &config, QString *error);

struct ConfigDifference
{
    QString group;      // group id, or "identification"
    QString groupTitle; // as a user knows the group
    QString field;      // file name of the field, e.g. "rangeLow", "points[2].x"
    QString caption;    // the page's caption of the field
    QString a;          // as the file shows it; "—" where a side has none
    QString b;
};

// Field by field in table order. With `unshownOctets`, a group whose octets
// differ where no field shows it (points past the count, a text after its
// pad) differs in "octets[first..last]" of its record; pages, which hold no
// such octets of their own, are compared without.
QList<ConfigDifference> compareGroups(const DeviceConfig &a, const DeviceConfig &b,
                                      bool unshownOctets = true);
// Identification differences are notes: a configuration moved to another
// recorder differs there by design.
QList<ConfigDifference> compareIdentification(const DeviceConfig &a, const DeviceConfig &b);
// One field's value as a comparison shows it: a list by its item's text, a
// number as its edit shows it (exact where the rounding would show two
// alike), a point table one row and column at a time.
struct FieldValue
{
    QString field;   // file name of the field
    QString caption; // the page's caption
    QString value;
};
// Every field of the group in record order; reserved octets left out.
QList<FieldValue> groupValues(const DeviceConfig &config, const ConfigGroup &group);
// Serial, date of manufacture, kit options and board versions; empty
// without an identification.
QList<FieldValue> identificationValues(const DeviceConfig &config);

// "group / field: a -> b", by the file's names ("measurement.1 / rangeHigh")
// or as a user knows them ("Канал измерения 1 / ВПИ"); a field without a
// caption keeps its file name.
enum class DifferenceNames { Ids, Captions };
QString differenceLine(const ConfigDifference &d, DifferenceNames names = DifferenceNames::Ids);

// The image of what the pages show: every group encoded as its page's write
// would, over `base` (octets without a control: the last bulk read's).
// nullopt with `error` set to the first page's validation message.
std::optional<QByteArray> encodePages(const IControls &controls, const QByteArray &base,
                                      QString *error);

} // namespace vexs
