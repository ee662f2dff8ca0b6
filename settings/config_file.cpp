#include "settings/config_file.h"

#include "settings/config_groups.h"
#include "settings/encodings.h"
#include "settings/identification.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "settings/value_controls.h"
#include "settings/whole_file.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

namespace vexs {

namespace {

const QString kNone = QStringLiteral("—");
// Octets of the image a line of the file's "image" carries: one block of
// the bulk read, so that a file's history shows which block changed.
constexpr int kImageLineOctets = 64;

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

QString jsonQuoted(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// The field's value as a line of the file writes it.
QString jsonValueText(const FileField &ff, const ConfigGroup &g, const QByteArray &record)
{
    switch (ff.shape) {
    case Shape::List:
    case Shape::NibbleLow:
    case Shape::NibbleHigh: {
        const int index = listIndex(ff, record);
        const QStringList items = listItems(*g.layout, ff.control, g.item);
        const QString text = index < items.size() ? jsonQuoted(items.at(index)) : QStringLiteral("null");
        return QStringLiteral("{\"index\": %1, \"text\": %2}").arg(index).arg(text);
    }
    case Shape::Spinner:
        return QString::number(octet(record, ff.field->offset));
    case Shape::Real:
        return jsonQuoted(realText(readFloat(record, ff.field->offset)));
    case Shape::Text:
        return jsonQuoted(decodeTextField(record.mid(ff.field->offset, ff.field->width),
                                          ff.field->width, ff.field->pad));
    case Shape::Table: {
        QStringList rows;
        for (int row = 1; row <= tableRows(ff, record); ++row) {
            rows << QStringLiteral("[%1, %2]").arg(jsonQuoted(realText(pointAt(*ff.x, record, row))),
                                                   jsonQuoted(realText(pointAt(*ff.y, record, row))));
        }
        return QLatin1Char('[') + rows.join(QStringLiteral(", ")) + QLatin1Char(']');
    }
    case Shape::Reserved:
        break;
    }
    return QString();
}

struct Atom
{
    QString field;
    QString caption;
    QString value;
};

// The field as a comparison shows it: one value, or one a table row and column.
QList<Atom> atomsOf(const FileField &ff, const ConfigGroup &g, const QByteArray &record)
{
    switch (ff.shape) {
    case Shape::List:
    case Shape::NibbleLow:
    case Shape::NibbleHigh: {
        const int index = listIndex(ff, record);
        const QStringList items = listItems(*g.layout, ff.control, g.item);
        return {{ff.key, ff.caption,
                 index < items.size() ? items.at(index) : QLatin1Char('#') + QString::number(index)}};
    }
    case Shape::Spinner:
        return {{ff.key, ff.caption, QString::number(octet(record, ff.field->offset))}};
    case Shape::Real:
        return {{ff.key, ff.caption, comparedReal(readFloat(record, ff.field->offset))}};
    case Shape::Text:
        return {{ff.key, ff.caption,
                 decodeTextField(record.mid(ff.field->offset, ff.field->width), ff.field->width,
                                 ff.field->pad)}};
    case Shape::Table: {
        QList<Atom> atoms{{ff.key, ff.caption + QStringLiteral(": число точек"),
                           QString::number(octet(record, ff.field->offset))}};
        for (int row = 1; row <= tableRows(ff, record); ++row) {
            const QString at = QStringLiteral("%1[%2]").arg(ff.key).arg(row);
            const QString caption = ff.caption + QStringLiteral(": точка %1").arg(row);
            atoms << Atom{at + QStringLiteral(".x"), caption + QStringLiteral(", X"),
                          comparedReal(pointAt(*ff.x, record, row))}
                  << Atom{at + QStringLiteral(".y"), caption + QStringLiteral(", Y"),
                          comparedReal(pointAt(*ff.y, record, row))};
        }
        return atoms;
    }
    case Shape::Reserved:
        return {{ff.key, ff.caption,
                 QString::fromLatin1(record.mid(ff.field->offset, ff.field->width).toHex(' '))}};
    }
    return {};
}

// --- Reading a file ------------------------------------------------------

std::optional<int> wholeNumber(const QJsonValue &v)
{
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (d != std::floor(d) || d < -1e9 || d > 1e9)
        return std::nullopt;
    return int(d);
}

std::optional<QString> numberText(const QJsonValue &v)
{
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 9);
    return std::nullopt;
}

QString itemList(const QStringList &items)
{
    QStringList quoted;
    for (const QString &item : items)
        quoted << QStringLiteral("«%1»").arg(item);
    return quoted.join(QStringLiteral(", "));
}

// The list index a file value names: {"index": n, "text": t}, a text, or
// a number. An index outside the list is kept only when it is what the
// image holds (the device sent it); nothing else can put it there.
std::optional<int> wantedIndex(const QJsonValue &value, const QStringList &items, int current,
                               QString *error)
{
    std::optional<int> index;
    std::optional<QString> text;
    QJsonValue indexValue(QJsonValue::Undefined);
    QJsonValue textValue(QJsonValue::Undefined);
    if (value.isObject()) {
        const QJsonObject o = value.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (it.key() != QLatin1String("index") && it.key() != QLatin1String("text")) {
                *error = QStringLiteral("ожидается {\"index\": номер, \"text\": текст пункта}");
                return std::nullopt;
            }
        }
        indexValue = o.value(QLatin1String("index"));
        textValue = o.value(QLatin1String("text"));
    } else if (value.isString()) {
        textValue = value;
    } else if (value.isDouble()) {
        indexValue = value;
    } else {
        *error = QStringLiteral("ожидается пункт списка: {\"index\": номер, \"text\": текст}");
        return std::nullopt;
    }
    if (!indexValue.isUndefined()) {
        index = wholeNumber(indexValue);
        if (!index || *index < 0 || *index > 255) {
            *error = QStringLiteral("номер пункта должен быть целым числом от 0 до %1")
                         .arg(items.size() - 1);
            return std::nullopt;
        }
    }
    if (textValue.isString()) {
        text = textValue.toString();
        const int found = int(items.indexOf(*text));
        if (found < 0) {
            *error = QStringLiteral("нет пункта «%1»; пункты: %2").arg(*text, itemList(items));
            return std::nullopt;
        }
        if (index && *index != found) {
            *error = QStringLiteral("номер пункта %1 и текст «%2» не совпадают").arg(*index).arg(*text);
            return std::nullopt;
        }
        return found;
    }
    if (!textValue.isUndefined() && !textValue.isNull()) {
        *error = QStringLiteral("текст пункта должен быть строкой");
        return std::nullopt;
    }
    if (!index) {
        *error = QStringLiteral("ожидается пункт списка: {\"index\": номер, \"text\": текст}");
        return std::nullopt;
    }
    if (*index >= items.size() && *index != current) {
        *error = QStringLiteral("нет пункта с номером %1 (пункты 0..%2)").arg(*index).arg(items.size() - 1);
        return std::nullopt;
    }
    return index;
}

// Encodes the given fields alone over the record, by the page's rules.
QString encodeOnly(ValueControls &controls, const ConfigGroup &g, QList<Field> fields,
                   QByteArray &record)
{
    BlockLayout one = *g.layout;
    one.fields = std::move(fields);
    const EncodeResult r = encodeRecord(controls, one, g.item, g.messagePrefix, record, g.bytes);
    if (!r.ok())
        return r.error;
    record = r.bytes;
    return QString();
}

// Applies one field of a file to the record. A value the record already
// holds (as the file shows it) leaves its octets alone, so unchanged values
// come back exactly, however the page would round them.
QString applyField(const FileField &ff, const QJsonValue &value, const ConfigGroup &g,
                   ValueControls &controls, QByteArray &record)
{
    const BlockLayout &layout = *g.layout;
    const QString name = layout.controlName(ff.control, g.item);
    QString error;
    switch (ff.shape) {
    case Shape::List:
    case Shape::NibbleLow:
    case Shape::NibbleHigh: {
        const int current = listIndex(ff, record);
        const auto index = wantedIndex(value, listItems(layout, ff.control, g.item), current, &error);
        if (!index)
            return error;
        if (*index == current)
            return QString();
        if (ff.shape != Shape::List && *index > 0x0F)
            return QStringLiteral("номер пункта должен быть от 0 до 15");
        controls.setItemIndex(name, *index);
        return encodeOnly(controls, g, {*ff.field}, record);
    }
    case Shape::Spinner: {
        const auto n = wholeNumber(value);
        if (n && *n == octet(record, ff.field->offset))
            return QString();
        if (!n || *n < ff.min || *n > ff.max)
            return QStringLiteral("должно быть целое число от %1 до %2").arg(ff.min).arg(ff.max);
        controls.setPosition(name, *n);
        return encodeOnly(controls, g, {*ff.field}, record);
    }
    case Shape::Real: {
        const auto text = numberText(value);
        if (!text)
            return QStringLiteral("ожидается число");
        if (keepsReal(*text, readFloat(record, ff.field->offset)))
            return QString();
        controls.setText(name, *text);
        return encodeOnly(controls, g, {*ff.field}, record);
    }
    case Shape::Text: {
        if (!value.isString())
            return QStringLiteral("ожидается текст");
        const QString text = value.toString();
        const Field &f = *ff.field;
        if (text == decodeTextField(record.mid(f.offset, f.width), f.width, f.pad))
            return QString();
        if (!ff.pattern.isEmpty()
            && (!QRegularExpression(QRegularExpression::anchoredPattern(ff.pattern)).match(text).hasMatch()
                || !addressGroupsFit(text)))
            return ff.patternMessage;
        if (text.size() > f.width)
            return QStringLiteral("не длиннее %1 символов").arg(f.width);
        // The device ends the text at its pad byte, a control character like
        // a tab or a line break: what followed would be lost.
        if (const int code = firstControlCode(text); code >= 0)
            return QStringLiteral("символ с кодом %1 нельзя передать в прибор").arg(code);
        controls.setText(name, text);
        return encodeOnly(controls, g, {f}, record);
    }
    case Shape::Table: {
        const QString shape = QStringLiteral("ожидается список от %1 до %2 точек [X, Y]")
                                  .arg(ff.min)
                                  .arg(ff.max);
        if (!value.isArray())
            return shape;
        const QJsonArray rows = value.toArray();
        if (rows.size() > kTablePoints)
            return shape;
        QStringList xs, ys;
        for (const QJsonValue &row : rows) {
            const QJsonArray pair = row.toArray();
            const auto x = numberText(pair.at(0));
            const auto y = numberText(pair.at(1));
            if (!row.isArray() || pair.size() != 2 || !x || !y)
                return shape;
            xs << *x;
            ys << *y;
        }
        bool same = rows.size() == tableRows(ff, record);
        for (int row = 1; same && row <= rows.size(); ++row) {
            same = keepsReal(xs.at(row - 1), pointAt(*ff.x, record, row))
                   && keepsReal(ys.at(row - 1), pointAt(*ff.y, record, row));
        }
        // A count the device holds is kept even outside the page's range.
        if (same)
            return QString();
        if (rows.size() < ff.min || rows.size() > ff.max)
            return shape;
        const QString grid = layout.controlName(ff.x->prefix, g.item);
        controls.setPosition(name, int(rows.size()));
        for (int row = 1; row <= rows.size(); ++row) {
            controls.setCell(grid, 1, row, xs.at(row - 1));
            controls.setCell(grid, 2, row, ys.at(row - 1));
        }
        const QByteArray held = record;
        const int heldRows = tableRows(ff, held);
        const QString message = encodeOnly(controls, g, {*ff.field, *ff.x, *ff.y}, record);
        // Points the file leaves as they were keep their octets, however
        // the cells round them.
        for (int row = 1; message.isEmpty() && row <= qMin(int(rows.size()), heldRows); ++row) {
            for (const auto &[column, text] : {std::pair{ff.x, xs.at(row - 1)}, std::pair{ff.y, ys.at(row - 1)}}) {
                const int at = column->offset + 4 * (row - 1);
                if (keepsReal(text, readFloat(held, at)))
                    record.replace(at, 4, held.mid(at, 4));
            }
        }
        return message;
    }
    case Shape::Reserved:
        break;
    }
    return QString();
}

std::optional<QByteArray> hexOctets(const QJsonValue &value, bool *notHex)
{
    QString text;
    if (value.isString()) {
        text = value.toString();
    } else if (value.isArray()) {
        for (const QJsonValue &line : value.toArray()) {
            if (!line.isString()) {
                *notHex = true;
                return std::nullopt;
            }
            text += line.toString();
        }
    } else {
        *notHex = true;
        return std::nullopt;
    }
    static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
    if (!hex.match(text).hasMatch()) {
        *notHex = true;
        return std::nullopt;
    }
    return QByteArray::fromHex(text.toLatin1());
}

// A key that stands twice in one object of `text` (valid JSON), with the
// keys of the objects around it: "groups", "measurement.1", "fields",
// "rangeHigh". The JSON parser keeps only the last of the two, so a value
// typed above the old one would be dropped without a word. Empty when no
// key repeats.
QStringList repeatedKey(const QByteArray &text)
{
    struct Level
    {
        bool object;
        QString key; // under which this object or list stands
        QSet<QString> keys;
    };
    QList<Level> levels;
    QString lastKey;
    bool keyNext = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            const qsizetype begin = i;
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\')
                    ++i;
            }
            if (!keyNext)
                continue;
            // The parser decodes the escapes: "ra\u0077" is the key "raw".
            const QString key =
                QJsonDocument::fromJson('[' + text.mid(begin, i - begin + 1) + ']').array().at(0).toString();
            Level &level = levels.last();
            if (level.keys.contains(key)) {
                QStringList path;
                for (qsizetype k = 1; k < levels.size(); ++k)
                    path << levels[k].key;
                return path << key;
            }
            level.keys.insert(key);
            lastKey = key;
            keyNext = false;
        } else if (c == '{' || c == '[') {
            // Inside a list a thing stands under the list's own key.
            const bool inList = !levels.isEmpty() && !levels.last().object;
            levels.append({c == '{', inList ? levels.last().key : lastKey, {}});
            keyNext = c == '{';
        } else if (c == '}' || c == ']') {
            levels.removeLast();
        } else if (c == ',') {
            keyNext = !levels.isEmpty() && levels.last().object;
        }
    }
    return {};
}

// A message fit for one line of a terminal or a box: a control character
// that came from the file (a NUL in a key would end the text there) is
// shown as its escape.
QString printable(const QString &message)
{
    QString out;
    out.reserve(message.size());
    for (const QChar c : message) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

// How a JSON value stood in the file, for a message.
QString jsonShown(const QJsonValue &v)
{
    const QByteArray list = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(list.mid(1, list.size() - 2));
}

class Reader
{
public:
    explicit Reader(const QString &fileName) : m_file(fileName) {}

    std::optional<DeviceConfig> read(const QByteArray &text, QString *error);

private:
    QString fail(const QString &message) const
    {
        return printable(QStringLiteral("Файл «%1»: %2").arg(m_file, message));
    }
    QString failIn(const ConfigGroup &g, const QString &message) const
    {
        return printable(QStringLiteral("Файл «%1», группа %2 («%3»): %4").arg(m_file, g.id, g.title, message));
    }
    QString failAt(const ConfigGroup &g, const QString &field, const QString &message) const
    {
        return printable(QStringLiteral("Файл «%1», группа %2 («%3»), поле «%4»: %5")
                             .arg(m_file, g.id, g.title, field, message));
    }
    QString applyGroup(const ConfigGroup &g, const QJsonValue &value, QByteArray &image);

    QString m_file;
    ValueControls m_controls;
};

QString Reader::applyGroup(const ConfigGroup &g, const QJsonValue &value, QByteArray &image)
{
    const QString shape = QStringLiteral("ожидается {\"fields\": {...}}");
    if (!value.isObject())
        return failIn(g, shape);
    const QJsonObject group = value.toObject();
    for (auto it = group.begin(); it != group.end(); ++it) {
        if (it.key() != QLatin1String("title") && it.key() != QLatin1String("fields"))
            return failIn(g, QStringLiteral("неизвестный ключ «%1»").arg(it.key()));
    }
    const QJsonValue fieldsValue = group.value(QLatin1String("fields"));
    if (fieldsValue.isUndefined())
        return QString(); // the image holds the group
    if (!fieldsValue.isObject())
        return failIn(g, shape);
    const QJsonObject fields = fieldsValue.toObject();
    const QList<FileField> &known = fileFields(g);
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const bool found = std::any_of(known.begin(), known.end(), [&](const FileField &ff) {
            return ff.shape != Shape::Reserved && ff.key == it.key();
        });
        if (!found)
            return failIn(g, QStringLiteral("неизвестное поле «%1»").arg(it.key()));
    }

    const int at = g.layout->recordOffset(g.item);
    QByteArray record = image.mid(at, g.layout->recordSize);
    decodeRecord(m_controls, *g.layout, g.item, record, g.bytes);
    // In record order, so the first bad field is the one the page would name.
    for (const FileField &ff : known) {
        const QJsonValue v = fields.value(ff.key);
        if (ff.shape == Shape::Reserved || v.isUndefined())
            continue;
        const QString message = applyField(ff, v, g, m_controls, record);
        if (!message.isEmpty())
            return failAt(g, ff.key, message);
    }
    image.replace(at, record.size(), record);
    return QString();
}

std::optional<DeviceConfig> Reader::read(const QByteArray &text, QString *error)
{
    auto failed = [error](const QString &message) {
        *error = message;
        return std::nullopt;
    };
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parse);
    if (parse.error != QJsonParseError::NoError)
        return failed(fail(QStringLiteral("не JSON (ошибка в позиции %1)").arg(parse.offset)));
    if (QStringList repeated = repeatedKey(text); !repeated.isEmpty()) {
        const QString key = repeated.takeLast();
        return failed(fail(QStringLiteral("ключ «%1» повторяется%2")
                               .arg(key, repeated.isEmpty() ? QString()
                                                            : QStringLiteral(" в ") + repeated.join(QStringLiteral(" / ")))));
    }
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value(QLatin1String("format")).toString() != QLatin1String(configfile::kFormat))
        return failed(fail(QStringLiteral("не файл конфигурации прибора (нет \"format\": \"%1\")")
                               .arg(QLatin1String(configfile::kFormat))));
    const QJsonValue version = root.value(QLatin1String("version"));
    if (version.isUndefined())
        return failed(fail(QStringLiteral("нет версии формата (нужна \"version\": %1)").arg(configfile::kVersion)));
    if (wholeNumber(version) != configfile::kVersion) {
        return failed(fail(QStringLiteral("версия формата %1 не поддерживается (нужна %2)")
                               .arg(jsonShown(version))
                               .arg(configfile::kVersion)));
    }

    // A misspelt key would otherwise drop what it holds without a word.
    static const QStringList known = {
        QStringLiteral("format"), QStringLiteral("version"),        QStringLiteral("program"),
        QStringLiteral("readAt"), QStringLiteral("identification"), QStringLiteral("groups"),
        QStringLiteral("image")};
    for (const QString &key : root.keys()) {
        if (!known.contains(key))
            return failed(fail(QStringLiteral("неизвестный ключ «%1»").arg(key)));
    }

    DeviceConfig config;
    config.program = root.value(QLatin1String("program")).toString();
    config.readAt = QDateTime::fromString(root.value(QLatin1String("readAt")).toString(), Qt::ISODate);

    const QJsonValue ident = root.value(QLatin1String("identification"));
    if (!ident.isUndefined() && !ident.isNull()) {
        const QJsonValue raw = ident.toObject().value(QLatin1String("raw"));
        bool notHex = false;
        const auto octets = raw.isUndefined() ? std::optional<QByteArray>() : hexOctets(raw, &notHex);
        if (!ident.isObject() || notHex
            || (octets && octets->size() != configfile::kIdentificationSize))
            return failed(fail(QStringLiteral("идентификация (identification.raw): нужно %1 октетов в "
                                              "шестнадцатеричной записи")
                                   .arg(configfile::kIdentificationSize)));
        if (octets)
            config.identification = *octets;
    }

    const QJsonValue imageValue = root.value(QLatin1String("image"));
    if (imageValue.isUndefined())
        return failed(fail(QStringLiteral("нет образа настроек (image)")));
    bool notHex = false;
    const auto image = hexOctets(imageValue, &notHex);
    if (notHex)
        return failed(fail(QStringLiteral("образ настроек (image): не шестнадцатеричная запись")));
    if (image->size() != SettingsImage::Size) {
        return failed(fail(QStringLiteral("образ настроек (image): %1 октетов вместо %2")
                               .arg(image->size())
                               .arg(SettingsImage::Size)));
    }
    config.image = *image;

    const QJsonValue groupsValue = root.value(QLatin1String("groups"));
    if (!groupsValue.isUndefined() && !groupsValue.isObject())
        return failed(fail(QStringLiteral("groups: ожидается объект с группами")));
    const QJsonObject groups = groupsValue.toObject();
    for (auto it = groups.begin(); it != groups.end(); ++it) {
        if (!findConfigGroup(it.key()))
            return failed(fail(QStringLiteral("неизвестная группа «%1»").arg(it.key())));
    }
    for (const ConfigGroup &g : configGroups()) {
        if (!groups.contains(g.id))
            continue;
        const QString message = applyGroup(g, groups.value(g.id), config.image);
        if (!message.isEmpty())
            return failed(message);
    }
    return config;
}

// --- Writing a file -------------------------------------------------------

QString identificationJson(const QByteArray &raw, int year)
{
    const Identification id = decodeIdentification(raw, year);
    QStringList kit;
    for (quint8 k : id.kitOptions)
        kit << QString::number(k);
    const QString made = id.date.date.isValid()
                             ? id.date.date.toString(QStringLiteral("dd.MM.yyyy"))
                             : fromCp1251(raw.left(6));
    QString out;
    out += QStringLiteral("  \"identification\": {\n");
    out += QStringLiteral("    \"serial\": %1,\n").arg(jsonQuoted(id.serial));
    out += QStringLiteral("    \"manufactured\": %1,\n").arg(jsonQuoted(made));
    out += QStringLiteral("    \"kitOptions\": [%1],\n").arg(kit.join(QStringLiteral(", ")));
    out += QStringLiteral("    \"versions\": {\"processor\": %1, \"indicator\": %2, \"adc\": %3},\n")
               .arg(jsonQuoted(versionText(id.versionProc)), jsonQuoted(versionText(id.versionInd)),
                    jsonQuoted(versionText(id.versionDac)));
    out += QStringLiteral("    \"raw\": \"%1\"\n").arg(QString::fromLatin1(raw.toHex()));
    out += QStringLiteral("  },\n");
    return out;
}

int yearOf(const DeviceConfig &c)
{
    return c.readAt.isValid() ? c.readAt.date().year() : QDate::currentDate().year();
}

QList<Atom> identificationAtoms(const DeviceConfig &c)
{
    if (c.identification.size() != configfile::kIdentificationSize)
        return {};
    const Identification id = decodeIdentification(c.identification, yearOf(c));
    QList<Atom> atoms{
        {QStringLiteral("serial"), QStringLiteral("Заводской номер"), id.serial},
        {QStringLiteral("manufactured"), QStringLiteral("Дата изготовления"),
         id.date.date.isValid() ? id.date.date.toString(QStringLiteral("dd.MM.yyyy"))
                                : fromCp1251(c.identification.left(6))},
    };
    for (int k = 0; k < ident::kKitOptions; ++k) {
        atoms << Atom{QStringLiteral("kitOptions[%1]").arg(k + 1), QStringLiteral("Комплектация %1").arg(k + 1),
                      QString::number(id.kitOptions[k])};
    }
    atoms << Atom{QStringLiteral("versions.processor"), QStringLiteral("Плата процессора"),
                  versionText(id.versionProc)}
          << Atom{QStringLiteral("versions.indicator"), QStringLiteral("Плата индикации"),
                  versionText(id.versionInd)}
          << Atom{QStringLiteral("versions.adc"), QStringLiteral("Плата АЦП"), versionText(id.versionDac)};
    return atoms;
}

// Pairs the atoms of two sides by field name, in the order they come.
void compareAtoms(const QList<Atom> &a, const QList<Atom> &b, const QString &group,
                  const QString &title, QList<ConfigDifference> &out)
{
    QList<Atom> order = a;
    for (const Atom &atom : b) {
        if (std::none_of(a.begin(), a.end(), [&](const Atom &x) { return x.field == atom.field; }))
            order << atom;
    }
    for (const Atom &atom : order) {
        auto valueIn = [&atom](const QList<Atom> &side) {
            for (const Atom &x : side) {
                if (x.field == atom.field)
                    return x.value;
            }
            return kNone;
        };
        const QString va = valueIn(a);
        const QString vb = valueIn(b);
        if (va != vb)
            out << ConfigDifference{group, title, atom.field, atom.caption, va, vb};
    }
}

} // namespace

QByteArray DeviceConfig::groupRecord(const ConfigGroup &group) const
{
    return image.mid(group.layout->recordOffset(group.item), group.layout->recordSize);
}

QString DeviceConfig::serial() const
{
    if (identification.size() != configfile::kIdentificationSize)
        return QString();
    QString s = fromCp1251(identification.mid(ident::kSerialOffset, ident::kSerialLength));
    s.remove(QChar(0));
    return s.trimmed();
}

QByteArray configToJson(const DeviceConfig &config)
{
    if (config.image.size() != SettingsImage::Size)
        throw std::invalid_argument("settings image of the wrong size");
    QString out;
    out += QStringLiteral("{\n");
    out += QStringLiteral("  \"format\": \"%1\",\n").arg(QLatin1String(configfile::kFormat));
    out += QStringLiteral("  \"version\": %1,\n").arg(configfile::kVersion);
    out += QStringLiteral("  \"program\": %1,\n").arg(jsonQuoted(config.program));
    out += QStringLiteral("  \"readAt\": %1,\n")
               .arg(jsonQuoted(config.readAt.isValid() ? config.readAt.toString(Qt::ISODate) : QString()));
    if (config.identification.size() == configfile::kIdentificationSize)
        out += identificationJson(config.identification, yearOf(config));
    out += QStringLiteral("  \"groups\": {\n");
    const QList<ConfigGroup> &groups = configGroups();
    for (int gi = 0; gi < groups.size(); ++gi) {
        const ConfigGroup &g = groups[gi];
        const QByteArray record = config.groupRecord(g);
        QStringList lines;
        for (const FileField &ff : fileFields(g)) {
            if (ff.shape != Shape::Reserved)
                lines << QStringLiteral("        %1: %2").arg(jsonQuoted(ff.key), jsonValueText(ff, g, record));
        }
        out += QStringLiteral("    %1: {\n      \"title\": %2,\n      \"fields\": {\n")
                   .arg(jsonQuoted(g.id), jsonQuoted(g.title));
        out += lines.join(QStringLiteral(",\n"));
        out += QStringLiteral("\n      }\n    }%1\n").arg(gi + 1 < groups.size() ? QStringLiteral(",") : QString());
    }
    out += QStringLiteral("  },\n");
    out += QStringLiteral("  \"image\": [\n");
    QStringList lines;
    for (int at = 0; at < config.image.size(); at += kImageLineOctets)
        lines << QStringLiteral("    \"%1\"").arg(QString::fromLatin1(config.image.mid(at, kImageLineOctets).toHex()));
    out += lines.join(QStringLiteral(",\n"));
    out += QStringLiteral("\n  ]\n}\n");
    return out.toUtf8();
}

std::optional<DeviceConfig> configFromJson(const QByteArray &text, const QString &fileName,
                                           QString *error)
{
    return Reader(fileName).read(text, error);
}

std::optional<DeviceConfig> readConfigFile(const QString &path, QString *error)
{
    // A FIFO or a device would block the read or never end it.
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile()) {
        *error = QStringLiteral("Файл «%1»: не обычный файл").arg(path);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Файл «%1»: не удается открыть (%2)").arg(path, file.errorString());
        return std::nullopt;
    }
    if (file.size() > configfile::kMaxFileSize) {
        *error = QStringLiteral("Файл «%1»: слишком велик для файла конфигурации").arg(path);
        return std::nullopt;
    }
    const QByteArray text = file.read(configfile::kMaxFileSize + 1);
    if (text.size() > configfile::kMaxFileSize) {
        *error = QStringLiteral("Файл «%1»: слишком велик для файла конфигурации").arg(path);
        return std::nullopt;
    }
    return configFromJson(text, path, error);
}

bool writeConfigFile(const QString &path, const DeviceConfig &config, QString *error)
{
    QString why;
    if (!saveWholeFile(path, configToJson(config), &why)) {
        *error = QStringLiteral("Файл «%1» не записан: %2").arg(path, why);
        return false;
    }
    return true;
}

QList<ConfigDifference> compareGroups(const DeviceConfig &a, const DeviceConfig &b, bool unshownOctets)
{
    QList<ConfigDifference> out;
    for (const ConfigGroup &g : configGroups()) {
        const QByteArray ra = a.groupRecord(g);
        const QByteArray rb = b.groupRecord(g);
        const qsizetype before = out.size();
        for (const FileField &ff : fileFields(g))
            compareAtoms(atomsOf(ff, g, ra), atomsOf(ff, g, rb), g.id, g.title, out);
        // Octets that no field shows (points past the count, a text's bytes
        // after its pad, the bits of a NaN) still go out in a write.
        int first = g.bytes ? g.bytes->begin : 0;
        int last = (g.bytes ? g.bytes->end : g.layout->recordSize) - 1;
        if (!unshownOctets || out.size() > before
            || ra.mid(first, last - first + 1) == rb.mid(first, last - first + 1))
            continue;
        while (ra[first] == rb[first])
            ++first;
        while (ra[last] == rb[last])
            --last;
        out.append({g.id, g.title, QStringLiteral("octets[%1..%2]").arg(first).arg(last),
                    QStringLiteral("октеты записи, не показанные полями"),
                    QString::fromLatin1(ra.mid(first, last - first + 1).toHex(' ')),
                    QString::fromLatin1(rb.mid(first, last - first + 1).toHex(' '))});
    }
    return out;
}

QList<ConfigDifference> compareIdentification(const DeviceConfig &a, const DeviceConfig &b)
{
    QList<ConfigDifference> out;
    compareAtoms(identificationAtoms(a), identificationAtoms(b), QStringLiteral("identification"),
                 QStringLiteral("Идентификация"), out);
    return out;
}

QString differenceLine(const ConfigDifference &d)
{
    return QStringLiteral("%1 / %2: %3 -> %4").arg(d.group, d.field, d.a, d.b);
}

std::optional<QByteArray> encodePages(const IControls &controls, const QByteArray &base,
                                      QString *error)
{
    if (base.size() != SettingsImage::Size)
        throw std::invalid_argument("settings image of the wrong size");
    QByteArray image = base;
    for (const ConfigGroup &g : configGroups()) {
        const int at = g.layout->recordOffset(g.item);
        const EncodeResult r = encodeRecord(controls, *g.layout, g.item, g.messagePrefix,
                                            image.mid(at, g.layout->recordSize), g.bytes);
        if (!r.ok()) {
            *error = r.error;
            return std::nullopt;
        }
        image.replace(at, r.bytes.size(), r.bytes);
    }
    return image;
}

} // namespace vexs
