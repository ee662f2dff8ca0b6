#include "shell/port_map.h"

#include "link/af_com_port.h"
#include "shell/ini_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

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

namespace {

bool isInstalledProgramFolder(const QString &dir)
{
    const QString clean = QDir::cleanPath(dir);
#ifdef VEXS_INSTALL_BINDIR
    if (clean == QDir::cleanPath(QStringLiteral(VEXS_INSTALL_BINDIR)))
        return true;
#endif
    return clean == QLatin1String("/usr") || clean.startsWith(QLatin1String("/usr/"));
}

QString iniIn(const QString &dir)
{
    return QDir(dir).filePath(QStringLiteral("Vexs.ini"));
}

} // namespace

bool folderTakesNewFiles(const QString &dir)
{
    if (!QFileInfo(dir).isDir())
        return false;
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".vexs-probe-XXXXXX")));
    return probe.open(); // removed again when it goes out of scope
}

QString configPathFor(const QString &exeDir, const QString &userConfigDir,
                      const std::function<bool(const QString &)> &takesNewFiles)
{
    if (!isInstalledProgramFolder(exeDir) && takesNewFiles(exeDir))
        return iniIn(exeDir);
    // Without a user folder there is nowhere to keep settings; the path
    // beside the executable at least names where they were looked for.
    if (userConfigDir.isEmpty())
        return iniIn(exeDir);
    QDir().mkpath(userConfigDir); // a failure shows as a missing folder
    return iniIn(userConfigDir);
}

QString configPathFor(const QString &exeDir, const QString &userConfigDir)
{
    return configPathFor(exeDir, userConfigDir, folderTakesNewFiles);
}

QString defaultConfigPath()
{
    const QString exeDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                        : QDir::currentPath();
    return configPathFor(exeDir,
                         QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

} // namespace vexs
