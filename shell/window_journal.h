#pragma once

// The window's write journal: records stamped with the connection bar's
// link and address, and with the serial number of the recorder the pages
// were read from when the write goes to that same recorder.

#include <QString>

#include <memory>

namespace vexs {

class ConnectionBar;
class FileWriteJournal;
class SettingsImage;

// "RS-485, COM1 (/dev/ttyUSB0), 115200 бит/с" or
// "Ethernet, 192.168.011.002:5000, Modbus TCP".
QString journalLinkText(const ConnectionBar &bar, const QString &configPath);

std::unique_ptr<FileWriteJournal> makeWindowJournal(const QString &folder, const ConnectionBar &bar,
                                                    const SettingsImage &image, const QString &configPath);

} // namespace vexs
