#include "shell/commissioning.h"

#include "shell/journal_window.h"
#include "shell/report_dialog.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"

#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace vexs {

Commissioning::Commissioning(PageContext &context, const QString &journalFolder, QWidget *window)
    : QObject(window), m_ctx(context), m_journalFolder(journalFolder), m_window(window)
{
}

QWidget *Commissioning::createPanel(QWidget *parent)
{
    auto *panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("PanelCommissioning"));
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 0, 4, 4);
    column->setSpacing(2);
    QPushButton *journal = makeButton(QStringLiteral("ButtonJournal"), QStringLiteral("Журнал записи"), panel);
    journal->setToolTip(QStringLiteral("Все записи в приборы: когда, кто, куда, что изменено и чем кончилось"));
    connectAction(journal, m_ctx.boxes, [this] { showJournal(); });
    column->addWidget(journal);
    QPushButton *report = makeButton(QStringLiteral("ButtonReport"), QStringLiteral("Отчёт…"), panel);
    report->setToolTip(QStringLiteral("Считать прибор и составить отчёт о настройке: PDF или печать"));
    connectAction(report, m_ctx.boxes, [this] { showReport(); });
    column->addWidget(report);
    QPushButton *fleet =
        makeButton(QStringLiteral("ButtonFleetWrite"), QStringLiteral("Запись в несколько приборов…"), panel);
    fleet->setToolTip(QStringLiteral("Записать один файл конфигурации в приборы по списку адресов"));
    markRequestControl(fleet);
    connectAction(fleet, m_ctx.boxes, [this] {
        if (showFleetWrite)
            showFleetWrite();
    });
    column->addWidget(fleet);
    return panel;
}

void Commissioning::showReport()
{
    ReportDialog::showFor(m_ctx, m_window);
}

void Commissioning::showJournal()
{
    auto *open = m_window->findChild<JournalWindow *>();
    if (!open) {
        open = new JournalWindow(m_ctx.boxes, m_journalFolder, &m_ctx.activity, m_window);
        open->setAttribute(Qt::WA_DeleteOnClose);
    }
    open->show();
    open->raise();
    open->activateWindow();
}

} // namespace vexs
