#include "shell/config_file.h"

#include "shell/ini_file.h"

#include <QFileInfo>

namespace vexs {

namespace {
const QString kSection = QStringLiteral("Vexs");
const QString kFastKey = QStringLiteral("FastExchange");
constexpr int kMaxText = 2047;

bool writeText(IniFile &file, const QString &key, const QString &text)
{
    return !IniFile::canStore(text) || file.writeString(kSection, key, text);
}

// A key beyond the plain program's five: written while it is not the
// default, or when the file has it already.
bool writeOptional(IniFile &file, const QString &key, int value)
{
    return (value == 0 && !file.keys(kSection).contains(key, Qt::CaseInsensitive))
           || file.writeInteger(kSection, key, value);
}
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
    s.fastExchange = file.readInteger(kSection, kFastKey, 0) != 0;
    s.framing = file.readInteger(kSection, QStringLiteral("Framing"), 0);
    s.extraWaitMs = file.readInteger(kSection, QStringLiteral("ExtraWaitMs"), 0);
    s.readRetries = file.readInteger(kSection, QStringLiteral("ReadRetries"), 0);
    s.pauseMs = file.readInteger(kSection, QStringLiteral("PauseMs"), 0);
    s.reconnect = file.readInteger(kSection, QStringLiteral("Reconnect"), 0) != 0;
    return s;
}

bool writeConnectionSettings(IniFile &file, const ConnectionSettings &s)
{
    return file.writeInteger(kSection, QStringLiteral("UpDownAdr"), s.address)
           && file.writeInteger(kSection, QStringLiteral("UpDownComPort"), s.comPort)
           && file.writeInteger(kSection, QStringLiteral("ComboBoxBaud"), s.baudIndex)
           && writeText(file, QStringLiteral("EditIP"), s.ip)
           && writeText(file, QStringLiteral("EditIPPort"), s.ipPort)
           && writeOptional(file, kFastKey, s.fastExchange ? 1 : 0)
           && writeOptional(file, QStringLiteral("Framing"), s.framing)
           && writeOptional(file, QStringLiteral("ExtraWaitMs"), s.extraWaitMs)
           && writeOptional(file, QStringLiteral("ReadRetries"), s.readRetries)
           && writeOptional(file, QStringLiteral("PauseMs"), s.pauseMs)
           && writeOptional(file, QStringLiteral("Reconnect"), s.reconnect ? 1 : 0);
}

QString unchangedFileMessage(const IniFile &file)
{
    QString reason;
    switch (file.problem()) {
    case IniFile::Problem::None: return QString();
    case IniFile::Problem::TooLarge: reason = QStringLiteral("он больше 1 МБ"); break;
    case IniFile::Problem::NotText: reason = QStringLiteral("он не текстовый"); break;
    }
    return QStringLiteral("Файл %1 не изменен: %2")
        .arg(QFileInfo(file.path()).fileName(), reason);
}

} // namespace vexs
