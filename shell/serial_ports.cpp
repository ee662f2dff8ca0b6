#include "shell/serial_ports.h"

#include <QDir>
#include <QFile>
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

QString ftdiLatencyNote(const QString &systemLocation, const QString &sysfsRoot)
{
    // The ftdi_sio driver puts the timer beside each of its ports, so the
    // file is there exactly for FTDI chips, whatever vendor id they carry.
    const QString name = QFileInfo(systemLocation).fileName();
    if (name.isEmpty())
        return QString();
    QFile file(QDir(sysfsRoot).filePath(QStringLiteral("bus/usb-serial/devices/%1/latency_timer").arg(name)));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // The driver writes at most "255\n"; a longer text is no timer.
    const QByteArray text = file.read(16).trimmed();
    bool ok = false;
    const int ms = text.toInt(&ok);
    if (!ok || ms < 0 || ms > 255)
        return QStringLiteral("Таймер задержки FTDI не прочитан");
    if (ms <= 1)
        return QStringLiteral("Таймер задержки FTDI: %1 мс").arg(ms);
    // Each reply may wait that long in the adapter before it reaches us.
    return QStringLiteral("Таймер задержки FTDI: %1 мс (правило udev из пакета ставит 1 мс)").arg(ms);
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
        e.note = ftdiLatencyNote(e.systemLocation);
        ports.append(e);
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortEntry &a, const SerialPortEntry &b) {
        return a.systemLocation < b.systemLocation;
    });
    return ports;
}

} // namespace vexs
