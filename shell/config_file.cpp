#include "shell/config_file.h"

#include "shell/ini_file.h"

namespace vexs {

namespace {
const QString kSection = QStringLiteral("Vexs");
constexpr int kMaxText = 2047;
} // namespace

ConnectionSettings readConnectionSettings(const IniFile &file)
{
    ConnectionSettings s;
    s.address = file.readInteger(kSection, QStringLiteral("UpDownAdr"), 1);
    s.comPort = file.readInteger(kSection, QStringLiteral("UpDownComPort"), 1);
    s.baudIndex = file.readInteger(kSection, QStringLiteral("ComboBoxBaud"), 1);
    s.ip = file.readString(kSection, QStringLiteral("EditIP"), QStringLiteral("192.168.011.002"))
               .left(kMaxText);
    s.ipPort = file.readString(kSection, QStringLiteral("EditIPPort"), QStringLiteral("5000"))
                   .left(kMaxText);
    return s;
}

bool writeConnectionSettings(IniFile &file, const ConnectionSettings &s)
{
    return file.writeInteger(kSection, QStringLiteral("UpDownAdr"), s.address)
           && file.writeInteger(kSection, QStringLiteral("UpDownComPort"), s.comPort)
           && file.writeInteger(kSection, QStringLiteral("ComboBoxBaud"), s.baudIndex)
           && file.writeString(kSection, QStringLiteral("EditIP"), s.ip)
           && file.writeString(kSection, QStringLiteral("EditIPPort"), s.ipPort);
}

} // namespace vexs
