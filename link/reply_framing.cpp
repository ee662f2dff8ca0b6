#include "link/reply_framing.h"

#include "link/line_speed.h"
#include "link/modbus.h"
#include "link/pumping_delay.h"

#include <QThread>
#include <QTimer>

#include <algorithm>

namespace vexs {

ReplyFraming::ReplyFraming(const QByteArray &request)
{
    if (request.size() < 8 || quint8(request[0]) == 0)
        return;
    m_length = std::max(0, frames::replySizeOf(request));
    if (m_length > 0)
        m_request = request;
}

bool ReplyFraming::isComplete(const QByteArray &received) const
{
    if (m_length == 0)
        return false;
    const FrameOutcome judged = frames::judgeReply(m_request, received);
    return judged == FrameOutcome::Ok || judged == FrameOutcome::Exception;
}

int silentIntervalUs(int bitsPerSecond)
{
    const qint64 bps = bitsPerSecond > 0 ? bitsPerSecond : kLineSpeeds[0];
    return int((qint64(35) * 1000000 + bps - 1) / bps);
}

ReplyWatch::ReplyWatch(const FastEnd &end, PumpingWait &wait, std::function<QByteArray()> fetch,
                       Quiet quiet)
    : m_end(end), m_wait(wait), m_fetch(std::move(fetch)), m_quiet(quiet)
{
    if (m_quiet == Quiet::Timer) {
        m_timer = new QTimer;
        m_timer->setSingleShot(true);
        m_timer->setTimerType(Qt::PreciseTimer);
        m_timer->setInterval((m_end.silentUs + 999) / 1000);
        QObject::connect(m_timer, &QTimer::timeout, [this] { quietOver(); });
    }
}

ReplyWatch::~ReplyWatch()
{
    delete m_timer;
}

void ReplyWatch::check()
{
    // fetch() may deliver further notifications of its own; one check at a time.
    if (m_checking || m_wait.finished())
        return;
    m_checking = true;
    const QByteArray now = m_fetch();
    const bool complete = m_end.framing.isComplete(now);
    if (complete && m_end.silentUs == 0) {
        m_wait.finish(); // the way marks the reply's end itself
    } else if (m_quiet == Quiet::Timer) {
        m_completeSize = complete ? now.size() : -1;
        if (complete)
            m_timer->start();
        else
            m_timer->stop();
    } else if (complete) {
        // The silence that ends an RTU frame; a short sleep, so it is exact
        // rather than rounded up to the event loop's millisecond.
        QThread::usleep(quint64(m_end.silentUs));
        if (m_fetch().size() == now.size())
            m_wait.finish();
    }
    m_checking = false;
}

void ReplyWatch::quietOver()
{
    if (m_completeSize >= 0 && m_fetch().size() == m_completeSize)
        m_wait.finish();
}

} // namespace vexs
