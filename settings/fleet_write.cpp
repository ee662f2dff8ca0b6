#include "settings/fleet_write.h"

#include "link/tcp_client.h"
#include "settings/config_fields.h"
#include "settings/config_groups.h"
#include "settings/record_layout.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <algorithm>
#include <utility>

namespace vexs {

namespace {

using configfile::FileField;
using configfile::Shape;

const QString kNetwork = QStringLiteral("network");
const QString kNetworkAddress = QStringLiteral("address");

const FileField *fileField(const ConfigGroup &g, const QString &key)
{
    for (const FileField &ff : configfile::fileFields(g)) {
        if (ff.shape != Shape::Reserved && ff.key == key)
            return &ff;
    }
    return nullptr;
}

QStringList fieldKeys(const ConfigGroup &g)
{
    QStringList keys;
    for (const FileField &ff : configfile::fileFields(g)) {
        if (ff.shape != Shape::Reserved)
            keys << ff.key;
    }
    return keys;
}

// A dotted address as an engineer types it: "192.168.1.5" fills the mask
// as "192.168.001.005", the way the network page pads it when its edit is
// left. Groups that are no number of up to three digits stay as they are,
// for the mask's own refusal.
QString padDotted(const QString &text)
{
    QStringList groups = text.split(u'.');
    for (QString &group : groups) {
        const bool digits = !group.isEmpty() && group.size() <= 3
                            && std::all_of(group.begin(), group.end(), [](QChar c) { return c.isDigit(); });
        if (digits)
            group = group.rightJustified(3, u'0');
    }
    return groups.join(u'.');
}

// The item of a list a typed value names: its text, the text with the
// blanks that line up a list ignored ("9600 бит/с"), or its first word
// when no other item begins with it ("9600"); -1 for none.
int itemNamed(const QStringList &items, const QString &value)
{
    if (const qsizetype exact = items.indexOf(value); exact >= 0)
        return int(exact);
    const QString typed = value.simplified();
    QList<int> byWord;
    for (int i = 0; i < items.size(); ++i) {
        const QString item = items[i].simplified();
        if (item == typed)
            return i;
        if (!typed.isEmpty() && item.section(u' ', 0, 0) == typed)
            byWord << i;
    }
    return byWord.size() == 1 ? byWord.first() : -1;
}

// A value as the file's reader takes it for the field: a list item by its
// index, or a number as an index when no item reads so; a spinner as a
// number; the rest as text. Anything the field cannot take goes as it is,
// for the reader's own message.
QJsonValue jsonValueOf(const ConfigGroup &g, const FileField &ff, const QString &value)
{
    bool whole = false;
    const int number = value.trimmed().toInt(&whole, 10);
    switch (ff.shape) {
    case Shape::List:
    case Shape::NibbleLow:
    case Shape::NibbleHigh:
        if (const int item = itemNamed(listItems(*g.layout, ff.control, g.item), value); item >= 0)
            return item;
        return whole ? QJsonValue(number) : QJsonValue(value);
    case Shape::Spinner:
        return whole ? QJsonValue(number) : QJsonValue(value);
    case Shape::Text:
        return ff.field->inputMask.count(u'.') == 3 ? padDotted(value.trimmed()) : value;
    default:
        return value;
    }
}

// What the reader says of a field, without its own "Файл «…», группа …"
// in front: the value did not come from a file.
QString fieldMessage(const QString &message, const QString &key)
{
    const QString marker = QStringLiteral("поле «%1»: ").arg(key);
    const qsizetype at = message.indexOf(marker);
    return at < 0 ? message : message.mid(at + marker.size());
}

QString lineFailure(const WriteReport &r, const ModbusMaster &modbus)
{
    QStringList parts{r.error.isEmpty() ? QStringLiteral("Запись не подтверждена чтением") : r.error};
    QMap<int, QStringList> byState; // in the order of the states, not of the groups
    for (const GroupOutcome &g : r.groups) {
        if (g.state != GroupState::Verified && g.state != GroupState::Kept && g.state != GroupState::NotWritten)
            byState[int(g.state)] << g.group->id;
    }
    for (auto it = byState.cbegin(); it != byState.cend(); ++it)
        parts << groupStateText(GroupState(it.key())) + QStringLiteral(": ") + it.value().join(QStringLiteral(", "));
    if (r.noAnswer) {
        QString cause = causeText(modbus.lastOutcome());
        if (!cause.isEmpty())
            parts.first() += QStringLiteral(" (") + cause.left(1).toLower() + cause.mid(1) + QLatin1Char(')');
    }
    return parts.join(QStringLiteral("; ")).replace(u'\n', QStringLiteral("; "));
}

// Each record names the recorder written, not the address the window's
// connection bar shows.
class AddressedJournal : public IWriteJournal
{
public:
    AddressedJournal(IWriteJournal &journal, int address) : m_journal(journal), m_address(address) {}
    bool ready(QString *error) override { return m_journal.ready(error); }
    bool record(JournalRecord entry, QString *error) override
    {
        if (entry.address == 0)
            entry.address = m_address;
        return m_journal.record(std::move(entry), error);
    }

private:
    IWriteJournal &m_journal;
    int m_address;
};

QString shownPath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString lineText(const FleetLine &line)
{
    if (line.ok) {
        return QStringLiteral("%1: ok, ").arg(line.address)
               + (line.backupPath.isEmpty() ? QStringLiteral("без резервной копии")
                                            : QStringLiteral("резервная копия ") + shownPath(line.backupPath));
    }
    QString text = QStringLiteral("%1: error %2").arg(line.address).arg(line.why);
    if (!line.backupPath.isEmpty())
        text += QStringLiteral(", резервная копия ") + shownPath(line.backupPath);
    return text;
}

} // namespace

QString FieldSetting::valueFor(int address) const
{
    return QString(value).replace(kAddressMark, QString::number(address));
}

QString FieldSetting::text() const
{
    return group + QLatin1Char('.') + field + QLatin1Char('=') + value;
}

std::optional<FieldSetting> parseFieldSetting(const QString &text, QString *error)
{
    auto failed = [&](const QString &message) {
        *error = QStringLiteral("«%1»: ").arg(text) + message;
        return std::nullopt;
    };
    const qsizetype equals = text.indexOf(u'=');
    const QString name = text.left(equals).trimmed();
    // Group ids have dots of their own ("display.channel"); field keys none.
    const qsizetype dot = name.lastIndexOf(u'.');
    if (equals < 0 || dot <= 0 || dot == name.size() - 1)
        return failed(QStringLiteral("нужно ГРУППА.ПОЛЕ=ЗНАЧЕНИЕ, например network.address={addr}"));
    FieldSetting s{name.left(dot), name.mid(dot + 1), text.mid(equals + 1)};
    const ConfigGroup *g = findConfigGroup(s.group);
    if (!g)
        return failed(QStringLiteral("нет группы «%1»").arg(s.group));
    const FileField *ff = fileField(*g, s.field);
    if (!ff)
        return failed(QStringLiteral("в группе %1 нет поля «%2»; поля: %3")
                          .arg(s.group, s.field, fieldKeys(*g).join(QStringLiteral(", "))));
    if (ff->shape == Shape::Table)
        return failed(QStringLiteral("таблица точек «%1» задаётся только в файле").arg(s.field));
    return s;
}

std::optional<DeviceConfig> applySettings(const DeviceConfig &config, const QList<FieldSetting> &settings,
                                          int address, QString *error)
{
    if (settings.isEmpty())
        return config;
    QJsonObject root = QJsonDocument::fromJson(configToJson(config)).object();
    QJsonObject groups = root.value(QLatin1String("groups")).toObject();
    for (const FieldSetting &s : settings) {
        const ConfigGroup *g = findConfigGroup(s.group);
        const FileField *ff = g ? fileField(*g, s.field) : nullptr;
        if (!ff || ff->shape == Shape::Table) {
            *error = QStringLiteral("Адрес %1: поле %2.%3 нельзя задать").arg(address).arg(s.group, s.field);
            return std::nullopt;
        }
        QJsonObject group = groups.value(s.group).toObject();
        QJsonObject fields = group.value(QLatin1String("fields")).toObject();
        fields.insert(s.field, jsonValueOf(*g, *ff, s.valueFor(address)));
        group.insert(QLatin1String("fields"), fields);
        groups.insert(s.group, group);
    }
    root.insert(QLatin1String("groups"), groups);
    // The file's reader validates what differs from the image, field by
    // field in record order, by the rules of the page that owns it.
    QString why;
    const QString name = QStringLiteral("адрес %1").arg(address);
    const std::optional<DeviceConfig> read = configFromJson(QJsonDocument(root).toJson(), name, &why);
    if (read) {
        DeviceConfig out = config;
        out.image = read->image;
        return out;
    }
    for (const FieldSetting &s : settings) {
        const ConfigGroup *g = findConfigGroup(s.group);
        if (why.contains(QStringLiteral("группа %1 (").arg(s.group))
            && why.contains(QStringLiteral("поле «%1»").arg(s.field))) {
            *error = QStringLiteral("Адрес %1, группа %2 («%3»), поле «%4» = «%5»: %6")
                         .arg(address)
                         .arg(s.group, g->title, s.field, s.valueFor(address), fieldMessage(why, s.field));
            return std::nullopt;
        }
    }
    *error = QStringLiteral("Адрес %1: %2").arg(address).arg(why);
    return std::nullopt;
}

QList<FieldSetting> networkOverrides(const QString &newAddress, const QString &ip)
{
    QList<FieldSetting> out;
    if (!newAddress.trimmed().isEmpty())
        out << FieldSetting{kNetwork, kNetworkAddress, newAddress.trimmed()};
    if (!ip.trimmed().isEmpty())
        out << FieldSetting{kNetwork, QStringLiteral("ip"), ip.trimmed()};
    return out;
}

std::optional<QList<FleetTarget>> fleetTargets(const DeviceConfig &config, const QList<FleetAddress> &addresses,
                                               const QStringList &keep, QString *error)
{
    QList<FleetTarget> targets;
    for (const FleetAddress &a : addresses) {
        QStringList named;
        for (const FieldSetting &s : a.settings) {
            const QString field = s.group + QLatin1Char('.') + s.field;
            if (keep.contains(s.group)) {
                *error = QStringLiteral("Адрес %1: поле %2 не будет записано: группа %3 остаётся как в приборе")
                             .arg(a.address)
                             .arg(field, s.group);
                return std::nullopt;
            }
            // The second value would silently win over the first.
            if (named.contains(field)) {
                *error = QStringLiteral("Адрес %1: поле %2 задано дважды").arg(a.address).arg(field);
                return std::nullopt;
            }
            named << field;
        }
        const std::optional<DeviceConfig> own = applySettings(config, a.settings, a.address, error);
        if (!own)
            return std::nullopt;
        targets.append({a.address, *own});
    }
    return targets;
}

QString addressClash(const QList<FleetTarget> &targets, const QStringList &keep)
{
    if (keep.contains(kNetwork))
        return QString();
    QList<int> listed;
    for (const FleetTarget &t : targets)
        listed << t.address;
    // Two recorders at one address make the line answer garbled or not at
    // all, and so does a recorder moved onto another's address mid-run.
    QMap<int, int> holder; // new address -> the address it is written at
    for (const FleetTarget &t : targets) {
        const int given = networkAddressOf(t.config);
        if (holder.contains(given)) {
            return QStringLiteral("Приборы по адресам %1 и %2 получили бы один адрес %3")
                .arg(holder.value(given))
                .arg(t.address)
                .arg(given);
        }
        holder.insert(given, t.address);
        if (given != t.address && listed.contains(given)) {
            return QStringLiteral("Прибор по адресу %1 получил бы адрес %2, по которому отвечает другой прибор "
                                  "списка")
                .arg(t.address)
                .arg(given);
        }
    }
    return QString();
}

int FleetReport::verified() const
{
    return int(std::count_if(lines.cbegin(), lines.cend(), [](const FleetLine &l) { return l.ok; }));
}

bool FleetReport::allVerified() const
{
    return !addresses.isEmpty() && verified() == addresses.size();
}

QList<int> FleetReport::notTried() const
{
    QList<int> out = addresses;
    for (const FleetLine &l : lines)
        out.removeAll(l.address);
    return out;
}

QString FleetReport::summary() const
{
    QStringList out{QStringLiteral("Записано и проверено приборов: %1 из %2").arg(verified()).arg(addresses.size())};
    for (const FleetLine &l : lines) {
        if (l.ok)
            continue;
        out << QStringLiteral("Адрес %1: %2; %3")
                   .arg(l.address)
                   .arg(l.why,
                        l.backupPath.isEmpty() ? QStringLiteral("резервной копии нет")
                                               : QStringLiteral("резервная копия: ") + shownPath(l.backupPath));
    }
    const QList<int> rest = notTried();
    if (!rest.isEmpty()) {
        const QString what = stopped ? QStringLiteral("Запись остановлена")
                                     : QStringLiteral("Запись прервана (%1)").arg(linkGone);
        out << QStringLiteral("%1: не записывались адреса %2").arg(what, addressRanges(rest));
    }
    return out.join(QLatin1Char('\n'));
}

FleetReport writeFleet(const QList<FleetTarget> &targets, const FleetSelect &select, ModbusMaster &modbus,
                       const WriteOptions &options, const std::function<bool()> &goOn,
                       const std::function<void(const FleetLine &)> &lineDone,
                       const std::function<bool()> &lost)
{
    FleetReport report;
    for (const FleetTarget &t : targets)
        report.addresses << t.address;
    // Once for the whole line: without a journal no recorder is written.
    if (QString why; options.journal && !options.journal->ready(&why)) {
        report.linkGone = why;
        return report;
    }
    for (qsizetype i = 0; i < targets.size(); ++i) {
        if (i > 0 && goOn && !goOn()) {
            report.stopped = true;
            break;
        }
        const FleetTarget &t = targets[i];
        FleetLine line;
        line.address = t.address;
        std::optional<AddressedJournal> journal;
        WriteOptions own = options;
        if (options.journal)
            own.journal = &journal.emplace(*options.journal, t.address);
        std::optional<WriteReport> written;
        for (int attempt = 0; attempt < 2; ++attempt) {
            QString why;
            if (!select(t.address, &why)) {
                report.linkGone = why;
                break;
            }
            try {
                written = writeDeviceConfig(modbus, t.config, own);
            } catch (const ESocketError &e) {
                // What was sent is not known: no second try.
                written = WriteReport();
                written->error = QStringLiteral("Нет связи с прибором: ") + QString::fromUtf8(e.what());
                break;
            }
            // A gateway that dropped the connection before anything went
            // out never let the recorder answer: once more, connected again.
            const bool untouched = !written->groups.isEmpty() && written->nothingWritten()
                                   && written->backupPath.isEmpty() && written->noAnswer;
            if (!(untouched && lost && lost()))
                break;
        }
        // No link to this one: it and the rest are told as not tried.
        if (!written)
            break;
        line.backupPath = written->backupPath;
        line.ok = written->allVerified();
        if (!line.ok)
            line.why = lineFailure(*written, modbus);
        line.text = lineText(line);
        if (line.ok && !written->journalError.isEmpty())
            line.text += QStringLiteral(" (") + written->journalError + QLatin1Char(')');
        report.lines << line;
        if (lineDone)
            lineDone(line);
        if (!report.linkGone.isEmpty())
            break;
    }
    return report;
}

QString addressRanges(const QList<int> &addresses)
{
    QStringList parts;
    for (qsizetype i = 0; i < addresses.size();) {
        qsizetype j = i;
        while (j + 1 < addresses.size() && addresses[j + 1] == addresses[j] + 1)
            ++j;
        parts << (j > i ? QStringLiteral("%1-%2").arg(addresses[i]).arg(addresses[j])
                        : QString::number(addresses[i]));
        i = j + 1;
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace vexs
