#pragma once

// Payloads and tables of the calibration and service commands: the
// calibration command of register 10001 (input calibration steps 1..32 and
// the output test steps 33..38), the pen commands, and the register groups of
// the calibration coefficients. Pure functions; the pages do the I/O.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <span>

namespace vexs {

namespace calibration {
inline constexpr quint16 kCommandRegister = 10001;
inline constexpr quint16 kCommandCount = 3;
inline constexpr int kCommandWaitMs = 8000;

inline constexpr int kChannels = 4;
inline constexpr int kCoefficientPoints = 5;
inline constexpr quint16 kCoefficientGroupCount = 10; // registers per group

// Output test step codes.
inline constexpr int kFirstCurrentStep = 33; // 4 mA; +1 per 4 mA up to 20 mA
inline constexpr int kOutputEndStep = 38;
inline constexpr int kCurrentChoices = 5;
} // namespace calibration

// The six octets of a calibration command: channel, step code, value as a
// little-endian single.
QByteArray calibrationCommand(quint8 channel, quint8 step, float value);

// The fixed step list, separators (empty items) included.
const QStringList &calibrationListItems();

// Steps that take a typed value: the output current points (in µA) and the
// thermometer reading. Fixed by list index, not by text.
bool calibrationTakesValue(int listIndex);
// Caption of the calibrate button while the item is selected.
QString calibrationButtonCaption(int listIndex);

// The step code formed by the first two characters of an item; nullopt for a
// separator or an item that does not start with a number.
std::optional<int> calibrationStepCode(const QString &itemText);

// The value sent for a typed text: either separator accepted, microamperes
// converted to milliamperes except for the thermometer step, stored as a
// single. nullopt when the text is not a number or does not fit a single
// (too large, or so small it would be 0).
std::optional<float> calibrationValue(int listIndex, const QString &text);

// One coefficient group of a channel: ten registers holding five reals.
struct CoefficientGroup
{
    int offset;         // from the channel's first register
    const char *suffix; // edit name: "EditCAN" + n + suffix + point
    int waitMs;
};
std::span<const CoefficientGroup> coefficientGroups();
quint16 coefficientFirstRegister(int channel); // 10001 + 1000 x channel
QString coefficientEditName(int channel, const CoefficientGroup &group, int point);

// Output test: "Установить ток" and "Выход". nullopt when a list has no
// selection (nothing is sent then).
std::optional<QByteArray> outputCurrentCommand(int channelIndex, int currentIndex);
std::optional<QByteArray> outputEndCommand(int channelIndex);

// The fixed pen commands, one register each.
struct PenCommand
{
    const char *button;
    quint16 reg;
    qint16 value; // sent as two octets, low first
    int waitMs;
    // Reported in the nudge status text instead of a box.
    bool statusOnly;
    const char *success; // info box text (UTF-8); unused for nudges
    const char *failure; // error box text
    const char *what;    // the command as the write journal names it
};
std::span<const PenCommand> penCommands();
const PenCommand *penCommandFor(const QString &button);
QByteArray penPayload(qint16 value);

inline constexpr quint16 kPenCheckRegister = 10011;
inline constexpr int kPenCheckWaitMs = 1000;

// "Проверка, %": the two payload octets for a typed percentage, or the
// message to show.
struct PenCheck
{
    QByteArray payload;
    QString error;
};
PenCheck penCheck(const QString &text);

} // namespace vexs
