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
    // Key FastExchange (0 or 1). Written only while on, or when the file
    // already has it, so a file of the plain program keeps its five keys.
    bool fastExchange = false;
    // The gateway's framing (the bar's list index) and the link's tuning,
    // under the same rule: a key is written only once its value has been
    // changed from the default, so an untouched file keeps its keys.
    int framing = 0;      // Framing
    int extraWaitMs = 0;  // ExtraWaitMs
    int readRetries = 0;  // ReadRetries
    int pauseMs = 0;      // PauseMs
    bool reconnect = false; // Reconnect
};

// Missing keys or unreadable integers take their defaults; texts are read up
// to 2047 characters. Values are returned as stored (not yet clamped).
ConnectionSettings readConnectionSettings(const IniFile &file);

// Writes the five keys in order, each at once, then FastExchange and the
// others as above. Returns false at the first
// key that cannot be written. A text the file cannot store (one with a line
// break or another control character, see IniFile::canStore) is left out:
// the file keeps the value it had.
bool writeConnectionSettings(IniFile &file, const ConnectionSettings &settings);

// Why the file is to be left as it is at close ("Файл Vexs.ini не изменен:
// ..."), or empty when it may be written. Such a file also reads as empty,
// so the settings take their defaults.
QString unchangedFileMessage(const IniFile &file);

} // namespace vexs
