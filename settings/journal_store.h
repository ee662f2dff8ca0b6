#pragma once

// Where the write journal is kept: a folder of files with one JSON object a
// line. Lines are only ever appended; a file that grows past its limit is
// renamed with the time it was closed and a new one started, and no file is
// ever deleted or rewritten. Reading takes every file of the folder, oldest
// first, and skips a damaged line with a note instead of losing the rest.
// No widgets: the window and vexs-cli only show what this gives them.

#include "ui/write_journal.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vexs {

// One record as one line, without its newline: compact UTF-8 JSON, the time
// in ISO 8601 with its offset from UTC.
QByteArray journalLine(const JournalRecord &record);
// A line back (its newline, if any, is ignored); nullopt with `why` set,
// in Russian, for a line that is no record.
std::optional<JournalRecord> parseJournalLine(const QByteArray &line, QString *why = nullptr);

struct JournalRead
{
    QList<JournalRecord> records; // oldest first
    QStringList notes;            // one per line skipped or file not read
};

class JournalStore
{
public:
    static constexpr qint64 kDefaultLimit = 1024 * 1024;
    static const QString kCurrentName; // "journal.jsonl"

    // `limit`: the size in octets past which the current file is closed.
    explicit JournalStore(QString folder, qint64 limit = kDefaultLimit);

    const QString &folder() const { return m_folder; }
    QString currentPath() const;

    // Creates the folder and opens the current file for appending; false
    // with `error` naming the folder when a record could not be kept there.
    bool ready(QString *error = nullptr) const;
    // Appends one line, whole or not at all. The current file is closed
    // first when the line would take it past the limit (a line longer than
    // the limit still goes into a file of its own).
    bool append(const JournalRecord &record, QString *error = nullptr);
    // Every file of the folder; a folder that does not exist holds nothing.
    JournalRead read() const;

    // The files of the folder in the order their lines were written.
    QStringList files() const;
    // The name a file closed at `time` gets: journal-yyyyMMdd-HHmmss.jsonl in
    // UTC, "-2", "-3"... when taken.
    QString closedPath(const QDateTime &time) const;

private:
    bool rotate(qint64 needed);

    QString m_folder;
    qint64 m_limit;
};

// Empty fields ask for nothing; dates are inclusive, by the date the record
// was written on (its own clock and offset).
struct JournalFilter
{
    QString serial; // the whole serial number, case ignored
    QDate since;
    QDate until;
    QString text;   // anywhere in what, changes, outcome, link, user, serial
};

bool matches(const JournalRecord &record, const JournalFilter &filter);
QList<JournalRecord> filtered(const QList<JournalRecord> &records, const JournalFilter &filter);

// A date as typed: dd.MM.yyyy or yyyy-MM-dd. Empty text is no date (true,
// `date` null); false for anything else.
bool parseJournalDate(const QString &text, QDate *date);

namespace journal {
enum Column { Time, User, Link, Address, Serial, What, Changes, Outcome, ColumnCount };
QStringList columnTitles();
// The texts of a record's columns, as the window, the CSV and vexs-cli show them.
QStringList rowTexts(const JournalRecord &record);
// "Канал измерения 1 / ВПИ: 100 -> 250; ..."; a change whose old value is
// not known shows the new one alone.
QString changesText(const QList<JournalChange> &changes);
} // namespace journal

// The records for a spreadsheet set to Russian: a UTF-8 byte order mark, a
// header row, ';' between cells, CRLF line ends, quotes where a cell holds
// ';', a quote or a line break.
QByteArray journalCsv(const QList<JournalRecord> &records);

// VEXS_JOURNAL_DIR when set, else "journal" in the user's data folder;
// empty when there is none.
QString defaultJournalFolder();

// The login of the user running the program; "неизвестен" when none is known.
QString currentLogin();

// The journal the window and vexs-cli keep. Each record gets the time and
// the login, and from `stamp` the link, address and serial number of the
// recorder in use; whatever the caller set itself is kept.
class FileWriteJournal : public IWriteJournal
{
public:
    using Stamp = std::function<JournalRecord()>;
    explicit FileWriteJournal(QString folder, Stamp stamp = {},
                              qint64 limit = JournalStore::kDefaultLimit);

    bool ready(QString *error) override;
    bool record(JournalRecord entry, QString *error = nullptr) override;

    JournalStore &store() { return m_store; }

private:
    JournalStore m_store;
    Stamp m_stamp;
};

} // namespace vexs
