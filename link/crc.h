#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace vexs {

// Generic reflected CRC of width 1..4 octets. The register starts as all ones
// of the width; `polynomial` is given in reflected form.
quint32 ReflectedCrc(const quint8 *bytes, std::size_t length, int widthOctets,
                     quint32 polynomial, bool finalXor);

// CRC-16/MODBUS (poly 0x8005 reflected, init 0xFFFF, no final xor).
quint16 Crc16Modbus(const quint8 *bytes, std::size_t length);
quint16 Crc16Modbus(const QByteArray &bytes);

} // namespace vexs
