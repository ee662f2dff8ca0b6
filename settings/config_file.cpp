#include "settings/config_file.h"

#include "settings/config_fields.h"

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

using namespace configfile;

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

using Atom = FieldValue;

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
        if (!unshownOctets || out.size() > before)
            continue;
        const std::optional<ByteRange> differ = differingOctets(g, ra, rb);
        if (!differ)
            continue;
        const auto octets = [&](const QByteArray &r) {
            return QString::fromLatin1(r.mid(differ->begin, differ->end - differ->begin).toHex(' '));
        };
        out.append({g.id, g.title, QStringLiteral("octets[%1..%2]").arg(differ->begin).arg(differ->end - 1),
                    QStringLiteral("октеты записи, не показанные полями"), octets(ra), octets(rb)});
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

QList<FieldValue> groupValues(const DeviceConfig &config, const ConfigGroup &group)
{
    const QByteArray record = config.groupRecord(group);
    QList<FieldValue> out;
    for (const FileField &ff : fileFields(group)) {
        if (ff.shape != Shape::Reserved)
            out << atomsOf(ff, group, record);
    }
    return out;
}

QList<FieldValue> identificationValues(const DeviceConfig &config)
{
    return identificationAtoms(config);
}

QString differenceLine(const ConfigDifference &d, DifferenceNames names)
{
    const bool captions = names == DifferenceNames::Captions;
    const QString &group = captions && !d.groupTitle.isEmpty() ? d.groupTitle : d.group;
    const QString &field = captions && !d.caption.isEmpty() ? d.caption : d.field;
    return QStringLiteral("%1 / %2: %3 -> %4").arg(group, field, d.a, d.b);
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
