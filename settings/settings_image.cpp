#include "settings/settings_image.h"

#include "settings/record_layout.h"

#include <stdexcept>

namespace vexs {

SettingsImage::SettingsImage() : m_bytes(Size, '\0'), m_known(m_bytes) {}

void SettingsImage::noteWritten(int offset, const QByteArray &bytes)
{
    if (offset < 0 || offset + bytes.size() > Size)
        throw std::invalid_argument("write outside the settings image");
    m_known.replace(offset, bytes.size(), bytes);
}

QByteArray SettingsImage::record(const BlockLayout &block, int item) const
{
    if (item < 1 || item > block.recordCount)
        throw std::invalid_argument("item number outside the block");
    const int offset = block.recordOffset(item);
    if (offset < 0 || offset + block.recordSize > Size)
        throw std::invalid_argument("block outside the settings image");
    return m_bytes.mid(offset, block.recordSize);
}

void SettingsImage::replaceAll(const QByteArray &area, const QString &source)
{
    if (area.size() != Size)
        throw std::invalid_argument("settings area of the wrong size");
    m_bytes = area;
    m_known = area;
    m_source = source;
    m_loaded = true;
}

} // namespace vexs
