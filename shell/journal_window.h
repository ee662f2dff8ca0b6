#pragma once

// "Журнал записи": every write to a recorder that the journal kept, filtered
// by serial number, dates and text, and exported to CSV. Reading, filtering
// and the CSV are settings/journal_store's; the window only shows them.

#include "settings/journal_store.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QTableView;

namespace vexs {

class IMessageBoxes;
class JournalModel;
class LinkActivity;

class JournalWindow : public QDialog
{
    Q_OBJECT
public:
    // With `activity`, the export waits for an exchange that is waiting, so
    // its file dialog never holds that wait open.
    JournalWindow(IMessageBoxes &boxes, QString folder, LinkActivity *activity = nullptr,
                  QWidget *parent = nullptr);

    // "Обновить": reads the journal again. Also each time the window is shown.
    void reload();
    // Shows the records the filter edits let through.
    void applyFilter();
    // The filter the edits hold. A date that is no date is left out and
    // named in `problem`.
    JournalFilter filterFromEdits(QString *problem = nullptr) const;

    // The records shown, as CSV; false with `error` when not saved.
    bool exportTo(const QString &path, QString *error = nullptr) const;
    // "Экспорт в CSV…": asks for the file and saves.
    void exportClick();
    // The save dialog; returns the chosen path or empty. Tests replace it.
    std::function<QString()> chooseExportFile;

    const QList<JournalRecord> &shownRecords() const { return m_shown; }
    QTableView *view() const { return m_view; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    IMessageBoxes &m_boxes;
    JournalStore m_store;
    QList<JournalRecord> m_all;
    QList<JournalRecord> m_shown;
    JournalModel *m_model;
    QTableView *m_view;
    QLineEdit *m_serial;
    QLineEdit *m_since;
    QLineEdit *m_until;
    QLineEdit *m_text;
    QLabel *m_count;
    QLabel *m_notes;
};

} // namespace vexs
