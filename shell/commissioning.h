#pragma once

// What an engineer needs around the writes on site: the journal of every
// write, the commissioning report and one file written to several
// recorders. Each opens a window of its own; the work is done below.

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace vexs {

struct PageContext;

class Commissioning : public QObject
{
    Q_OBJECT
public:
    Commissioning(PageContext &context, const QString &journalFolder, QWidget *window);

    // The buttons, one under the other.
    QWidget *createPanel(QWidget *parent);

    // "Журнал записи": the journal's window, one at a time.
    void showJournal();
    // "Отчёт…": the commissioning report of the recorder at the bar's address.
    void showReport();
    // "Запись в несколько приборов…": the window opens it over its link.
    std::function<void()> showFleetWrite;

private:
    PageContext &m_ctx;
    QString m_journalFolder;
    QWidget *m_window;
};

} // namespace vexs
