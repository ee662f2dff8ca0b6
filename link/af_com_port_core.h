#pragma once

#include "link/af_com_port.h"

#include <QLoggingCategory>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include <termios.h>

namespace vexs {

Q_DECLARE_LOGGING_CATEGORY(lcLinkSerial)

// Line settings handed from the port component to the core.
struct TAfLineSettings {
    int baudRate = 115200; // bit/s
    TAfDatabits dataBits = TAfDatabits::db8;
    TAfParity parity = TAfParity::paNone;
    TAfStopbits stopBits = TAfStopbits::sbOne;
    TAfFlowControl flowControl = TAfFlowControl::fwNone;
    char xonChar = 0x11;
    char xoffChar = 0x13;
    bool dtr = true;
    bool rts = true;

    bool operator==(const TAfLineSettings &) const = default;
};

// Turns line settings into a raw-mode termios, one setter per setting. Each
// returns false when the tty interface has no way to express the value.
namespace termios_setup {
void makeRaw(termios &tio);
bool setSpeed(termios &tio, int bitsPerSecond);
bool setDataBits(termios &tio, TAfDatabits bits);
void setParity(termios &tio, TAfParity parity);
void setStopBits(termios &tio, TAfStopbits bits);
bool setFlowControl(termios &tio, TAfFlowControl flow, char xon, char xoff);
bool build(const termios &base, const TAfLineSettings &settings, termios *out);
} // namespace termios_setup

// errno in words, for messages and log lines.
QString errnoText(int error);

class TAfComPortWriteThread;
class TAfComPortEventThread;

// Owns the open device, its saved terminal state and the two port threads.
// Every method is called from the owner's thread except the ones marked as
// used by the port threads.
class TAfComPortCore
{
public:
    // kind: 0 output empty, 1 line event (mask), 2 bytes waiting (mask =
    // count), 3 thread error (text). Called on a port thread.
    using Notify = std::function<void(int kind, quint32 mask, const QString &error)>;

    static constexpr quint32 EventMask = 0x01B9;
    static constexpr int ThreadStartTimeoutMs = 3000;
    static constexpr int PurgeTimeoutMs = 2000;
    static constexpr int EventPollMs = 200;

    // Accumulated line-error bits (what TakeLineErrors returns).
    enum : quint32 {
        CeRxOver = 0x0001, CeOverrun = 0x0002, CeRxParity = 0x0004,
        CeFrame = 0x0008, CeBreak = 0x0010,
    };

    TAfComPortCore();
    ~TAfComPortCore();
    TAfComPortCore(const TAfComPortCore &) = delete;
    TAfComPortCore &operator=(const TAfComPortCore &) = delete;

    void SetDevicePathResolver(std::function<QString(int)> resolver);
    QString DevicePath(int number) const;
    // Only while closed: the threads call it without a lock.
    void SetNotify(Notify notify);
    // Only while closed.
    void SetQueueSizes(int inSize, int outSize);

    // While closed it only records the settings. While open it applies them
    // and raises "Error setting parameters from DCB" when the device refuses,
    // keeping the previous settings.
    void SetLineSettings(const TAfLineSettings &settings);
    const TAfLineSettings &LineSettings() const { return m_settings; }
    // Raises or lowers DTR / RTS at once when open.
    void SetModemLines(bool dtr, bool rts);

    void Open(int number);
    void Close();
    bool HandleValid() const { return m_fd >= 0; }
    bool IsOpen() const { return m_open.load(); }
    bool Active() const { return m_active.load(); }
    int Number() const { return m_number; }

    // All or nothing; on refusal *freeBytes tells how much room there was.
    bool Write(const char *data, int length, int *freeBytes);
    // Everything waiting in the input queue; false on a read failure.
    bool Read(QByteArray *out);
    void PurgeRx();
    // False when the write thread did not acknowledge in time.
    bool PurgeTx();
    quint32 TakeLineErrors();

    // Also used by the port threads.
    int WaitingCount();
    bool UpdateLineErrors(); // true when new line errors were seen
    void SignalOutputEmpty();
    void ReportThreadError(const QString &message);
    void NotifyOwner(int kind, quint32 mask);
    int Fd() const { return m_fd; }
    int EventWakeFd() const { return m_eventWake; }
    bool TakeOutputEmpty() { return m_outputEmpty.exchange(false); }
    std::mutex &WriteLock() { return m_writeLock; }

private:
    [[noreturn]] void fail(const QString &message);
    void closeEverything();
    void stopThreads();
    void applyModemLines(bool dtr, bool rts);
    bool updateLineErrorsLocked();

    std::function<QString(int)> m_resolver;
    Notify m_notify;
    TAfLineSettings m_settings;
    int m_number = 0;
    int m_fd = -1;
    int m_inQueueSize = 8192;
    int m_outQueueSize = 4096;
    termios m_savedTermios {};
    bool m_haveSavedTermios = false;
    bool m_exclusiveSet = false;
    int m_writeWake = -1;
    int m_eventWake = -1;
    std::atomic<bool> m_open {false};
    std::atomic<bool> m_active {false};
    std::atomic<bool> m_outputEmpty {false};
    std::atomic<quint32> m_lineErrors {0};

    // Read lock: status queries, reads, input purges and device close.
    std::mutex m_readLock;
    // Write lock: the write ring buffer and output purges.
    std::mutex m_writeLock;
    bool m_icountSupported = true;
    int m_icount[5] {};

    std::unique_ptr<TAfComPortWriteThread> m_writeThread;
    std::unique_ptr<TAfComPortEventThread> m_eventThread;
};

} // namespace vexs
