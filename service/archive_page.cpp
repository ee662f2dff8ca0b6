#include "service/archive_page.h"

#include "ui/page_widgets.h"
#include "ui/controls.h"
#include "ui/page_context.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vexs {

namespace {

const QString kGrid = QStringLiteral("sgDataPrib");
constexpr int kRowHeight = 16;

struct ColumnTitle
{
    const char *title; // UTF-8
    int width;
};

// K in columns 2..5 and M everywhere are Latin letters; К in 12..15 is Cyrillic.
const ColumnTitle kColumnTitles[ArchivePage::kColumns] = {
    {"№", 50},      {"Дата/время", 100}, {"K1", 55},     {"K2", 55},     {"K3", 55},
    {"K4", 55},     {"M1", 55},          {"M2", 55},     {"M3", 55},     {"M4", 55},
    {"Реле", 60},   {"Ош.", 40},         {"К1 ош.", 40}, {"К2 ош.", 40}, {"К3 ош.", 40},
    {"К4 ош.", 40}, {"M1 ош.", 40},      {"M2 ош.", 40}, {"M3 ош.", 40}, {"M4 ош.", 40},
};

// Removes the time-zone field ("t" .. "tttt") and the blanks around it from a
// QDateTime format, leaving quoted text alone.
QString withoutTimeZone(const QString &format)
{
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            result += c;
        } else if (!quoted && c == QLatin1Char('t')) {
            while (!result.isEmpty() && result.back() == QLatin1Char(' '))
                result.chop(1);
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('t'))
                ++i;
        } else {
            result += c;
        }
    }
    return result.trimmed();
}

} // namespace

QString localeDateTimeText(const QDateTime &dateTime, const QLocale &locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ')
                           + withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    return locale.toString(dateTime, format);
}

QStringList archiveSampleRow(const QDateTime &now, const QLocale &locale)
{
    QStringList row;
    row << QStringLiteral("1") << localeDateTimeText(now, locale);
    for (int i = 0; i < 4; ++i)
        row << QStringLiteral("1.00005");
    for (int i = 0; i < 4; ++i)
        row << QStringLiteral("1.00006");
    row << QStringLiteral("01010101") << QStringLiteral("126");
    for (int i = 0; i < 8; ++i)
        row << QStringLiteral("127");
    return row;
}

ArchivePage::ArchivePage(PageContext &context, QWidget *parent) : Page(context, parent)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel6"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto *buttons = new QHBoxLayout(panel);
    auto *read = makeButton(QStringLiteral("Button5"), QStringLiteral("Считать"), panel);
    connectAction(read, m_ctx.boxes, [this] { Button5Click(); });
    buttons->addWidget(read);
    // "Очистить" and "Экспорт" have no action.
    buttons->addWidget(makeButton(QStringLiteral("Button7"), QStringLiteral("Очистить"), panel));
    buttons->addWidget(makeButton(QStringLiteral("Button9"), QStringLiteral("Экспорт"), panel));
    buttons->addStretch(1);
    page->addWidget(panel);

    page->addWidget(makeStringGrid(kGrid, kColumns, kRows, true, kRowHeight, this), 1);
}

void ArchivePage::labelArchiveGrid()
{
    auto *grid = findChild<QTableWidget *>(kGrid);
    for (int column = 0; column < kColumns; ++column) {
        m_ctx.controls.setCell(kGrid, column, 0, QString::fromUtf8(kColumnTitles[column].title));
        if (grid)
            grid->setColumnWidth(column, kColumnTitles[column].width);
    }
}

void ArchivePage::Button5Click()
{
    const QStringList row = archiveSampleRow(QDateTime::currentDateTime());
    for (int column = 0; column < row.size(); ++column)
        m_ctx.controls.setCell(kGrid, column, 1, row.at(column));
}

} // namespace vexs
