#include "ui/write_journal.h"

#include "ui/message_boxes.h"
#include "ui/page_context.h"

namespace vexs {

bool journalReady(PageContext &context)
{
    QString error;
    if (!context.journal || context.journal->ready(&error))
        return true;
    context.boxes.error(error);
    return false;
}

void journalWrite(PageContext &context, const QString &what, const QList<JournalChange> &changes,
                  bool ok, const QString &outcome)
{
    if (!context.journal)
        return;
    JournalRecord entry;
    entry.what = what;
    entry.changes = changes;
    entry.ok = ok;
    entry.outcome = outcome;
    QString error;
    if (!context.journal->record(entry, &error))
        context.boxes.error(error);
}

} // namespace vexs
