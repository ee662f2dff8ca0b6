#pragma once

#include <QObject>

namespace vexs {

// What is under way on the link. The count covers the handlers that run
// requests on a user's click (bulk read, page reads and writes, service
// commands): the shell disables its request controls and shows a busy
// cursor while it is above zero. A single exchange (the once-a-second poll)
// only marks itself as exchanging, so polling toggles nothing on screen.
class LinkActivity : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    bool busy() const { return m_depth > 0; }
    // True only while an exchange itself waits for its reply; the poll skips
    // a tick then instead of nesting its request inside another.
    bool exchanging() const { return m_exchanging; }

    // Marks one exchange's wait; exchangeEnded() follows when it is over.
    class Exchanging
    {
    public:
        explicit Exchanging(LinkActivity &activity) : m_activity(activity)
        {
            m_activity.m_exchanging = true;
        }
        ~Exchanging()
        {
            m_activity.m_exchanging = false;
            emit m_activity.exchangeEnded();
        }
        Exchanging(const Exchanging &) = delete;
        Exchanging &operator=(const Exchanging &) = delete;

    private:
        LinkActivity &m_activity;
    };

    void enter();
    void leave();

    // A dialog that a user's action opened (a file to choose) is up. Clicks
    // queued meanwhile wait for it, though nothing on screen changes: a
    // busy cursor over the dialog would be wrong.
    bool dialogOpen() const { return m_dialogs > 0; }
    class Dialog
    {
    public:
        explicit Dialog(LinkActivity &activity) : m_activity(activity) { ++m_activity.m_dialogs; }
        ~Dialog()
        {
            --m_activity.m_dialogs;
            emit m_activity.dialogClosed();
        }
        Dialog(const Dialog &) = delete;
        Dialog &operator=(const Dialog &) = delete;

    private:
        LinkActivity &m_activity;
    };

    // The window has closed: nothing queued starts any more.
    void shutdown() { m_shutdown = true; }
    bool isShutDown() const { return m_shutdown; }

    class Scope
    {
    public:
        explicit Scope(LinkActivity &activity) : m_activity(activity) { m_activity.enter(); }
        ~Scope() { m_activity.leave(); }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        LinkActivity &m_activity;
    };

signals:
    void busyChanged(bool busy);
    void exchangeEnded();
    void dialogClosed();

private:
    int m_depth = 0;
    int m_dialogs = 0;
    bool m_exchanging = false;
    bool m_shutdown = false;
};

} // namespace vexs
