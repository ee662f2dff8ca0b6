// Low latency through the driver's serial flags on Linux (other platforms:
// the stub in af_com_port.cpp). An unprivileged user may change this flag
// alone, so each call writes back the flags just read with only that bit
// changed. A tty without serial flags (a pseudo-terminal) answers ENOTTY,
// which is no fault.
#include <QtGlobal>

#ifdef Q_OS_LINUX

#include "link/low_latency.h"
#include "link/modbus.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace vexs::low_latency {

namespace {

bool readFlags(int fd, serial_struct &serial)
{
    std::memset(&serial, 0, sizeof serial);
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0)
        return true;
    qCDebug(lcLink) << "serial flags of descriptor" << fd << "not readable:" << std::strerror(errno);
    return false;
}

bool writeFlags(int fd, serial_struct &serial, int flags)
{
    serial.flags = flags;
    if (::ioctl(fd, TIOCSSERIAL, &serial) == 0)
        return true;
    qCDebug(lcLink) << "driver refused serial flags" << Qt::hex << flags << "on descriptor" << Qt::dec
                    << fd << ":" << std::strerror(errno);
    return false;
}

} // namespace

std::optional<int> request(qintptr descriptor)
{
    const int fd = int(descriptor);
    if (fd < 0)
        return std::nullopt;
    serial_struct serial;
    if (!readFlags(fd, serial) || (serial.flags & ASYNC_LOW_LATENCY))
        return std::nullopt;
    const int before = serial.flags;
    if (!writeFlags(fd, serial, before | ASYNC_LOW_LATENCY))
        return std::nullopt;
    // Drivers without the mode (CH34x among them) accept the request and keep
    // nothing of it; then there is nothing to restore either.
    if (!readFlags(fd, serial) || !(serial.flags & ASYNC_LOW_LATENCY)) {
        qCDebug(lcLink) << "driver of descriptor" << fd << "has no low-latency mode";
        return std::nullopt;
    }
    return before;
}

void restore(qintptr descriptor, std::optional<int> before)
{
    const int fd = int(descriptor);
    if (fd < 0 || !before || (*before & ASYNC_LOW_LATENCY))
        return;
    serial_struct serial;
    if (readFlags(fd, serial) && (serial.flags & ASYNC_LOW_LATENCY))
        writeFlags(fd, serial, serial.flags & ~ASYNC_LOW_LATENCY);
}

} // namespace vexs::low_latency

#endif
