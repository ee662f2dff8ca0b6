#include "shell/port_map.h"

#include "link/af_com_port.h"
#include "shell/ini_file.h"

#include <QCoreApplication>
#include <QDir>

namespace vexs {

QString serialDevicePath(int portNumber, const QString &configPath)
{
    if (!configPath.isEmpty()) {
        const QString mapped = IniFile(configPath).readString(
            QStringLiteral("Ports"), QStringLiteral("COM%1").arg(portNumber), QString());
        if (!mapped.isEmpty())
            return mapped;
    }
    return defaultSerialDevice(portNumber);
}

bool mapSerialPort(int portNumber, const QString &path, const QString &configPath)
{
    return IniFile(configPath).writeString(QStringLiteral("Ports"),
                                           QStringLiteral("COM%1").arg(portNumber), path);
}

QString defaultConfigPath()
{
    QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                               : QDir::currentPath();
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir + QStringLiteral("Vexs.ini");
}

} // namespace vexs
