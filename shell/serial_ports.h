#pragma once

#include "link/af_com_port.h"

#include <QList>
#include <QString>

namespace vexs {

// A serial port present on this machine, as the port picker lists it.
struct SerialPortEntry
{
    // The name to keep: the stable link under /dev/serial/by-id/ when there
    // is one (it survives re-plugging into another socket), else the device.
    QString path;
    QString systemLocation;
    QString description;
    QString manufacturer;
    QString serialNumber;
    // What the picker adds about the adapter's driver (ftdiLatencyNote);
    // empty for most ports.
    QString note;
};

// The ports Qt Serial Port finds, sorted by device name.
QList<SerialPortEntry> availableSerialPorts();

// The stable by-id link in `byIdFolder` that leads to `systemLocation`, or
// `systemLocation` itself when none does.
QString stablePortName(const QString &systemLocation,
                       const QString &byIdFolder = QStringLiteral("/dev/serial/by-id"));

// The FTDI driver's latency timer of the port at `systemLocation`
// ("/dev/ttyUSB0"), read under `sysfsRoot`, in words: "Таймер задержки
// FTDI: 16 мс (правило udev из пакета ставит 1 мс)". Empty for a port whose
// driver has no such timer.
QString ftdiLatencyNote(const QString &systemLocation, const QString &sysfsRoot = QStringLiteral("/sys"));

} // namespace vexs
