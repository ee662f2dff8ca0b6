#include "shell/status_panel.h"

#include "link/link_activity.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexs {

StatusPanel::StatusPanel(LinkActivity &activity, QWidget *overlay, QWidget *parent)
    : QFrame(parent), m_activity(activity), m_overlay(overlay)
{
    setObjectName(QStringLiteral("PanelInfo"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto *column = new QVBoxLayout(this);
    m_label = new QLabel(QStringLiteral("Считайте настройки прибора"), this);
    m_label->setObjectName(QStringLiteral("LabelInfo"));
    m_label->setAlignment(Qt::AlignCenter);
    QFont big = m_label->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    m_label->setFont(big);
    column->addWidget(m_label);

    m_progressPanel = new QFrame(this);
    m_progressPanel->setObjectName(QStringLiteral("PanelProgress"));
    auto *row = new QHBoxLayout(m_progressPanel);
    row->setContentsMargins(0, 0, 0, 0);
    m_progressText = new QLabel(m_progressPanel);
    m_progressText->setObjectName(QStringLiteral("LabelProgress"));
    m_progress = new QProgressBar(m_progressPanel);
    m_progress->setObjectName(QStringLiteral("ProgressBarOperation"));
    m_progress->setFormat(QStringLiteral("%v из %m"));
    m_cancel = new QPushButton(QStringLiteral("Отмена"), m_progressPanel);
    m_cancel->setObjectName(QStringLiteral("ButtonCancelOperation"));
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_stopped = true; });
    row->addWidget(m_progressText);
    row->addWidget(m_progress, 1);
    row->addWidget(m_cancel);
    m_progressPanel->hide();
    column->addWidget(m_progressPanel);
}

void StatusPanel::showInfo(const QString &text)
{
    if (infoShown)
        infoShown(true);
    setVisible(true);
    m_label->setText(text);
}

void StatusPanel::showNavigation()
{
    setVisible(false);
    if (infoShown)
        infoShown(false);
}

void StatusPanel::beginProgress(const QString &what, int steps, bool cancellable)
{
    // One count for everything that sends: the bar is held, and a close of
    // the window waits, until the operation ends.
    ++m_depth;
    m_activity.enter();
    m_cancellable = cancellable;
    m_stopped = false;
    // The info panel holds the bar; an operation that runs on another page
    // brings it up over that page's corner instead.
    if (!isHidden()) {
        m_progressPanel->setParent(this);
        layout()->addWidget(m_progressPanel);
        m_progressText->clear();
    } else {
        m_progressPanel->setParent(m_overlay);
        m_progressPanel->setAutoFillBackground(true);
        m_progressPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        m_progressPanel->setGeometry(m_overlay->width() - 430, m_overlay->height() - 40, 420, 32);
        m_progressText->setText(what);
    }
    m_progress->setRange(0, steps);
    m_progress->setValue(0);
    m_cancel->setVisible(cancellable);
    m_cancel->setEnabled(cancellable);
    m_progressPanel->show();
    m_progressPanel->raise();
}

bool StatusPanel::stepProgress(int done)
{
    m_progress->setValue(done);
    return !m_stopped;
}

void StatusPanel::endProgress()
{
    m_progressPanel->hide();
    if (m_depth > 0) {
        --m_depth;
        m_activity.leave();
    }
}

} // namespace vexs
