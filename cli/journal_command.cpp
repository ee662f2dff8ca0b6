#include "cli/journal_command.h"

#include "cli/output.h"

#include "cli/cli_options.h"
#include "settings/journal_store.h"

#include <QDir>
#include <QRegularExpression>

namespace vexs::cli {

namespace {

// One record, one line: a line break or tab inside a text would split the
// record for whoever reads the lines.
QString flat(QString text)
{
    static const QRegularExpression breaks(QStringLiteral("[\\t\\r\\n]+"));
    return text.replace(breaks, QStringLiteral(" "));
}

} // namespace

int journalCommand(const Options &o)
{
    const QString folder = defaultJournalFolder();
    if (folder.isEmpty()) {
        say(QStringLiteral("Нет папки журнала записи; её можно указать в VEXS_JOURNAL_DIR"));
        return 2;
    }
    const JournalRead read = JournalStore(folder).read();
    for (const QString &note : read.notes)
        say(note);
    const QList<JournalRecord> shown =
        filtered(read.records, JournalFilter{o.journalSerial, o.journalSince, o.journalUntil, QString()});
    for (const JournalRecord &r : shown) {
        QStringList cells = journal::rowTexts(r);
        for (QString &cell : cells)
            cell = flat(cell);
        print(cells.join(QLatin1Char('\t')) + QLatin1Char('\n'));
    }
    if (read.records.isEmpty())
        say(QStringLiteral("Журнал записи пуст (папка «%1»)").arg(QDir::toNativeSeparators(folder)));
    else
        say(QStringLiteral("Записей: %1 из %2").arg(shown.size()).arg(read.records.size()));
    return 0;
}

} // namespace vexs::cli
