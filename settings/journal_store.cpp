#include "settings/journal_store.h"

#include "settings/whole_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

namespace vexs {

const QString JournalStore::kCurrentName = QStringLiteral("journal.jsonl");

namespace {

// The record's keys in the file; a record written by a later version with
// keys of its own still reads.
const QString kAt = QStringLiteral("at");
const QString kUser = QStringLiteral("user");
const QString kLink = QStringLiteral("link");
const QString kAddress = QStringLiteral("address");
const QString kSerial = QStringLiteral("serial");
const QString kWhat = QStringLiteral("what");
const QString kChanges = QStringLiteral("changes");
const QString kCaption = QStringLiteral("caption");
const QString kBefore = QStringLiteral("before");
const QString kAfter = QStringLiteral("after");
const QString kOk = QStringLiteral("ok");
const QString kOutcome = QStringLiteral("outcome");

const QString kShownTime = QStringLiteral("dd.MM.yyyy HH:mm:ss");

// The local time with its offset written out, so that the file tells the
// same moment wherever it is read.
QDateTime withOffset(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc());
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A missing key reads as empty; a key of another type means the line is
// not what this program wrote.
bool takeString(const QJsonObject &o, const QString &key, QString *to, QString *why)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isString()) {
        *why = QStringLiteral("поле «%1» не строка").arg(key);
        return false;
    }
    *to = v.toString();
    return true;
}

bool takeChanges(const QJsonObject &o, QList<JournalChange> *to, QString *why)
{
    const QJsonValue v = o.value(kChanges);
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isArray()) {
        *why = QStringLiteral("поле «changes» не список");
        return false;
    }
    for (const QJsonValue &item : v.toArray()) {
        JournalChange change;
        if (!item.isObject()) {
            *why = QStringLiteral("изменение не объект JSON");
            return false;
        }
        const QJsonObject c = item.toObject();
        if (!takeString(c, kCaption, &change.caption, why) || !takeString(c, kBefore, &change.before, why)
            || !takeString(c, kAfter, &change.after, why))
            return false;
        to->append(change);
    }
    return true;
}

// The file's last octet is not a line end: a write cut off by a crash or a
// power loss. The next line must not be glued to it.
bool endsMidLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0 || !file.seek(file.size() - 1))
        return false;
    char last = '\n';
    return file.getChar(&last) && last != '\n';
}

QString csvCell(const QString &text)
{
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvRow(const QStringList &cells)
{
    QStringList out;
    for (const QString &cell : cells)
        out << csvCell(cell);
    return out.join(QLatin1Char(';')) + QStringLiteral("\r\n");
}

} // namespace

QByteArray journalLine(const JournalRecord &r)
{
    QJsonArray changes;
    for (const JournalChange &c : r.changes)
        changes.append(QJsonObject{{kCaption, c.caption}, {kBefore, c.before}, {kAfter, c.after}});
    const QJsonObject o{{kAt, r.at.isValid() ? withOffset(r.at).toString(Qt::ISODate) : QString()},
                        {kUser, r.user},
                        {kLink, r.link},
                        {kAddress, r.address},
                        {kSerial, r.serial},
                        {kWhat, r.what},
                        {kChanges, changes},
                        {kOk, r.ok},
                        {kOutcome, r.outcome}};
    // Compact JSON escapes every line break inside a text: one record, one line.
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<JournalRecord> parseJournalLine(const QByteArray &line, QString *why)
{
    QString reason;
    const auto fail = [&](const QString &text) {
        if (why)
            *why = text;
        return std::nullopt;
    };
    QByteArray text = line;
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parse);
    if (parse.error != QJsonParseError::NoError)
        return fail(QStringLiteral("не JSON (ошибка в столбце %1)")
                        .arg(QString::fromUtf8(text.left(parse.offset)).size() + 1));
    if (!doc.isObject())
        return fail(QStringLiteral("не объект JSON"));
    const QJsonObject o = doc.object();
    JournalRecord r;
    r.at = QDateTime::fromString(o.value(kAt).toString(), Qt::ISODate);
    if (!r.at.isValid())
        return fail(QStringLiteral("нет времени записи"));
    const QJsonValue address = o.value(kAddress);
    if (!address.isUndefined() && !address.isNull()) {
        const double a = address.toDouble(-1);
        if (!address.isDouble() || a < 0 || a > 255 || a != int(a))
            return fail(QStringLiteral("адрес не число от 0 до 255"));
        r.address = int(a);
    }
    const QJsonValue ok = o.value(kOk);
    if (!ok.isUndefined() && !ok.isBool())
        return fail(QStringLiteral("поле «ok» не true или false"));
    r.ok = ok.toBool();
    if (!takeString(o, kUser, &r.user, &reason) || !takeString(o, kLink, &r.link, &reason)
        || !takeString(o, kSerial, &r.serial, &reason) || !takeString(o, kWhat, &r.what, &reason)
        || !takeString(o, kOutcome, &r.outcome, &reason) || !takeChanges(o, &r.changes, &reason))
        return fail(reason);
    return r;
}

// --- JournalStore ------------------------------------------------------------

JournalStore::JournalStore(QString folder, qint64 limit) : m_folder(std::move(folder)), m_limit(limit) {}

QString JournalStore::currentPath() const
{
    return QDir(m_folder).filePath(kCurrentName);
}

bool JournalStore::ready(QString *error) const
{
    const auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_folder.isEmpty())
        return fail(QStringLiteral("Нет папки для журнала записи"));
    const QString cannot = QStringLiteral("В папку журнала записи «%1» нельзя записать: %2");
    if (!QDir().mkpath(m_folder))
        return fail(cannot.arg(shown(m_folder), QStringLiteral("папка не создана")));
    QFile file(currentPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return fail(cannot.arg(shown(m_folder), file.errorString()));
    return true;
}

QString JournalStore::closedPath(const QDateTime &time) const
{
    const QString stem = QDir(m_folder).filePath(QStringLiteral("journal-")
                                                 + time.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QString path = stem + QStringLiteral(".jsonl");
    for (int k = 2; QFileInfo::exists(path); ++k)
        path = stem + QLatin1Char('-') + QString::number(k) + QStringLiteral(".jsonl");
    return path;
}

bool JournalStore::rotate(qint64 needed)
{
    const QFileInfo current(currentPath());
    if (!current.exists() || current.size() == 0 || current.size() + needed <= m_limit)
        return true;
    // A rename never overwrites; should it fail, the line still goes into
    // the current file, which then grows past its limit rather than lose it.
    return QFile::rename(current.filePath(), closedPath(QDateTime::currentDateTimeUtc()));
}

bool JournalStore::append(const JournalRecord &record, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("Запись не внесена в журнал «%1»: %2").arg(shown(currentPath()), why);
        return false;
    };
    JournalRecord stamped = record;
    if (!stamped.at.isValid())
        stamped.at = QDateTime::currentDateTime();
    QByteArray line = journalLine(stamped) + '\n';
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder))
        return fail(QStringLiteral("папка не создана"));
    rotate(line.size());
    const QString path = currentPath();
    if (endsMidLine(path))
        line.prepend('\n');
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return fail(file.errorString());
    QString why;
    if (!appendWhole(file, line, &why))
        return fail(why);
    return true;
}

QStringList JournalStore::files() const
{
    // Closed files by the time in their name (UTC, so a change to or from
    // summer time keeps the order), then the number a taken name got; the
    // current file holds the newest lines.
    static const QRegularExpression closedName(QStringLiteral("^journal-(\\d{8}-\\d{6})(?:-(\\d{1,9}))?\\.jsonl$"));
    struct Closed
    {
        QString stamp;
        int number;
        QString path;
    };
    const QDir dir(m_folder);
    QList<Closed> closed;
    for (const QString &name : dir.entryList({QStringLiteral("journal-*.jsonl")}, QDir::Files)) {
        const QRegularExpressionMatch m = closedName.match(name);
        if (m.hasMatch())
            closed.append({m.captured(1), m.captured(2).isEmpty() ? 1 : m.captured(2).toInt(), dir.filePath(name)});
    }
    std::sort(closed.begin(), closed.end(), [](const Closed &a, const Closed &b) {
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.number < b.number;
    });
    QStringList paths;
    for (const Closed &c : closed)
        paths << c.path;
    if (QFileInfo(currentPath()).isFile())
        paths << currentPath();
    return paths;
}

JournalRead JournalStore::read() const
{
    JournalRead out;
    for (const QString &path : files()) {
        const QString name = QFileInfo(path).fileName();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            out.notes << QStringLiteral("%1: не удается открыть (%2)").arg(name, file.errorString());
            continue;
        }
        int number = 0;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            if (line.isEmpty())
                break;
            ++number;
            if (line.trimmed().isEmpty())
                continue;
            QString why;
            std::optional<JournalRecord> record;
            if (!line.endsWith('\n'))
                why = QStringLiteral("строка не дописана");
            else
                record = parseJournalLine(line, &why);
            if (record)
                out.records.append(*record);
            else
                out.notes << QStringLiteral("%1, строка %2: %3; строка пропущена").arg(name).arg(number).arg(why);
        }
        if (file.error() != QFileDevice::NoError)
            out.notes << QStringLiteral("%1: чтение прервано после строки %2 (%3)")
                             .arg(name)
                             .arg(number)
                             .arg(file.errorString());
    }
    return out;
}

// --- filter, texts, CSV ------------------------------------------------------

bool matches(const JournalRecord &r, const JournalFilter &f)
{
    const QString serial = f.serial.trimmed();
    if (!serial.isEmpty() && r.serial.trimmed().compare(serial, Qt::CaseInsensitive) != 0)
        return false;
    const QDate day = r.at.date();
    if ((f.since.isValid() && day < f.since) || (f.until.isValid() && day > f.until))
        return false;
    const QString text = f.text.trimmed();
    if (text.isEmpty())
        return true;
    QStringList fields{r.what, r.outcome, r.link, r.user, r.serial};
    for (const JournalChange &c : r.changes)
        fields << c.caption << c.before << c.after;
    return std::any_of(fields.cbegin(), fields.cend(),
                       [&text](const QString &field) { return field.contains(text, Qt::CaseInsensitive); });
}

QList<JournalRecord> filtered(const QList<JournalRecord> &records, const JournalFilter &filter)
{
    QList<JournalRecord> out;
    for (const JournalRecord &r : records) {
        if (matches(r, filter))
            out.append(r);
    }
    return out;
}

bool parseJournalDate(const QString &text, QDate *date)
{
    *date = QDate();
    const QString t = text.trimmed();
    if (t.isEmpty())
        return true;
    for (const QString &format :
         {QStringLiteral("dd.MM.yyyy"), QStringLiteral("d.M.yyyy"), QStringLiteral("yyyy-MM-dd")}) {
        const QDate d = QDate::fromString(t, format);
        if (d.isValid()) {
            *date = d;
            return true;
        }
    }
    return false;
}

namespace journal {

QStringList columnTitles()
{
    return {QStringLiteral("Время"),           QStringLiteral("Пользователь"), QStringLiteral("Связь"),
            QStringLiteral("Адрес"),           QStringLiteral("Заводской номер"),
            QStringLiteral("Что записано"),    QStringLiteral("Изменения"),    QStringLiteral("Итог")};
}

QString changesText(const QList<JournalChange> &changes)
{
    QStringList parts;
    for (const JournalChange &c : changes) {
        parts << (c.before.isEmpty() ? QStringLiteral("%1: %2").arg(c.caption, c.after)
                                     : QStringLiteral("%1: %2 -> %3").arg(c.caption, c.before, c.after));
    }
    return parts.join(QStringLiteral("; "));
}

QStringList rowTexts(const JournalRecord &r)
{
    // The time as the clock that wrote it showed it.
    return {r.at.toString(kShownTime),
            r.user,
            r.link,
            r.address > 0 ? QString::number(r.address) : QString(),
            r.serial,
            r.what,
            changesText(r.changes),
            r.outcome};
}

} // namespace journal

QByteArray journalCsv(const QList<JournalRecord> &records)
{
    // Without the mark a spreadsheet reads the file in the system's code
    // page and the Russian texts come out garbled.
    QString text(QChar(0xFEFF));
    text += csvRow(journal::columnTitles());
    for (const JournalRecord &r : records)
        text += csvRow(journal::rowTexts(r));
    return text.toUtf8();
}

QString defaultJournalFolder()
{
    const QString overridden = qEnvironmentVariable("VEXS_JOURNAL_DIR");
    if (!overridden.isEmpty())
        return overridden;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/journal");
}

#ifndef Q_OS_UNIX
// On Unix the account database answers (journal_login_unix.cpp).
QString currentLogin()
{
    for (const char *name : {"USERNAME", "USER"}) {
        const QString login = qEnvironmentVariable(name);
        if (!login.isEmpty())
            return login;
    }
    return QStringLiteral("неизвестен");
}
#endif

// --- FileWriteJournal --------------------------------------------------------

FileWriteJournal::FileWriteJournal(QString folder, Stamp stamp, qint64 limit)
    : m_store(std::move(folder), limit), m_stamp(std::move(stamp))
{
}

bool FileWriteJournal::ready(QString *error)
{
    return m_store.ready(error);
}

bool FileWriteJournal::record(JournalRecord entry, QString *error)
{
    if (m_stamp) {
        const JournalRecord s = m_stamp();
        if (entry.link.isEmpty())
            entry.link = s.link;
        if (entry.address == 0)
            entry.address = s.address;
        if (entry.serial.isEmpty())
            entry.serial = s.serial;
        if (entry.user.isEmpty())
            entry.user = s.user;
        if (!entry.at.isValid())
            entry.at = s.at;
    }
    if (!entry.at.isValid())
        entry.at = withOffset(QDateTime::currentDateTime());
    if (entry.user.isEmpty())
        entry.user = currentLogin();
    return m_store.append(entry, error);
}

} // namespace vexs
