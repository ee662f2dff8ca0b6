#include "sim/request_log.h"

#include <QMutexLocker>

namespace vexs {

RequestLog::RequestLog()
{
    m_clock.start();
}

void RequestLog::append(const QByteArray &frame, Channel channel)
{
    QMutexLocker lock(&m_mutex);
    m_entries.append({frame, m_clock.elapsed(), channel});
    if (m_entries.size() > Kept)
        m_entries.removeFirst();
}

QList<RequestLog::Entry> RequestLog::entries() const
{
    QMutexLocker lock(&m_mutex);
    return m_entries;
}

QList<QByteArray> RequestLog::frames() const
{
    QMutexLocker lock(&m_mutex);
    QList<QByteArray> out;
    out.reserve(m_entries.size());
    for (const Entry &e : m_entries)
        out.append(e.frame);
    return out;
}

int RequestLog::size() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_entries.size());
}

void RequestLog::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}

qint64 RequestLog::nowMs() const
{
    return m_clock.elapsed(); // QElapsedTimer::elapsed is const and lock-free
}

} // namespace vexs
