#pragma once

// Which recorder the settings pages are of: the one a bulk read came from
// (serial number, date of manufacture, board versions, address, link, time)
// or the file opened into them. An engineer with several recorders on a line
// must see it before writing a page anywhere.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace vexs {

class ILinkSettings;
struct Identification;

struct PagesOrigin
{
    enum class Kind { None, Device, File };
    Kind kind = Kind::None;
    QString serial;   // without padding; empty when unknown
    QDate made;       // invalid when unknown
    QString versions; // "процессор 2.3, индикация 10.5, АЦП 1.2"
    int address = 0;  // the slave address read from (Device)
    QString link;     // "RS-485, COM1, 115200 бит/с" or "Ethernet" (Device)
    QString recorder; // recorderOf() of the link read from (Device)
    QDateTime at;     // when read, or when the file was made
    QString fileName; // File
    // The identification's 22 octets as read, or as the file has them;
    // empty when unknown. A file saved from the pages carries them.
    QByteArray identification;

    static PagesOrigin ofDevice(const Identification &id, const ILinkSettings &link, const QDateTime &at);
    static PagesOrigin ofFile(const QString &fileName, const QString &serial, const QDateTime &madeAt);

    // The root page's lines; "Настройки прибора не считаны" for none.
    QStringList lines() const;
    // " — прибор №310017" for the window's title; empty without a serial.
    QString titleSuffix() const;
    // The question before a page write to another address than the pages
    // were read from; empty when no question is needed.
    QString otherAddressQuestion(const ILinkSettings &link) const;
};

} // namespace vexs
