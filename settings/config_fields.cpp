#include "settings/config_fields.h"

#include "settings/encodings.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace vexs::configfile {

namespace {


// The texts that fill an input mask: "999.999;_" is \d{3}\.\d{3}.
QString maskPattern(const QString &inputMask)
{
    QString pattern;
    for (const QChar c : inputMask.section(QLatin1Char(';'), 0, 0))
        pattern += c == u'9' ? QStringLiteral("\\d") : QRegularExpression::escape(QString(c));
    return pattern;
}

// A field of the table as a file has it; `high` for a nibble pair's high list.
FileField named(Shape shape, const Field &f, bool high = false)
{
    FileField ff;
    ff.shape = shape;
    ff.field = &f;
    ff.key = high ? f.key2 : f.key;
    ff.caption = high ? f.caption2 : f.caption;
    ff.control = high ? f.prefix2 : f.prefix;
    ff.min = f.min;
    ff.max = f.max;
    ff.pattern = maskPattern(f.inputMask);
    ff.patternMessage = f.maskMessage;
    if (ff.key.isEmpty())
        throw std::logic_error(("no file key for field " + ff.control).toStdString());
    return ff;
}

bool inside(const Field &f, const std::optional<ByteRange> &range)
{
    return !range || (f.offset >= range->begin && f.offset + f.width <= range->end);
}

QList<FileField> buildFileFields(const ConfigGroup &group)
{
    QList<FileField> fields;
    const QList<Field> &all = group.layout->fields;
    for (const Field &f : all) {
        if (!inside(f, group.bytes))
            continue;
        switch (f.kind) {
        case FieldKind::Switch:
        case FieldKind::Selection:
            fields << named(Shape::List, f);
            break;
        case FieldKind::NibblePair:
            fields << named(Shape::NibbleLow, f) << named(Shape::NibbleHigh, f, true);
            break;
        case FieldKind::Spinner: {
            FileField ff = named(Shape::Spinner, f);
            for (const Field &t : all) {
                if (t.prefix2 != f.prefix)
                    continue;
                ff.shape = Shape::Table;
                (t.kind == FieldKind::PointsX ? ff.x : ff.y) = &t;
            }
            fields << ff;
            break;
        }
        case FieldKind::Real:
            fields << named(Shape::Real, f);
            break;
        case FieldKind::Text:
            fields << named(Shape::Text, f);
            break;
        case FieldKind::Reserved: {
            FileField ff;
            ff.shape = Shape::Reserved;
            ff.field = &f;
            ff.key = f.width == 1 ? QStringLiteral("reserved[%1]").arg(f.offset)
                                  : QStringLiteral("reserved[%1..%2]").arg(f.offset).arg(f.offset + f.width - 1);
            ff.caption = QStringLiteral("резерв");
            fields << ff;
            break;
        }
        case FieldKind::PointsX:
        case FieldKind::PointsY:
            break; // with their count
        }
    }
    return fields;
}

} // namespace

const QList<FileField> &fileFields(const ConfigGroup &group)
{
    static const QList<QList<FileField>> all = [] {
        QList<QList<FileField>> lists;
        for (const ConfigGroup &g : configGroups())
            lists << buildFileFields(g);
        return lists;
    }();
    // Groups come from the table, so their place in it is their index.
    const qsizetype index = &group - configGroups().constData();
    if (index < 0 || index >= all.size())
        throw std::invalid_argument("group not from the group table");
    return all.at(index);
}

// --- Values as the file shows them ------------------------------------

quint8 octet(const QByteArray &record, int offset)
{
    return quint8(record.at(offset));
}

// Edits show the locale's separator; files are the same whatever the
// locale, so they carry a point.
QString realText(float value)
{
    QString text = formatReal(value);
    const QString separator = QLocale().decimalPoint();
    if (separator != QLatin1String("."))
        text.replace(separator, QLatin1String("."));
    return text;
}

// A file's text for a real the record holds as `held`: the text the file
// shows for it, or a number equal to it. "0.0030" for a held 0.0034 (shown
// 0.003) is a change.
bool keepsReal(const QString &text, float held)
{
    if (text == realText(held))
        return true;
    const auto value = parseReal(text);
    return value && *value == held;
}

// A comparison tells apart values that the edits' rounding shows alike:
// those get the shortest text that gives the value back.
QString comparedReal(float value)
{
    const QString shown = realText(value);
    const auto back = parseReal(shown);
    // Bit for bit: -0 and 0 are other octets too.
    if (!back || std::bit_cast<quint32>(*back) == std::bit_cast<quint32>(value))
        return shown;
    QString exact;
    for (int digits = 1; digits <= 9; ++digits) {
        exact = QString::number(double(value), 'g', digits);
        if (std::bit_cast<quint32>(exact.toFloat()) == std::bit_cast<quint32>(value))
            break;
    }
    return shown + QStringLiteral(" (") + exact + QLatin1Char(')');
}

int listIndex(const FileField &ff, const QByteArray &record)
{
    const quint8 b = octet(record, ff.field->offset);
    switch (ff.shape) {
    case Shape::NibbleLow:
        return b & 0x0F;
    case Shape::NibbleHigh:
        return b >> 4;
    default:
        return b;
    }
}

int tableRows(const FileField &ff, const QByteArray &record)
{
    return std::clamp(int(octet(record, ff.field->offset)), 0, kTablePoints);
}

float pointAt(const Field &column, const QByteArray &record, int row)
{
    return readFloat(record, column.offset + 4 * (row - 1));
}

std::optional<ByteRange> differingOctets(const ConfigGroup &group, const QByteArray &recordA,
                                         const QByteArray &recordB)
{
    int first = group.bytes ? group.bytes->begin : 0;
    int last = (group.bytes ? group.bytes->end : group.layout->recordSize) - 1;
    while (first <= last && recordA[first] == recordB[first])
        ++first;
    if (first > last)
        return std::nullopt;
    while (recordA[last] == recordB[last])
        --last;
    return ByteRange{first, last + 1};
}

} // namespace vexs::configfile
