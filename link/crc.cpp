#include "link/crc.h"

namespace vexs {

quint32 ReflectedCrc(const quint8 *bytes, std::size_t length, int widthOctets,
                     quint32 polynomial, bool finalXor)
{
    const quint32 top = quint32(1) << (8 * widthOctets - 1);
    const quint32 mask = top | (top - 1);
    polynomial &= mask;
    quint32 crc = mask;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ polynomial : crc >> 1;
    }
    if (finalXor)
        crc ^= mask;
    return crc;
}

quint16 Crc16Modbus(const quint8 *bytes, std::size_t length)
{
    return quint16(ReflectedCrc(bytes, length, 2, 0xA001, false) & 0xFFFF);
}

quint16 Crc16Modbus(const QByteArray &bytes)
{
    return Crc16Modbus(reinterpret_cast<const quint8 *>(bytes.constData()),
                       std::size_t(bytes.size()));
}

} // namespace vexs
