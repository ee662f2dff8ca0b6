#include "link/af_com_port.h"

#include "link/device_kind.h"
#include "link/line_speed.h"
#include "link/low_latency.h"
#include "link/modbus.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPort>

#include <climits>
#include <optional>
#include <utility>

namespace vexs {

PortFailure classifyOpenFailure(bool deviceNotFound, bool exists, bool accessible)
{
    if (deviceNotFound || !exists)
        return PortFailure::NoDevice;
    if (!accessible)
        return PortFailure::PermissionDenied;
    // Qt reports a device that another program has locked or taken for
    // exclusive use as a permission error too; this user could open it.
    return PortFailure::Busy;
}

bool udevRuleInstalled(const QStringList &folders)
{
    for (const QString &folder : folders) {
        if (QFileInfo(QDir(folder), QString::fromLatin1(kUdevRuleName)).isFile())
            return true;
    }
    return false;
}

QString portFailureText(const PortStatus &status)
{
    // Only a refusal needs to know of the rule; the others ask no disk.
    return portFailureText(status, status.failure == PortFailure::PermissionDenied && udevRuleInstalled());
}

QString portFailureText(const PortStatus &status, bool ruleInstalled)
{
    const QString port = QStringLiteral("COM%1").arg(status.comNumber);
    switch (status.failure) {
    case PortFailure::None:
        return QString();
    case PortFailure::NoDevice:
        return QStringLiteral("%1: нет устройства %2").arg(port, status.path);
    case PortFailure::PermissionDenied:
        // The rule gives access when the adapter appears, to whoever is
        // logged in at the desk then: an adapter plugged in before the
        // install or before this login needs one of the two again. A port
        // the rule does not cover still needs the group.
        if (ruleInstalled)
            return QStringLiteral("%1: нет доступа к %2 (правило udev %3 даст доступ к USB-адаптеру, "
                                  "если переподключить его или войти в систему заново; иначе "
                                  "пользователь должен входить в группу dialout)")
                .arg(port, status.path, QString::fromLatin1(kUdevRuleName));
        return QStringLiteral("%1: нет доступа к %2 (пользователь должен входить в группу dialout)")
            .arg(port, status.path);
    case PortFailure::Busy:
        return QStringLiteral("%1: %2 занят другой программой").arg(port, status.path);
    case PortFailure::LineLost:
        return QStringLiteral("%1: связь с %2 прервана (устройство отключено?)").arg(port, status.path);
    case PortFailure::NotSerial:
        return QStringLiteral("%1: %2 не последовательный порт (%3)").arg(port, status.path, status.detail);
    case PortFailure::Other:
        return QStringLiteral("%1: не удалось открыть %2 (%3)").arg(port, status.path, status.detail);
    }
    return QString();
}

#ifndef Q_OS_UNIX
// Port names elsewhere are no file paths: the platform's open decides.
std::optional<QString> nonSerialKind(const QString &) { return std::nullopt; }
std::optional<QString> nonTerminalDevice(const QString &) { return std::nullopt; }
#endif

#ifndef Q_OS_LINUX
// Only Linux drivers offer the mode; elsewhere the port works as before.
namespace low_latency {
std::optional<int> request(qintptr) { return std::nullopt; }
void restore(qintptr, std::optional<int>) {}
} // namespace low_latency
#endif

QString defaultSerialDevice(int number)
{
#ifdef Q_OS_WIN
    return number > 9 ? QStringLiteral("\\\\.\\COM%1").arg(number)
                      : QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

struct TAfComPortPrivate
{
    QString name;
    int comNumber = 0;
    int baudRate = kDefaultLineSpeed;
    int outBufSize = 2048;
    std::function<QString(int)> resolver;
    QSerialPort port;
    // Set by Qt when the device fails under an open port (a USB adapter
    // pulled out): the next ReadString reports it once.
    bool lineFailed = false;
    QString lineError;
    PortStatus status;
    // The driver's flags before Open asked for low latency; set only when
    // it did change them, so Close turns the mode off again.
    std::optional<int> flagsBeforeLowLatency;
};

TAfComPort::TAfComPort(QString name) : d(std::make_unique<TAfComPortPrivate>())
{
    d->name = std::move(name);
    QObject::connect(&d->port, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::ResourceError || e == QSerialPort::ReadError
            || e == QSerialPort::WriteError) {
            d->lineFailed = true;
            d->lineError = d->port.errorString();
            if (OnLineFailed)
                OnLineFailed();
        }
    });
    QObject::connect(&d->port, &QSerialPort::readyRead, [this] {
        if (OnRxChar)
            OnRxChar();
    });
}

TAfComPort::~TAfComPort()
{
    Close();
}

QString TAfComPort::Name() const
{
    return d->name;
}

const PortStatus &TAfComPort::LastStatus() const
{
    return d->status;
}

void TAfComPort::raise(const QString &message) const
{
    throw EAfComPortError(QStringLiteral("%1 - %2 ").arg(d->name, message).toStdString());
}

int TAfComPort::ComNumber() const
{
    return d->comNumber;
}

void TAfComPort::SetComNumber(int number)
{
    if (number == d->comNumber)
        return;
    if (d->port.isOpen()) {
        Close();
        d->comNumber = number;
        Open();
    } else {
        d->comNumber = number;
    }
}

int TAfComPort::BaudRate() const
{
    return d->baudRate;
}

void TAfComPort::SetBaudRate(int bitsPerSecond)
{
    if (d->port.isOpen() && !d->port.setBaudRate(bitsPerSecond)) {
        d->port.setBaudRate(d->baudRate);
        d->port.clearError();
        throw EAfComPortCoreError("Error setting parameters from DCB");
    }
    d->baudRate = bitsPerSecond;
}

int TAfComPort::OutBufSize() const
{
    return d->outBufSize;
}

void TAfComPort::SetOutBufSize(int size)
{
    if (d->port.isOpen())
        raise(QStringLiteral("Port is not closed"));
    d->outBufSize = size;
}

void TAfComPort::SetDevicePathResolver(std::function<QString(int)> resolver)
{
    d->resolver = std::move(resolver);
}

QString TAfComPort::DevicePath(int number) const
{
    return d->resolver ? d->resolver(number) : defaultSerialDevice(number);
}

void TAfComPort::Open()
{
    if (d->port.isOpen())
        return;
    const int n = d->comNumber;
    QString path = n > 0 ? DevicePath(n) : QString();
    // Qt reads a name that does not start with '/' as one under /dev/; a
    // relative path ("adapters/ttyR") means one from the current folder.
    if (path.contains(u'/') && QFileInfo(path).isRelative())
        path = QFileInfo(path).absoluteFilePath();
    d->status = PortStatus{PortFailure::None, n, path, QString()};
    if (n <= 0) {
        d->status.failure = PortFailure::NoDevice;
        throw EAfComPortCoreError(QStringLiteral("Invalid port number (COM%1)").arg(n).toStdString());
    }

    // Never opened, so never written to.
    if (const std::optional<QString> kind = nonSerialKind(path)) {
        d->status.failure = PortFailure::NotSerial;
        d->status.detail = *kind;
        qCInfo(lcLink).noquote() << d->name << path << "is no serial device:" << *kind;
        throw EAfComPortCoreError(QStringLiteral("Can't open device COM%1").arg(n).toStdString());
    }

    struct Opening {
        const std::function<void(bool)> &hook;
        explicit Opening(const std::function<void(bool)> &h) : hook(h) { if (hook) hook(true); }
        ~Opening() { if (hook) hook(false); }
    } opening(OnOpening);

    QSerialPort &port = d->port;
    port.setPortName(path);
    port.setBaudRate(d->baudRate);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    port.setReadBufferSize(MaxReceivedOctets);
    d->lineFailed = false;
    if (!port.open(QIODevice::ReadWrite)) {
        const QFileInfo device(path);
        // Windows names ("COM3") are no file paths; Qt's own verdict decides.
        const bool isFilePath = path.contains(u'/');
        const bool exists = !isFilePath || device.exists();
        const bool accessible = !isFilePath || (device.isReadable() && device.isWritable());
        const bool notFound = port.error() == QSerialPort::DeviceNotFoundError;
        d->status.failure = port.error() == QSerialPort::PermissionError || notFound || !exists
                                ? classifyOpenFailure(notFound, exists, accessible)
                                : PortFailure::Other;
        d->status.detail = port.errorString();
        port.clearError();
        if (d->status.failure == PortFailure::Other) {
            if (const std::optional<QString> kind = nonTerminalDevice(path)) {
                d->status.failure = PortFailure::NotSerial;
                d->status.detail = *kind;
            }
        }
        qCInfo(lcLink).noquote() << d->name << "cannot open" << path << "-" << d->status.detail;
        if (d->status.failure == PortFailure::NoDevice)
            throw EAfComPortCoreError(QStringLiteral("Invalid port number (COM%1)").arg(n).toStdString());
        throw EAfComPortCoreError(QStringLiteral("Can't open device COM%1").arg(n).toStdString());
    }
    // Replies reach us as they arrive instead of after the adapter's timer;
    // a driver without the mode (CH34x, a pseudo-terminal) works as before.
    d->flagsBeforeLowLatency = low_latency::request(port.handle());
    // DTR and RTS asserted, as a converter powered from them expects; a
    // pseudo-terminal has no modem lines and refuses, which is harmless.
    port.setDataTerminalReady(true);
    port.setRequestToSend(true);
    port.clear(QSerialPort::AllDirections);
    port.clearError();
    d->lineFailed = false;
}

void TAfComPort::Close()
{
    if (!d->port.isOpen())
        return;
    // Octets that arrived after the last read are not wanted by anyone.
    d->port.clear(QSerialPort::AllDirections);
    // The driver keeps its flags between opens; the next program finds the
    // adapter as it was.
    low_latency::restore(d->port.handle(), std::exchange(d->flagsBeforeLowLatency, std::nullopt));
    d->port.close();
    d->port.clearError();
}

bool TAfComPort::Active() const
{
    return d->port.isOpen();
}

void TAfComPort::PurgeRx()
{
    if (d->port.isOpen())
        d->port.clear(QSerialPort::Input);
}

void TAfComPort::PurgeTx()
{
    if (d->port.isOpen())
        d->port.clear(QSerialPort::Output);
}

void TAfComPort::WriteString(const QByteArray &data)
{
    if (data.isEmpty() || !d->port.isOpen())
        return;
    const qint64 pending = d->port.bytesToWrite();
    const int freeBytes = pending >= d->outBufSize ? 0 : d->outBufSize - int(pending);
    if (data.size() > freeBytes) {
        const int requested = data.size() > INT_MAX ? INT_MAX : int(data.size());
        raise(QStringLiteral("Write data error [requested: %1, free: %2]").arg(requested).arg(freeBytes));
    }
    d->port.write(data);
    // Hand the bytes to the driver now rather than at the next event-loop turn.
    d->port.flush();
}

void TAfComPort::drainDriver()
{
    // Take what the driver holds now, not only what the event loop has
    // already collected.
    while (!d->lineFailed && d->port.bytesAvailable() < MaxReceivedOctets
           && d->port.waitForReadyRead(0)) {
    }
}

QByteArray TAfComPort::PeekString()
{
    if (!d->port.isOpen())
        return {};
    drainDriver();
    return d->port.peek(d->port.bytesAvailable());
}

QByteArray TAfComPort::ReadString()
{
    if (!d->port.isOpen())
        return {};
    drainDriver();
    if (d->lineFailed) {
        d->status = PortStatus{PortFailure::LineLost, d->comNumber, d->port.portName(), d->lineError};
        d->lineFailed = false;
        raise(QStringLiteral("Read data error"));
    }
    d->port.clearError();
    return d->port.readAll();
}

} // namespace vexs
