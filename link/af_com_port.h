#pragma once

// The serial channel as the exchange uses it: a thin facade over Qt Serial
// Port that keeps the component's names, its error texts and its contract
// (8N1 at the chosen speed, exclusive use, purge of both directions, a
// bounded output queue, ReadString returning what has arrived). Qt delivers
// the port's notifications on the owner's event loop, which the exchange's
// wait keeps running, so there are no threads here.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <stdexcept>

namespace vexs {

// Raised for the channel as a whole ("Invalid port number (COM%d)",
// "Can't open device COM%d"): message alone.
class EAfComPortCoreError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Raised by the component's operations: "<name> - <message> ".
class EAfComPortError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Why the last open or read failed, in terms a user can act on; the shell
// turns it into words.
enum class PortFailure {
    None,
    NoDevice,         // the device path does not exist
    PermissionDenied, // the device exists but this user may not open it
    Busy,             // another program holds the device
    LineLost,         // the device went away while open (adapter pulled)
    NotSerial,        // a regular file, a folder, /dev/null: no serial device (detail says which)
    Other,
};

struct PortStatus
{
    PortFailure failure = PortFailure::None;
    int comNumber = 0;
    QString path;   // the device path the port number named
    QString detail; // the platform's own error text
};

// Classifies a failed open from what can be known without the platform's
// error text (which is localised): whether the path exists, whether this
// user may read and write it, and whether Qt said the port is missing.
PortFailure classifyOpenFailure(bool deviceNotFound, bool exists, bool accessible);

// Why a port failed, in words a user can act on ("COM1: нет устройства
// /dev/ttyUSB0"); empty for a port that works. A port this user may not open
// is explained by whether the package's udev rule is installed.
QString portFailureText(const PortStatus &status);
QString portFailureText(const PortStatus &status, bool ruleInstalled);

// The package's udev rule (packaging/) that gives the user at the desk USB
// serial adapters, leaves them to this program and shortens the FTDI
// driver's latency timer.
inline constexpr char kUdevRuleName[] = "60-vexs-usb-serial.rules";
// Whether the rule is in one of `folders`, by default where a system package
// puts udev rules.
bool udevRuleInstalled(const QStringList &folders = {QStringLiteral("/usr/lib/udev/rules.d"),
                                                     QStringLiteral("/lib/udev/rules.d")});

// The platform's name for serial port n: "/dev/ttyS(n-1)" on Unix; on
// Windows "COMn", or "\\.\COMn" above 9.
QString defaultSerialDevice(int number);

class TAfComPort
{
public:
    explicit TAfComPort(QString name = QStringLiteral("AfComPort1"));
    ~TAfComPort();

    // Received octets held at most, far beyond any reply: a peer that
    // floods the line cannot make a read take memory or time without end.
    static constexpr int MaxReceivedOctets = 4096;
    TAfComPort(const TAfComPort &) = delete;
    TAfComPort &operator=(const TAfComPort &) = delete;

    // Setting the number while open closes the port and opens it again.
    int ComNumber() const;
    void SetComNumber(int number);
    // Bit/s; while open a change is applied at once, and when the device
    // refuses it the previous speed is kept and the error raised.
    int BaudRate() const;
    void SetBaudRate(int bitsPerSecond);

    void Open();
    void Close();
    bool Active() const;
    void PurgeRx();
    void PurgeTx();
    // Queues the bytes; refuses all of them ("Write data error [requested:
    // %d, free: %d]") when the output queue lacks room for the whole text.
    void WriteString(const QByteArray &data);
    // Everything that has arrived; raises "Read data error" when the line
    // failed (the device went away) since the port was opened.
    QByteArray ReadString();
    // What has arrived so far, left in place for ReadString.
    QByteArray PeekString();

    // Output queue size; changing it while open raises "Port is not closed".
    int OutBufSize() const;
    void SetOutBufSize(int size);

    // Maps port number n to a device path; by default defaultSerialDevice().
    void SetDevicePathResolver(std::function<QString(int)> resolver);
    QString DevicePath(int number) const;

    QString Name() const;

    // What went wrong last, or PortFailure::None after a good open.
    const PortStatus &LastStatus() const;

    // Called around the opening of the device (true before, false after,
    // also on error); the shell shows the wait cursor there.
    std::function<void(bool opening)> OnOpening;
    // Called whenever octets arrive while the port is open.
    std::function<void()> OnRxChar;
    // Called when the device fails under the open port (the next
    // ReadString reports it).
    std::function<void()> OnLineFailed;

private:
    void drainDriver();
    [[noreturn]] void raise(const QString &message) const;

    std::unique_ptr<struct TAfComPortPrivate> d;
};

} // namespace vexs
