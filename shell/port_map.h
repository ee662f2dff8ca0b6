#pragma once

#include <QString>

namespace vexs {

// Serial port n names a device path: the platform's own name for port n
// (/dev/ttyS(n-1) on Linux) unless the [Ports] section of the configuration
// file maps it ("COM3=/dev/ttyUSB0").
QString serialDevicePath(int portNumber, const QString &configPath);

// Maps port n to `path` in [Ports]; false when the file cannot be written.
bool mapSerialPort(int portNumber, const QString &path, const QString &configPath);

// The configuration file beside the executable.
QString defaultConfigPath();

} // namespace vexs
