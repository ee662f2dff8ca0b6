#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QString>

#include <array>
#include <optional>

namespace vexs {

// Register contents of the simulated recorder. Every public member locks, so
// the serving thread and a test thread may use one model at the same time.
//
// Register data is kept as byte images in wire order: byte k of an area lies
// in register first + k / 2, high byte when k is even. Values inside records
// are least significant byte first, as the recorder stores them.
class RecorderModel
{
public:
    // Modbus exception codes the model can produce.
    enum Exception : quint8 {
        NoException = 0,
        IllegalFunction = 1,
        IllegalAddress = 2,
        IllegalValue = 3,
    };

    static constexpr int SettingsRegisters = 772;
    static constexpr int SettingsBytes = 2 * SettingsRegisters;
    static constexpr int InputRegisters = 48;
    static constexpr int LiveBytes = 2 * InputRegisters;
    static constexpr int CommandFirst = 10001;   // 10001..10011
    static constexpr int CommandCount = 11;
    static constexpr int IdentFirst = 10012;     // 10012..10022
    static constexpr int IdentCount = 11;
    static constexpr int IdentWritableCount = 9; // board versions are read-only
    static constexpr int CoeffRegisters = 52;    // per channel, from 10001 + 1000 n
    static constexpr int Channels = 4;

    struct CalibrationCommand {
        quint8 channel = 0;
        quint8 step = 0;
        float value = 0;
    };
    // One write that touched the command registers, as received.
    struct CommandWrite {
        quint16 first = 0;
        QByteArray data;
    };

    RecorderModel();

    // Puts every area back to the factory contents, clock to the local time.
    void reset();
    // Makes this one of several recorders on a line: its own serial number
    // (310000 + address), network address and phase of the moving values.
    void makeUnit(int address);

    // --- Modbus access (what the slave serves) ---------------------------
    // Register data in wire order, or an exception code.
    Exception readHolding(quint16 first, quint16 count, QByteArray *data) const;
    Exception readInput(quint16 first, quint16 count, QByteArray *data) const;
    // `data` holds 2 x count bytes. All-or-nothing: a refused write changes nothing.
    Exception writeHolding(quint16 first, quint16 count, const QByteArray &data);

    // --- Raw access for tests (no access rules, no side effects) --------
    // Empty when any register of the range does not exist.
    QByteArray holdingBytes(int firstReg, int count) const;
    // Writes from firstReg on; an odd length leaves the last low byte alone.
    // False (and nothing written) when a register does not exist.
    bool setHoldingBytes(int firstReg, const QByteArray &bytes);
    QByteArray settingsArea() const;
    void setSettingsArea(const QByteArray &bytes); // 1544 bytes, else ignored
    QByteArray identification() const;             // 22 bytes
    QByteArray coefficients(int channel) const;    // 104 bytes, channel 1..4

    // --- Live-data record (input registers 0..47) ------------------------
    QByteArray liveRecord() const;
    // Serves exactly these 96 bytes from now on (clock included) until
    // unfreezeLiveRecord(); other lengths are ignored.
    void setLiveRecord(const QByteArray &record);
    void freezeLiveRecord(); // keeps the current record
    void unfreezeLiveRecord();
    bool liveRecordFrozen() const;

    void setModuleMissing(int channel, bool missing); // channel 1..4
    void setModuleStatus(int channel, quint8 status);
    quint8 moduleStatus(int channel) const;
    void setBoardStatus(quint16 word);

    // --- Clock -------------------------------------------------------------
    // Sets the clock that the live record reports; it ticks on from there.
    void setClock(const QDateTime &dateTime);
    // sec, min, hour, day, month, year % 100. An impossible date is reported
    // as written and does not tick.
    void setClockBytes(const QByteArray &record);
    QByteArray clockBytes() const; // the six bytes reported now

    // --- Commands --------------------------------------------------------
    std::optional<CalibrationCommand> lastCalibrationCommand() const;
    // The last KeptCommandWrites writes, oldest first.
    static constexpr int KeptCommandWrites = 10000;
    QList<CommandWrite> commandWrites() const;
    void clearCommandWrites();
    // Pen position in percent as the last pen command left it.
    int penPosition() const;

private:
    enum class Area { None, Settings, Command, Ident, Coeff };
    struct Location {
        Area area = Area::None;
        int index = 0;  // coefficient channel 0..3
        int offset = 0; // byte offset of the register in its area
    };
    static Location locate(int reg);
    QByteArray *storage(const Location &where);
    const QByteArray *storage(const Location &where) const;
    static bool readable(const Location &where);
    static bool writable(const Location &where, int reg);

    void fillFactoryContents();
    void applyCommandWrite(quint16 first, quint16 count, const QByteArray &data);
    void setClockBytesLocked(const QByteArray &record);
    QByteArray clockBytesLocked() const;
    QByteArray liveRecordLocked() const;

    mutable QMutex m_mutex;
    QByteArray m_settings;
    QByteArray m_commands;
    QByteArray m_ident;
    std::array<QByteArray, Channels> m_coeffs;
    std::array<quint8, Channels> m_moduleStatus{};
    quint16 m_boardStatus = 0;

    // The clock runs as a UTC calendar base plus the time since it was set;
    // m_rawClock holds a written record that is not a real date.
    QDateTime m_clockBase;
    QElapsedTimer m_clockRunning;
    std::optional<QByteArray> m_rawClock;

    QElapsedTimer m_uptime; // drives the moving values
    std::optional<QByteArray> m_frozenLive;

    std::optional<CalibrationCommand> m_lastCalibration;
    QList<CommandWrite> m_commandWrites;
    int m_penPercent = 50;
    double m_phase = 0; // radians added to every moving value
};

// Windows-1251 bytes of a text that uses ASCII, Cyrillic letters and "°";
// other characters become '?'.
QByteArray toWindows1251(const QString &text);

} // namespace vexs
