#pragma once

#include <QString>

namespace vexs {

// Serial port n names a device path: /dev/ttyS(n-1) unless the [Ports]
// section of the configuration file maps it ("COM3=/dev/ttyUSB0").
QString serialDevicePath(int portNumber, const QString &configPath);

// The configuration file beside the executable.
QString defaultConfigPath();

} // namespace vexs
