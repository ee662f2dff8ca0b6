#pragma once

#include <QObject>

namespace vexs {

// Counts what is under way on the link: the exchange itself and any handler
// that runs a sequence of requests. The shell disables its request controls
// and shows a busy cursor while the count is above zero.
class LinkActivity : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    bool busy() const { return m_depth > 0; }
    // True only while an exchange itself waits for its reply; the poll skips
    // a tick then instead of nesting its request inside another.
    bool exchanging() const { return m_exchanging; }
    void setExchanging(bool on) { m_exchanging = on; }

    void enter();
    void leave();

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

private:
    int m_depth = 0;
    bool m_exchanging = false;
};

} // namespace vexs
