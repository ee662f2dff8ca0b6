#pragma once

#include "link/link_stack.h"
#include "settings/bus_scan.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace vexs {

class ITransport;
class LinkActivity;

// "Поиск приборов": reads the identification of every address in a range
// over the link the connection bar describes, in fast exchange, and lists
// the recorders that answered. On a serial line it may try every speed in
// turn, not only the bar's. A double click on one takes its address, and
// on a serial line its speed.
//
// The scan runs inside the waits of its own exchanges, so closing the
// dialog or choosing a recorder meanwhile only asks it to stop; the dialog
// closes once the probe under way is back.
class BusScanDialog : public QDialog
{
    Q_OBJECT
public:
    // Probes over the window's port and gateway connection (`windowLink`),
    // with the bar's port and interface, the bar's speed or each in turn,
    // and an address of its own.
    BusScanDialog(const ILinkSettings &link, LinkStack &windowLink, LinkActivity &activity,
                  ILinkObserver *observer, QWidget *parent = nullptr);

    // Scans from..to; returns when done, cancelled or the link failed.
    void scan(int from, int to);
    void cancel() { m_cancelled = true; }
    bool scanning() const { return m_scanning; }
    QList<FoundRecorder> found() const { return m_found; }

    // Esc, the window's close button, the main window closing.
    void reject() override;

signals:
    // Emitted in this order; the speed only for a recorder found on a
    // serial line, as an item index of the bar's speed list.
    void speedChosen(int baudIndex);
    void addressChosen(int address);

private:
    void startOrCancel();
    void choose(int row);
    void finish(int result);
    // The speed is ours to choose only on a serial line.
    void showLineChoices();

    LinkActivity &m_activity;
    ScanLinkSettings m_settings;
    LinkStack m_link;
    LinkStack &m_windowLink;
    ILinkObserver *m_observer;
    QSpinBox *m_from;
    QSpinBox *m_to;
    QSpinBox *m_wait; // 0: the wait follows the line speed
    QCheckBox *m_everySpeed;
    QPushButton *m_start;
    QProgressBar *m_progress;
    QLabel *m_status;
    QTableWidget *m_table;
    QList<FoundRecorder> m_found;
    bool m_scanning = false;
    bool m_cancelled = false;
    // A close asked for during the scan, done when it ends: -1 for none.
    int m_pendingResult = -1;
};

} // namespace vexs
