#include "shell/serial_ports.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace vexs {

QString stablePortName(const QString &systemLocation, const QString &byIdFolder)
{
    const QString target = QFileInfo(systemLocation).canonicalFilePath();
    if (target.isEmpty())
        return systemLocation;
    const QDir folder(byIdFolder);
    const QFileInfoList links = folder.entryInfoList(QDir::System | QDir::Files, QDir::Name);
    for (const QFileInfo &link : links) {
        if (link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return systemLocation;
}

QList<SerialPortEntry> availableSerialPorts()
{
    QList<SerialPortEntry> ports;
    const QList<QSerialPortInfo> found = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : found) {
        SerialPortEntry e;
        e.systemLocation = info.systemLocation();
        e.path = stablePortName(e.systemLocation);
        e.description = info.description();
        e.manufacturer = info.manufacturer();
        e.serialNumber = info.serialNumber();
        ports.append(e);
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortEntry &a, const SerialPortEntry &b) {
        return a.systemLocation < b.systemLocation;
    });
    return ports;
}

QString portFailureText(const PortStatus &status)
{
    const QString port = QStringLiteral("COM%1").arg(status.comNumber);
    switch (status.failure) {
    case PortFailure::None:
        return QString();
    case PortFailure::NoDevice:
        return QStringLiteral("%1: нет устройства %2").arg(port, status.path);
    case PortFailure::PermissionDenied:
        return QStringLiteral("%1: нет доступа к %2 (пользователь должен входить в группу dialout)")
            .arg(port, status.path);
    case PortFailure::Busy:
        return QStringLiteral("%1: %2 занят другой программой").arg(port, status.path);
    case PortFailure::LineLost:
        return QStringLiteral("%1: связь с %2 прервана (устройство отключено?)").arg(port, status.path);
    case PortFailure::Other:
        return QStringLiteral("%1: не удалось открыть %2 (%3)").arg(port, status.path, status.detail);
    }
    return QString();
}

} // namespace vexs
