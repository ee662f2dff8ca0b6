#include "link/af_circular_buffer.h"

#include <algorithm>
#include <cstring>

namespace vexs {

TAfCircularBuffer::TAfCircularBuffer(int size)
    : m_size(std::max(size, 1))
{
    m_data.resize(m_size);
}

int TAfCircularBuffer::Used() const
{
    if (m_full)
        return m_size;
    if (m_write >= m_read)
        return m_write - m_read;
    return m_write + m_size - m_read;
}

int TAfCircularBuffer::ContiguousReadable() const
{
    if (m_full)
        return m_size - m_read;
    if (m_write >= m_read)
        return m_write - m_read;
    return m_size - m_read;
}

bool TAfCircularBuffer::Put(const char *data, int length)
{
    if (length < 1 || length > Free())
        return false;
    char *base = m_data.data();
    const int first = std::min(length, m_size - m_write);
    std::memcpy(base + m_write, data, static_cast<size_t>(first));
    if (first < length)
        std::memcpy(base, data + first, static_cast<size_t>(length - first));
    m_write = (m_write + length) % m_size;
    if (m_write == m_read)
        m_full = true;
    return true;
}

bool TAfCircularBuffer::Remove(int length)
{
    if (length < 0 || Used() < length)
        return false;
    if (length > 0) {
        m_read = (m_read + length) % m_size;
        m_full = false;
    }
    return true;
}

void TAfCircularBuffer::Clear()
{
    m_read = 0;
    m_write = 0;
    m_full = false;
}

} // namespace vexs
