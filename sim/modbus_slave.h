#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>

namespace vexs {

class RecorderModel;

// Answers complete request frames from the register model; no I/O.
class ModbusSlave
{
public:
    explicit ModbusSlave(RecorderModel &model, quint8 address = 1);

    void setAddress(quint8 address) { m_address.store(address); }
    quint8 address() const { return m_address.load(); }

    // The reply frame, or empty when no reply is due: a bad CRC, another
    // slave's address, or a broadcast (address 0, whose writes are carried
    // out all the same).
    QByteArray process(const QByteArray &request);

    static QByteArray exceptionReply(quint8 address, quint8 function, quint8 code);

private:
    RecorderModel &m_model;
    std::atomic<quint8> m_address;
};

// Cuts a byte stream into request frames. The length follows from the
// function code (8 octets for reads and unknown functions, 9 + byte count for
// 0x10); a frame whose CRC fails is dropped, and a silence longer than the
// gap drops an unfinished frame, as an RTU slave resynchronises on the line.
class RtuFrameAssembler
{
public:
    explicit RtuFrameAssembler(int gapMs = 20) : m_gapMs(gapMs) {}

    // Appends bytes received at `nowMs` (any monotonic clock) and returns the
    // CRC-valid frames they complete, in order.
    QList<QByteArray> feed(const QByteArray &bytes, qint64 nowMs);

    void clear() { m_buffer.clear(); }
    int pending() const { return int(m_buffer.size()); }
    int droppedFrames() const { return m_dropped; }

private:
    int m_gapMs;
    QByteArray m_buffer;
    qint64 m_lastByteMs = 0;
    int m_dropped = 0;
};

// Expected length of the frame at the start of `buffer`, or 0 when more
// octets are needed to tell.
int rtuRequestLength(const QByteArray &buffer);

} // namespace vexs
