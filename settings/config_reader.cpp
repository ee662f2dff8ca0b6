// Reading a configuration file: JSON checked key by key against the field
// table, every value checked by the rules of the page that owns it, and one
// message naming the file, the group and the field for the first fault.
#include "settings/config_file.h"

#include "settings/config_fields.h"
#include "settings/config_groups.h"
#include "settings/encodings.h"
#include "settings/identification.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "settings/value_controls.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace vexs {

namespace {

using namespace configfile;

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

// Where the JSON parser stopped, as an editor counts it: line and column
// from 1, the column in characters. The parser's offset counts octets of
// the UTF-8 text, a byte order mark at the start included, and a Cyrillic
// letter takes two of them.
struct TextPosition
{
    int line = 1;
    int column = 1;
};

TextPosition positionIn(const QByteArray &text, qsizetype offset)
{
    offset = std::clamp<qsizetype>(offset, 0, text.size());
    TextPosition at;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++at.line;
            lineStart = i + 1;
        }
    }
    if (lineStart == 0 && text.startsWith("\xEF\xBB\xBF"))
        lineStart = std::min<qsizetype>(3, offset);
    // An octet that is no valid UTF-8 becomes one replacement character,
    // and a character beyond the first plane one pair of surrogates.
    const QString before = QString::fromUtf8(text.constData() + lineStart, offset - lineStart);
    for (const QChar c : before) {
        if (!c.isLowSurrogate())
            ++at.column;
    }
    return at;
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
    if (parse.error != QJsonParseError::NoError) {
        const TextPosition at = positionIn(text, parse.offset);
        return failed(fail(QStringLiteral("не JSON (ошибка в строке %1, столбце %2)")
                               .arg(at.line)
                               .arg(at.column)));
    }
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

} // namespace

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

} // namespace vexs
