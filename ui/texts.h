#pragma once

// Texts that several pages show.

#include "link/modbus.h"

#include <QString>
#include <QStringList>

namespace vexs {

inline const QString kNoLink = QStringLiteral("Нет связи с прибором");
inline const QString kDone = QStringLiteral("Выполнено");

// "Нет связи с прибором" and, on the line beneath, what became of the last
// request, so that a refusal does not send anyone to check the cable.
inline QString noLinkText(const ModbusMaster &modbus)
{
    const QString cause = causeText(modbus.lastOutcome());
    return cause.isEmpty() ? kNoLink : kNoLink + QLatin1Char('\n') + cause;
}

// A write's outcome as one line of the journal: acknowledged, or why not.
inline QString journalOutcome(const ModbusMaster &modbus, bool acknowledged)
{
    if (acknowledged)
        return QStringLiteral("подтверждено прибором");
    return noLinkText(modbus).replace(QLatin1Char('\n'), QStringLiteral(": "));
}

// The items of every on/off list; the device's byte is the item index.
inline QStringList offOnItems()
{
    return {QStringLiteral("Выкл"), QStringLiteral("Вкл")};
}

// Serial line speeds, in the order of the interface's speed index; the blanks
// line up the unit.
inline QStringList baudRateItems()
{
    return {QStringLiteral("9600     бит/с"), QStringLiteral("19200   бит/с"),
            QStringLiteral("38400   бит/с"), QStringLiteral("57600   бит/с"),
            QStringLiteral("115200 бит/с")};
}

// "Канал n", with " -нет" for a channel whose input module is missing.
inline QString channelName(int n, bool absent)
{
    QString text = QStringLiteral("Канал ") + QString::number(n);
    if (absent)
        text += QStringLiteral(" -нет");
    return text;
}

} // namespace vexs
