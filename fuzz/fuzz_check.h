#pragma once

// What every fuzz target shares: a failed expectation stops the run at once,
// so libFuzzer keeps the input that broke it.
#include <QByteArray>
#include <QLocale>

#include <cstddef>
#include <cstdint>

namespace vexs::fuzz {

inline void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

inline QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// The numbers are shown as the workstations show them, with a decimal
// comma; a fixed locale also spares a query of the system's on every number.
inline void useRussianNumbers()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

// Exactly `size` octets: cut, or padded with zeros.
inline QByteArray fitted(const QByteArray &bytes, qsizetype size)
{
    return bytes.left(size).leftJustified(size, '\0');
}

} // namespace vexs::fuzz
