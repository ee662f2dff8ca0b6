#pragma once

// The start page's info panel ("Считайте настройки прибора", "Идет чтение
// настроек...") and the progress of a long operation: request k of n, with
// "Отмена" for a read the user may stop. It is the window's IShellStatus.
// A long operation counts on the link's activity like any action that
// sends, so the connection bar is held by that one count.

#include "ui/page_context.h"

#include <QFrame>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace vexs {

class LinkActivity;

class StatusPanel : public QFrame, public IShellStatus
{
public:
    // `overlay`: where the progress shows over the corner while another
    // page than the start page is up.
    StatusPanel(LinkActivity &activity, QWidget *overlay, QWidget *parent);

    // Told true when the info panel takes the navigation tree's place, false
    // when the tree comes back.
    std::function<void(bool info)> infoShown;

    void showInfo(const QString &text) override;
    void showNavigation() override;
    void beginProgress(const QString &what, int steps, bool cancellable) override;
    bool stepProgress(int done) override;
    void endProgress() override;

    // A long operation runs; `stoppable` when the user may stop it.
    bool operationRunning() const { return m_depth > 0; }
    bool stoppable() const { return m_cancellable; }

private:
    LinkActivity &m_activity;
    QWidget *m_overlay;
    QLabel *m_label;
    QFrame *m_progressPanel;
    QLabel *m_progressText;
    QProgressBar *m_progress;
    QPushButton *m_cancel;
    bool m_stopped = false;
    bool m_cancellable = false;
    int m_depth = 0; // operations begun and not yet ended
};

} // namespace vexs
