#pragma once

// The configuration file's view of the field table: each field as a file
// names and shows it (a nibble pair is two, a point table with its count is
// one), and the values as a file writes them. Shared by the reader, the
// writer and the comparison of configuration files.

#include "settings/config_groups.h"
#include "settings/record_layout.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace vexs::configfile {

enum class Shape { List, NibbleLow, NibbleHigh, Spinner, Real, Text, Table, Reserved };

// One field as a file has it. Most are one layout field; a nibble pair is
// two, and a point table (count and both columns) is one.
struct FileField
{
    Shape shape = Shape::List;
    const Field *field = nullptr; // Table: the count spinner
    const Field *x = nullptr; // Table
    const Field *y = nullptr;
    QString key;
    QString caption;
    QString control; // the list (NibbleHigh: prefix2)
    int min = 0;
    int max = 255;
    QString pattern;
    QString patternMessage;
};

// The fields of a group of the group table, in record order.
const QList<FileField> &fileFields(const ConfigGroup &group);

quint8 octet(const QByteArray &record, int offset);
// A real as a file writes it: rounded as the edits show it, with a point.
QString realText(float value);
// A file's text for a real the record holds as `held`: the text the file
// shows for it, or a number equal to it.
bool keepsReal(const QString &text, float held);
// A real as a comparison shows it, exact where the rounding shows two alike.
QString comparedReal(float value);
int listIndex(const FileField &ff, const QByteArray &record);
int tableRows(const FileField &ff, const QByteArray &record);
float pointAt(const Field &column, const QByteArray &record, int row);
// The first to the last octet of the group's part of two of its records that
// differ, as [begin, end); nullopt when the parts are equal.
std::optional<ByteRange> differingOctets(const ConfigGroup &group, const QByteArray &recordA,
                                         const QByteArray &recordB);

} // namespace vexs::configfile
