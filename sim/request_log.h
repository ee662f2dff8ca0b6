#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>

namespace vexs {

// The CRC-valid request frames the simulator received, in arrival order:
// the last Kept of them, so that a simulator left running stays small.
// Thread-safe: the serving thread appends, tests read and clear.
class RequestLog
{
public:
    static constexpr int Kept = 10000;

    enum Channel { Pty, Tcp, Direct, Udp };
    struct Entry {
        QByteArray frame;
        qint64 atMs = 0; // since the log was created, monotonic
        Channel channel = Direct;
    };

    RequestLog();

    void append(const QByteArray &frame, Channel channel);
    QList<Entry> entries() const;
    QList<QByteArray> frames() const;
    int size() const;
    void clear();
    // Time base of atMs, for comparing with the caller's own measurements.
    qint64 nowMs() const;

private:
    mutable QMutex m_mutex;
    QElapsedTimer m_clock;
    QList<Entry> m_entries;
};

} // namespace vexs
