#include "settings/pages_origin.h"

#include "link/line_speed.h"
#include "link/modbus.h"
#include "settings/encodings.h"
#include "settings/identification.h"

namespace vexs {

PagesOrigin PagesOrigin::ofDevice(const Identification &id, const ILinkSettings &link, const QDateTime &at)
{
    PagesOrigin o;
    o.kind = Kind::Device;
    o.serial = QString(id.serial).remove(QChar(0)).trimmed();
    o.made = id.date.date;
    o.versions = QStringLiteral("процессор %1, индикация %2, АЦП %3")
                     .arg(versionText(id.versionProc), versionText(id.versionInd), versionText(id.versionDac));
    o.address = link.slaveAddress();
    o.link = link.interfaceIndex() == 0
                 ? QStringLiteral("RS-485, COM%1, %2 бит/с")
                       .arg(link.comPortNumber())
                       .arg(lineSpeedForIndex(link.baudIndex()))
                 : QStringLiteral("Ethernet");
    o.recorder = recorderOf(link);
    o.at = at;
    return o;
}

PagesOrigin PagesOrigin::ofFile(const QString &fileName, const QString &serial, const QDateTime &madeAt)
{
    PagesOrigin o;
    o.kind = Kind::File;
    o.fileName = fileName;
    o.serial = serial;
    o.at = madeAt;
    return o;
}

QStringList PagesOrigin::lines() const
{
    const QString serialText = serial.isEmpty() ? QStringLiteral("неизвестен") : QStringLiteral("№") + serial;
    switch (kind) {
    case Kind::None:
        return {QStringLiteral("Настройки прибора не считаны")};
    case Kind::Device:
        return {QStringLiteral("Прибор %1").arg(serialText),
                QStringLiteral("Дата изготовления: %1")
                    .arg(made.isValid() ? made.toString(QStringLiteral("dd.MM.yyyy")) : QStringLiteral("неизвестна")),
                QStringLiteral("Версии плат: %1").arg(versions),
                QStringLiteral("Адрес: %1").arg(address),
                QStringLiteral("Связь: %1").arg(link),
                QStringLiteral("Считано: %1").arg(at.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")))};
    case Kind::File:
        return {QStringLiteral("Файл: %1").arg(fileName),
                QStringLiteral("Из прибора %1").arg(serialText),
                at.isValid() ? QStringLiteral("Сохранён: %1").arg(at.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")))
                             : QStringLiteral("Время сохранения неизвестно")};
    }
    return {};
}

QString PagesOrigin::titleSuffix() const
{
    return serial.isEmpty() ? QString() : QStringLiteral(" — прибор №") + serial;
}

QString PagesOrigin::otherAddressQuestion(const ILinkSettings &link) const
{
    if (kind != Kind::Device || link.slaveAddress() == address)
        return QString();
    const QString from = serial.isEmpty() ? QStringLiteral("прибора") : QStringLiteral("прибора №") + serial;
    return QStringLiteral("Страницы считаны из %1 (адрес %2). Записать в прибор по адресу %3?")
        .arg(from)
        .arg(address)
        .arg(link.slaveAddress());
}

} // namespace vexs
