#pragma once

#include <QString>

namespace vexs {

class IniFile;

// The connection settings kept between runs in section "Vexs" of Vexs.ini.
// Other sections (such as [Ports]) are left as they are.
struct ConnectionSettings
{
    int address = 1;
    int comPort = 1;
    int baudIndex = 1;
    QString ip = QStringLiteral("192.168.011.002");
    QString ipPort = QStringLiteral("5000");
};

// Missing keys or unreadable integers take their defaults; texts are read up
// to 2047 characters. Values are returned as stored (not yet clamped).
ConnectionSettings readConnectionSettings(const IniFile &file);

// Writes the five keys in order, each at once. Returns false at the first
// key that cannot be written.
bool writeConnectionSettings(IniFile &file, const ConnectionSettings &settings);

} // namespace vexs
