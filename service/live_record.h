#pragma once

// The live-data record (input registers 0..47) and what the measurement page
// shows of it. Pure functions over bytes; the page only copies the result
// into its controls.

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

namespace vexs {

struct BlockLayout;

namespace live {
inline constexpr quint16 kFirstRegister = 0;
inline constexpr quint16 kRegisterCount = 48;
inline constexpr int kRecordSize = 2 * kRegisterCount;  // 96
inline constexpr int kReplySize = kRecordSize + 5;      // address, function, count, data, CRC
inline constexpr int kRequestSize = 8;
inline constexpr int kPollWaitMs = 100;
inline constexpr int kChannels = 4;
inline constexpr int kBoardBits = 11; // bits 0..10 of the board status word
inline constexpr int kSetpoints = 8;

inline constexpr quint8 kModuleMissing = 0xFF;
} // namespace live

// One measurement channel as shown.
struct LiveChannelView
{
    QString onOff;     // "Вкл" / "Выкл"
    QString errorCode; // the module status byte in decimal
    QString errorHint; // decoded texts, each followed by CR LF
    QString parameter;
    QString physical;
    QString coldJunction;
};

struct LiveMathView
{
    QString onOff;
    QString errorCode;
    QString errorHint;
    QString value;
};

struct LiveView
{
    QString clock;
    std::array<LiveChannelView, live::kChannels> channels;
    std::array<LiveMathView, live::kChannels> math;
    // Column 1 of the diagnostics grid, rows 1..11.
    std::array<QString, live::kBoardBits> boardStatus;
    std::array<QColor, live::kSetpoints> setpointColours;
};

// The caption of bit `bit` (0..10) of the board status word, as the
// diagnostics grid names its rows.
QString boardStatusCaption(int bit);

// "dd.mm.yy  hh:mm:ss" from the first six octets (sec, min, hour, day, month,
// year); each part at least two digits, a larger value keeps all its digits.
QString liveClockText(const QByteArray &record);

// Hint of a module status byte: "Нет ошибок" for 0, "Модуль не установлен"
// alone for 255, else the texts of bits 0..4, each followed by CR LF.
QString moduleStatusHint(quint8 status);
// Hint of a math error code: "Нет ошибок" for 0, else the texts of bits 0..4,
// each followed by CR LF (255 simply lists all five).
QString mathErrorHint(quint8 code);

// Under the channel tables: what the error codes mean, in the hints' own
// words. One line for a measurement channel's code, one for a math
// channel's; a code is the sum of the flags it has set.
QString errorCodeLegend();

// Beside the link status: while the values shown are not live (the last
// poll failed, or polling stopped), "данные от 09:07:05", the time of the
// good poll they came from, with its date when that was another day than
// `now`. Empty while they are live and before any good poll.
QString dataAgeText(const QDateTime &lastGood, bool live, const QDateTime &now);

// What the last reads of the channels' settings said: the units of
// measurement channels 1..4 and math channels M1..M4, and which are switched
// off; and which modules the last bulk read found missing. No units and
// nothing off until something was read.
struct ChannelSettings
{
    std::array<QString, live::kChannels> units;
    std::array<QString, live::kChannels> mathUnits;
    std::array<bool, live::kChannels> off{};
    std::array<bool, live::kChannels> mathOff{};
    std::array<bool, live::kChannels> absent{};
};

// Takes the units and the on switch from the record of a measurement or a
// math channel that has just been read; false, with nothing taken, for a
// record of any other block.
bool takeChannelRecord(ChannelSettings &settings, const BlockLayout &block, int item,
                       const QByteArray &record);

// Everything the page shows from one 96-octet record; nullopt for any other
// length.
std::optional<LiveView> decodeLiveRecord(const QByteArray &record);

// The record inside a read reply of the 48 registers; nullopt unless the
// reply has exactly the expected length.
std::optional<QByteArray> liveRecordOfReply(const QByteArray &reply);

// Wait time of the poll. A serial line at `baud` bit/s (10 bits an octet)
// needs time for the 8-octet request and the 101-octet reply; the poll waits
// that plus a margin for the device's turnaround, never less than the plain
// 100 ms. Over TCP the plain 100 ms. A baud of 0 (speed not chosen) counts as
// the slowest speed offered.
int pollWaitMs(bool serial, int baud);

} // namespace vexs
