#pragma once

#include "ui/page.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

namespace vexs {

// The archive page: a table for archived records and its three buttons. Only
// "Считать" acts, filling row 1 with a fixed sample record.
class ArchivePage : public Page
{
    Q_OBJECT
public:
    explicit ArchivePage(PageContext &context, QWidget *parent = nullptr);
    // Column titles and widths of the archive grid.
    void labelArchiveGrid();

    // "Считать": writes the sample record into row 1; sends nothing.
    void Button5Click();

    static constexpr int kColumns = 20;
    static constexpr int kRows = 5;
};

// The record "Считать" shows, column by column, stamped with `now`.
QStringList archiveSampleRow(const QDateTime &now, const QLocale &locale = QLocale());

// Date and time as the workstation writes them: the locale's short date
// format, a blank, its long time format (hours, minutes, seconds; the time
// zone that Qt's long format adds is left out).
QString localeDateTimeText(const QDateTime &dateTime, const QLocale &locale = QLocale());

} // namespace vexs
