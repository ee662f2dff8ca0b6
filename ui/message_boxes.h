#pragma once

#include <QList>
#include <QPointer>
#include <QString>

class QWidget;
class QMessageBox;

namespace vexs {

class LinkActivity;

// Every modal box of the program goes through this interface so that tests
// can capture what the user would see.
class IMessageBoxes
{
public:
    virtual ~IMessageBoxes() = default;
    // Caption "Ошибка", error icon, OK.
    virtual void error(const QString &text) = 0;
    // Caption "Ошибка", no icon, OK.
    virtual void errorNoIcon(const QString &text) = 0;
    // Empty caption, no icon, OK.
    virtual void info(const QString &text) = 0;
    // An error that escaped a handler, shown as the toolkit's default report
    // would show it: a modal box with its text.
    virtual void report(const QString &text) = 0;
    // Caption "Подтверждение", Yes and No; true for Yes. A closed window's
    // boxes answer No.
    virtual bool confirm(const QString &text) = 0;
    // Closes open boxes and refuses new ones; used when the window closes.
    virtual void shutdown() = 0;
};

class QtMessageBoxes : public IMessageBoxes
{
public:
    explicit QtMessageBoxes(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    // While a box is up, clicks queued for the link wait for it too.
    void setActivity(LinkActivity *activity) { m_activity = activity; }

    void error(const QString &text) override;
    void errorNoIcon(const QString &text) override;
    void info(const QString &text) override;
    void report(const QString &text) override;
    bool confirm(const QString &text) override;
    void shutdown() override;

private:
    int show(const QString &caption, const QString &text, int icon, int buttons);

    QWidget *m_parent = nullptr;
    LinkActivity *m_activity = nullptr;
    QList<QPointer<QMessageBox>> m_open;
    bool m_shutdown = false;
};

} // namespace vexs
