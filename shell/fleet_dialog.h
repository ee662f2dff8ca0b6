#pragma once

#include "link/link_stack.h"
#include "settings/fleet_write.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vexs {

class IMessageBoxes;
class IWriteJournal;
class LinkActivity;

// "Запись в несколько приборов": one configuration file into every recorder
// of a list of addresses on the window's line, each backed up, written and
// verified in turn (settings/fleet_write), with a line of its outcome. The
// network group may be left as each recorder has it, or given per address a
// new slave address and IP address from a small table; an empty cell keeps
// the file's value.
//
// The write runs inside the waits of its own exchanges: "Остановить" and a
// close only ask it to stop, which it does between recorders; the dialog
// closes once the recorder under way is done.
class FleetDialog : public QDialog
{
    Q_OBJECT
public:
    // What would open a window of its own, replaceable by tests.
    struct Hooks
    {
        // A file to open, or empty; `folder` is where to start.
        std::function<QString(const QString &caption, const QString &folder)> openFileName;
        // Where backups go; empty means the user's data folder.
        QString backupFolder;
    };

    // Writes over the window's port and gateway connection (`windowLink`),
    // with the bar's port, speed, interface and exchange settings and an
    // address of its own.
    FleetDialog(const ILinkSettings &link, LinkStack &windowLink, LinkActivity &activity, IMessageBoxes &boxes,
                ILinkObserver *observer, QWidget *parent = nullptr);

    Hooks &hooks() { return m_hooks; }
    // Every recorder's writes leave their records here; none when null.
    void setJournal(IWriteJournal *journal) { m_journal = journal; }

    // Validates the file and every row, asks, then writes; returns when the
    // run is over. Nothing is sent when anything is refused.
    void write();
    void stop() { m_stopAsked = true; }
    bool writing() const { return m_writing; }
    const FleetReport &report() const { return m_report; }

    void reject() override;

private:
    void browse();
    // The rows follow the list of addresses; a row keeps its cells while
    // its address stays in the list.
    void fillRows();
    QList<FleetAddress> rowSettings(const QList<int> &addresses) const;
    void showLine(const FleetLine &line);
    void enableFields(bool on);
    void finish(int result);

    Hooks m_hooks;
    LinkActivity &m_activity;
    IMessageBoxes &m_boxes;
    IWriteJournal *m_journal = nullptr;
    FleetLinkSettings m_settings;
    LinkStack m_link;
    LinkStack &m_windowLink;
    QString m_folder;
    QLineEdit *m_file;
    QPushButton *m_browse;
    QLineEdit *m_addresses;
    QCheckBox *m_keepNetwork;
    QTableWidget *m_overrides;
    QPushButton *m_write;
    QPushButton *m_stop;
    QPushButton *m_close;
    QProgressBar *m_progress;
    QLabel *m_status;
    QTableWidget *m_results;
    QLabel *m_summary;
    FleetReport m_report;
    bool m_writing = false;
    bool m_stopAsked = false;
    int m_pendingResult = -1; // a close asked for during the run; -1 for none
};

} // namespace vexs
