#pragma once

#include <QString>

#include <functional>

namespace vexs {

// Serial port n names a device path: the platform's own name for port n
// (/dev/ttyS(n-1) on Linux) unless the [Ports] section of the configuration
// file maps it ("COM3=/dev/ttyUSB0").
QString serialDevicePath(int portNumber, const QString &configPath);

// Maps port n to `path` in [Ports]; false when the file cannot be written.
bool mapSerialPort(int portNumber, const QString &path, const QString &configPath);

// Where Vexs.ini lives: beside the executable for a copy run from a folder
// of its own (a build folder, an unpacked archive) that takes new files, so
// that it carries its settings with it; otherwise in the user's
// configuration folder, which is created here. An installed copy (under
// /usr or in the configured bin folder) always uses the user's folder: even
// root, who can write there, must not leave settings among the package's
// files. `takesNewFiles` says whether a folder takes new files.
QString configPathFor(const QString &exeDir, const QString &userConfigDir,
                      const std::function<bool(const QString &)> &takesNewFiles);
QString configPathFor(const QString &exeDir, const QString &userConfigDir);

// Whether a file can be created in `dir`, found by creating and removing
// one: permission bits alone say nothing for root or on a read-only mount.
bool folderTakesNewFiles(const QString &dir);

// configPathFor() for this executable and the per-user configuration folder.
QString defaultConfigPath();

} // namespace vexs
