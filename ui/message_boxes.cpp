#include "ui/message_boxes.h"

#include "link/link_activity.h"

#include <QApplication>
#include <QMessageBox>

#include <optional>

namespace vexs {

int QtMessageBoxes::show(const QString &caption, const QString &text, int icon, int buttons)
{
    if (m_shutdown)
        return QMessageBox::No;
    QMessageBox box(QMessageBox::Icon(icon), caption, text, QMessageBox::StandardButtons(buttons), m_parent);
    m_open.append(&box);
    std::optional<LinkActivity::Dialog> up;
    if (m_activity)
        up.emplace(*m_activity);
    // A box that waits for the user is no busy time: the normal cursor over
    // it, and the busy one back (if it was up) once it is dismissed.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    QApplication::restoreOverrideCursor();
    m_open.removeAll(QPointer<QMessageBox>(&box));
    return answer;
}

bool QtMessageBoxes::confirm(const QString &text)
{
    return show(QStringLiteral("Подтверждение"), text, QMessageBox::Question,
                QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

void QtMessageBoxes::error(const QString &text)
{
    show(QStringLiteral("Ошибка"), text, QMessageBox::Critical, QMessageBox::Ok);
}

void QtMessageBoxes::errorNoIcon(const QString &text)
{
    show(QStringLiteral("Ошибка"), text, QMessageBox::NoIcon, QMessageBox::Ok);
}

void QtMessageBoxes::info(const QString &text)
{
    show(QString(), text, QMessageBox::NoIcon, QMessageBox::Ok);
}

void QtMessageBoxes::report(const QString &text)
{
    show(QStringLiteral("Ошибка"), text, QMessageBox::Critical, QMessageBox::Ok);
}

void QtMessageBoxes::shutdown()
{
    m_shutdown = true;
    for (const QPointer<QMessageBox> &box : std::as_const(m_open)) {
        if (box)
            box->reject();
    }
}

} // namespace vexs
