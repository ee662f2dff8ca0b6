#pragma once

// What every write to a recorder leaves behind: one record of what was sent,
// to which recorder, and how it ended. Pages, configuration writes, service
// commands and the command-line tool tell it here; where and how records
// are kept is the implementation's business.

#include <QDateTime>
#include <QList>
#include <QString>

namespace vexs {

// One field that a write changed, as the pages name and show it.
struct JournalChange
{
    QString caption; // "Канал измерения 1 / ВПИ"
    QString before;  // empty when not known
    QString after;
};

struct JournalRecord
{
    QDateTime at;   // local time with its offset
    QString user;   // the login
    QString link;   // "RS-485, /dev/ttyUSB0, 115200 бит/с" or "Ethernet, 10.0.0.5:502, Modbus TCP"
    int address = 0;
    QString serial; // empty when not known
    QString what;   // a group's title, or the command: "Перо: Вверх"
    QList<JournalChange> changes;
    bool ok = false;
    QString outcome; // "записано и проверено", "нет ответа", ...
};

class IWriteJournal
{
public:
    virtual ~IWriteJournal() = default;
    // Asked before anything is sent: false with `error` set when no record
    // could be kept, and then the write does not go out.
    virtual bool ready(QString *error) = 0;
    // Records one write. The caller fills what, changes, ok and outcome (and
    // serial where it knows better); the journal stamps the rest. False with
    // `error` set when the record could not be kept.
    virtual bool record(JournalRecord entry, QString *error = nullptr) = 0;
};

struct PageContext;

// Before a write: true when there is no journal or it can keep a record;
// otherwise the reason is shown and nothing may be sent.
bool journalReady(PageContext &context);
// Leaves the record of a write that went out (or was tried): what, its
// changed fields, and how it ended. A record that cannot be kept is shown,
// after the write, since the write itself did happen.
void journalWrite(PageContext &context, const QString &what, const QList<JournalChange> &changes,
                  bool ok, const QString &outcome);

// For contexts that keep no journal (tests of single pages).
class NullWriteJournal : public IWriteJournal
{
public:
    bool ready(QString *) override { return true; }
    bool record(JournalRecord, QString *) override { return true; }
};

} // namespace vexs
