#include "link/port_map.h"

#include "link/ini_file.h"

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
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
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
