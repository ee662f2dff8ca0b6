#pragma once

// Serial port channel on POSIX termios with its own event and write threads.
// The operations from ComNumber to SetDevicePathResolver are the contract the
// exchange relies on; the line settings and events after them complete the
// component. The core (device, threads) is in af_com_port_core.h, the ring
// buffer in af_circular_buffer.h, the main-thread hand-over in
// af_sync_handover.h.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

namespace vexs {

enum class TAfBaudrate {
    br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
    br38400, br56000, br57600, br115200, br128000, br256000, brUser
};
enum class TAfDatabits { db4, db5, db6, db7, db8 };
enum class TAfParity { paNone, paOdd, paEven, paMark, paSpace };
enum class TAfStopbits { sbOne, sbOneAndHalf, sbTwo };
enum class TAfFlowControl { fwNone, fwXOnXOff, fwRtsCts, fwDtrDsr };

// Speed in bit/s of a table entry; brUser gives userBaudRate.
int AfBaudrateBits(TAfBaudrate rate, int userBaudRate = 0);

// Raised by the core ("Invalid port number (COM%d)", ...): message alone.
class EAfComPortCoreError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Raised by the port component: "<name> - <message> ".
class EAfComPortError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class TAfComPortCore;

// Notifications from the port's threads reach the events below on the Qt main
// thread (OnNonSyncEvent excepted); assign them only while the port is closed.
class TAfComPort
{
public:
    explicit TAfComPort(QString name = QStringLiteral("AfComPort1"));
    ~TAfComPort();
    TAfComPort(const TAfComPort &) = delete;
    TAfComPort &operator=(const TAfComPort &) = delete;

    int ComNumber() const;
    void SetComNumber(int number);
    TAfBaudrate BaudRate() const;
    void SetBaudRate(TAfBaudrate rate);

    void Open();
    void Close();
    bool Active() const;
    void PurgeRx();
    void PurgeTx();
    void WriteString(const QByteArray &data);
    QByteArray ReadString();

    // Maps port number n to a device path; by default from the [Ports]
    // section of the configuration file, else /dev/ttyS(n-1).
    void SetDevicePathResolver(std::function<QString(int)> resolver);

    QString Name() const;

    // Line settings; while open a change is applied at once and, when the
    // device refuses it, the previous value is kept and the error raised.
    int UserBaudRate() const;
    void SetUserBaudRate(int bitsPerSecond); // selects brUser
    TAfDatabits Databits() const;
    void SetDatabits(TAfDatabits bits);
    TAfParity Parity() const;
    void SetParity(TAfParity parity);
    TAfStopbits Stopbits() const;
    void SetStopbits(TAfStopbits bits);
    TAfFlowControl FlowControl() const;
    void SetFlowControl(TAfFlowControl flow);
    char XOnChar() const;
    void SetXOnChar(char c);
    char XOffChar() const;
    void SetXOffChar(char c);
    bool DTR() const;
    void SetDTR(bool on);
    bool RTS() const;
    void SetRTS(bool on);

    // Input queue size (kept for the component's interface; the tty driver
    // sizes its own queue) and the size of the write ring buffer. Changing
    // either while open raises "Port is not closed".
    int InBufSize() const;
    void SetInBufSize(int size);
    int OutBufSize() const;
    void SetOutBufSize(int size);

    // Line-event bits of OnSyncEvent's mask for kind 1.
    enum : quint32 {
        EvRxChar = 0x0001, EvCts = 0x0008, EvDsr = 0x0010, EvRlsd = 0x0020,
        EvErr = 0x0080, EvRing = 0x0100,
    };
    // Notification kinds: 0 everything queued was written, 1 line event
    // (mask above), 2 bytes wait unread (mask = count), 3 thread error.
    std::function<void(int count)> OnDataRecived;
    std::function<void(quint32 errors)> OnLineError;
    std::function<void()> OnCTSChanged;
    std::function<void()> OnDSRChanged;
    std::function<void()> OnRINGDetected;
    std::function<void()> OnRLSDChanged;
    std::function<void()> OnOutBufFree;
    std::function<void()> OnPortOpen;
    std::function<void()> OnPortClose;
    std::function<void(int kind, quint32 mask)> OnSyncEvent;
    // Runs on the event thread instead of the hand-over for kinds 0 to 2.
    std::function<void(int kind, quint32 mask)> OnNonSyncEvent;
    // An error inside a port thread; without a handler it is logged.
    std::function<void(const QString &message)> OnThreadError;

private:
    void syncEvent(int kind, quint32 mask);
    void threadNotify(int kind, quint32 mask, const QString &error);
    template <typename T> void setLineProperty(T &field, T value);
    [[noreturn]] void raise(const QString &message) const;

    std::unique_ptr<struct TAfComPortPrivate> d;
};

} // namespace vexs
