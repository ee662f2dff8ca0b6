#include "service/calibration.h"

#include "settings/encodings.h"

#include <cmath>
#include <limits>

namespace vexs {

namespace {

constexpr int kThermometerIndex = 37;

const char *const kListItems[] = {
    "01: Установите 0 мА. Нажмите кнопку калибровать.",
    "02: Установите 5 мА. Нажмите кнопку калибровать.",
    "03: Установите 10 мА. Нажмите кнопку калибровать.",
    "04: Установите 15 мА. Нажмите кнопку калибровать.",
    "05: Установите 20 мА. Нажмите кнопку калибровать.",
    "",
    "06: Установите 0 мВ. Нажмите кнопку калибровать.",
    "07: Установите 25 мВ. Нажмите кнопку калибровать.",
    "08: Установите 50 мВ. Нажмите кнопку калибровать.",
    "09: Установите 75 мВ. Нажмите кнопку калибровать.",
    "10: Установите 100м В. Нажмите кнопку калибровать.",
    "",
    "11: Установите -1.0 В. Нажмите кнопку калибровать.",
    "12: Установите -0.5 В. Нажмите кнопку калибровать.",
    "13: Установите  0.0 В. Нажмите кнопку калибровать.",
    "14: Установите  0.5 В. Нажмите кнопку калибровать.",
    "15: Установите  1.0 В. Нажмите кнопку калибровать.",
    "",
    "16: Установите  10 Ом. Нажмите кнопку калибровать.",
    "17: Установите  50 Ом. Нажмите кнопку калибровать.",
    "18: Установите  100 Ом. Нажмите кнопку калибровать.",
    "19: Установите  500 Ом. Нажмите кнопку калибровать.",
    "20: Установите  1000 Ом. Нажмите кнопку калибровать.",
    "",
    "21: Установите 3х= 50 Ом. Нажмите кнопку калибровать.",
    "",
    "22: Калибровать точку 1 вых. тока. Нажмите кнопку калибровать.",
    "23: Введите значение в мкА. Нажмите кнопку записать.",
    "24: Калибровать точку 2 вых. тока. Нажмите кнопку калибровать.",
    "25: Введите значение в мкА. Нажмите кнопку записать",
    "26: Калибровать точку 3 вых. тока. Нажмите кнопку калибровать.",
    "27: Введите значение в мкА. Нажмите кнопку записать.",
    "28: Калибровать точку 4 вых. тока. Нажмите кнопку калибровать.",
    "29: Введите значение в мкА. Нажмите кнопку записать.",
    "30: Калибровать точку 5 вых. тока. Нажмите кнопку калибровать.",
    "31: Введите значение в мкА. Нажмите кнопку записать.",
    "",
    "32: Калибровать темп.датчик. Введите значение термометра. Нажмите калибровать",
};

// Register offsets and waits of the five groups; the output current group
// starts at +42, not +40.
const CoefficientGroup kGroups[] = {
    {0, "_Iin", 5000},
    {10, "_mV", 10000},
    {20, "_V", 10000},
    {30, "_R", 10000},
    {42, "_Iout", 10000},
};

const PenCommand kPenCommands[] = {
    {"Button4", 10004, 0, 8000, false, "Перо установлено на максимум", "Ошибка калибровки",
     "Перо: на максимум"},
    {"Button6", 10005, 1950, 8000, false, "Перо установлено", "Ошибка калибровки", "Перо: установить"},
    {"Button32", 10005, -4, 200, true, "", "", "Перо: шаг -4"},
    {"Button33", 10005, 4, 200, true, "", "", "Перо: шаг +4"},
    {"Button8", 10009, 0, 2000, false, "Калибровка 100% пера произведена.",
     "Ошибка калибровки 100% пера", "Перо: калибровка 100%"},
    {"Button10", 10010, 0, 2000, false, "Калибровка 0% пера произведена.",
     "Ошибка калибровки 0% пера", "Перо: калибровка 0%"},
};

} // namespace

QByteArray calibrationCommand(quint8 channel, quint8 step, float value)
{
    QByteArray payload(6, '\0');
    payload[0] = char(channel);
    payload[1] = char(step);
    writeFloat(payload, 2, value);
    return payload;
}

const QStringList &calibrationListItems()
{
    static const QStringList items = [] {
        QStringList list;
        for (const char *item : kListItems)
            list << QString::fromUtf8(item);
        return list;
    }();
    return items;
}

bool calibrationTakesValue(int listIndex)
{
    switch (listIndex) {
    case 27: case 29: case 31: case 33: case 35: case kThermometerIndex:
        return true;
    default:
        return false;
    }
}

QString calibrationButtonCaption(int listIndex)
{
    return calibrationTakesValue(listIndex) ? QStringLiteral("Записать")
                                            : QStringLiteral("Калибровать");
}

std::optional<int> calibrationStepCode(const QString &itemText)
{
    if (itemText.size() < 2)
        return std::nullopt;
    bool ok = false;
    const int code = itemText.left(2).toInt(&ok, 10);
    if (!ok || code < 0 || code > 255)
        return std::nullopt;
    return code;
}

std::optional<float> calibrationValue(int listIndex, const QString &text)
{
    const std::optional<double> number = parseNumber(text);
    if (!number)
        return std::nullopt;
    const double value = listIndex == kThermometerIndex ? *number : *number / 1000.0;
    if (std::fabs(value) > double(std::numeric_limits<float>::max()))
        return std::nullopt;
    // So small that it would go out as 0 while the edit shows another value.
    const float single = float(value);
    if (single == 0.0f && value != 0.0)
        return std::nullopt;
    return single;
}

std::span<const CoefficientGroup> coefficientGroups()
{
    return kGroups;
}

quint16 coefficientFirstRegister(int channel)
{
    return quint16(10001 + 1000 * channel);
}

QString coefficientEditName(int channel, const CoefficientGroup &group, int point)
{
    return QStringLiteral("EditCAN") + QString::number(channel) + QLatin1String(group.suffix)
           + QString::number(point);
}

std::optional<QByteArray> outputCurrentCommand(int channelIndex, int currentIndex)
{
    if (channelIndex < 0 || channelIndex >= calibration::kChannels || currentIndex < 0
        || currentIndex >= calibration::kCurrentChoices)
        return std::nullopt;
    return calibrationCommand(quint8(channelIndex + 1),
                              quint8(calibration::kFirstCurrentStep + currentIndex), 0.0f);
}

std::optional<QByteArray> outputEndCommand(int channelIndex)
{
    if (channelIndex < 0 || channelIndex >= calibration::kChannels)
        return std::nullopt;
    return calibrationCommand(quint8(channelIndex + 1), calibration::kOutputEndStep, 0.0f);
}

std::span<const PenCommand> penCommands()
{
    return kPenCommands;
}

const PenCommand *penCommandFor(const QString &button)
{
    for (const PenCommand &command : kPenCommands) {
        if (button == QLatin1String(command.button))
            return &command;
    }
    return nullptr;
}

QByteArray penPayload(qint16 value)
{
    QByteArray payload(2, '\0');
    writeInt16(payload, 0, value);
    return payload;
}

PenCheck penCheck(const QString &text)
{
    bool ok = false;
    const int percent = text.trimmed().toInt(&ok, 10);
    if (!ok)
        return {QByteArray(), QStringLiteral("Неверно указан процент")};
    if (percent < 0 || percent > 100)
        return {QByteArray(), QStringLiteral("Значение выходит за диапазон")};
    return {penPayload(qint16(percent)), QString()};
}

} // namespace vexs
