#pragma once

#include <QByteArray>

namespace vexs {

// Fixed-size byte ring used as the write queue of the serial channel. Equal
// read and write positions mean empty unless the full flag is set, so the
// whole array can be used. Not thread-safe: the owner guards it.
class TAfCircularBuffer
{
public:
    // A size below 1 is treated as 1 so that the modulo arithmetic stays defined;
    // callers check sizes before they create a buffer.
    explicit TAfCircularBuffer(int size);

    int Size() const { return m_size; }
    bool Full() const { return m_full; }
    int Used() const;
    int Free() const { return m_size - Used(); }
    // Bytes readable from ReadPointer() without crossing the end of the array.
    int ContiguousReadable() const;
    const char *ReadPointer() const { return m_data.constData() + m_read; }

    // All or nothing: refused when length is below 1 or above Free().
    bool Put(const char *data, int length);
    // Drops length bytes from the read side; refused when fewer are stored.
    bool Remove(int length);
    void Clear();

private:
    QByteArray m_data;
    int m_size;
    int m_read = 0;
    int m_write = 0;
    bool m_full = false;
};

} // namespace vexs
