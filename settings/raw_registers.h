#pragma once

// Registers as an expert sees them: any range of holding or input registers
// read and shown in several forms, and holding registers written from typed
// words, then read back. No widgets: the registers page and vexs-cli share
// the checks, the forms and the request sequences.
//
// Register data is kept as it travels: byte k of a range lies in register
// first + k / 2, the high byte when k is even. The recorder copies its
// multi-byte values into that image least significant byte first.

#include "link/modbus.h"

#include "ui/write_journal.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace vexs {

class ILinkSettings;
class ModbusMaster;

namespace raw {

// A read carries at most 125 registers, a write (function 0x10) at most
// 123, and register numbers end at 65535.
inline constexpr int kMaxReadCount = 125;
inline constexpr int kMaxWriteCount = 123;
inline constexpr int kLastRegister = 65535;
inline constexpr int kReadWaitMs = 500;
inline constexpr int kWriteWaitMs = 500;

enum class Table { Holding, Input };

// In the order of the page's list and of vexs-cli's names.
enum class View { Hex, U16, I16, U32, I32, Float, Text };

// How the octets of a 16- or 32-bit value are read. Device: least
// significant first, as the recorder stores its values. Swapped: most
// significant first, the usual order of Modbus devices (a 32-bit value's
// high word in the first register, each register high byte first).
enum class Order { Device, Swapped };

// vexs-cli's names: hex, u16, i16, u32, i32, float, text; device, swapped.
std::optional<View> viewNamed(const QString &name);
std::optional<Order> orderNamed(const QString &name);
QStringList viewNames();
// The page's list items, by View and by Order.
QStringList viewItems();
QStringList orderItems();
QStringList tableItems();

// u32, i32 and float: one value in two registers.
bool isWide(View view);

// Why the range cannot be read in that view, or empty when it can.
QString readRefusal(qint64 first, qint64 count, View view);
// Why `count` registers from `first` cannot be written, or empty.
QString writeRefusal(qint64 first, qint64 count);

// A typed register number or word: decimal digits, or 0x and hex digits,
// blanks around it allowed, no sign. nullopt for anything else; a number
// too long for 64 bits comes back as the largest qint64, past every range.
std::optional<qint64> parseUnsigned(const QString &text);

// The words of a write, one register each: 0..65535 in decimal or
// 0x0000..0xFFFF. Each goes out high octet first, as the hex view shows it,
// so a word read in hex and typed back writes the same octets.
struct Words
{
    QList<quint16> words;
    QString refusal; // the first item that is no word, or empty
};
Words parseWords(const QStringList &items);
// Items separated by blanks, commas or semicolons.
Words parseWords(const QString &text);

// The data octets of words, as they travel.
QByteArray wordOctets(const QList<quint16> &words);
// "00 01 FF FF".
QString octetText(const QByteArray &octets);
// "регистр 100" or "регистры 100..102".
QString rangeText(int first, int count);

// One line of the shown registers: its first register, how many registers
// it takes, their octets and the value in the chosen view.
struct Shown
{
    int reg = 0;
    int registers = 1;
    QString octets;
    QString value;
};
// The data of a read from `first` in `view`: a value per register (hex,
// u16, i16), per two registers (u32, i32, float; an odd register left at
// the end is not shown), or one text of them all in Windows-1251. Hex shows
// each register as a word, high octet first, whatever the order. Control
// characters of a text are shown as \xNN and a backslash as \\, so nothing
// the recorder sends can steer a terminal. Reals come in their shortest
// exact form, with decimalPoint.
QList<Shown> show(const QByteArray &data, int first, View view, Order order,
                  QChar decimalPoint = QLatin1Char('.'));

// The registers' data; nullopt without a valid reply. The range must be one
// readRefusal accepts (std::invalid_argument otherwise: nothing is sent).
std::optional<QByteArray> readRegisters(ModbusMaster &modbus, const ILinkSettings &link, Table table,
                                        int first, int count);

// The question before a write: the registers, the data octets and the
// whole request as it will go out.
QString writeQuestion(quint8 slave, int first, const QList<quint16> &words);

// A write and the read that checks it.
struct WriteCheck
{
    int first = 0;
    QByteArray written;                 // the data octets sent
    ExchangeOutcome write;              // what became of the write
    std::optional<QByteArray> readBack; // the registers as read after it
    ExchangeOutcome read;               // what became of that read

    bool sent() const { return write.kind != FrameOutcome::NoLink; }
    bool acknowledged() const { return write.kind == FrameOutcome::Ok; }
    bool verified() const { return readBack && *readBack == written; }
};

// Writes the words from `first` (a range writeRefusal accepts, else
// std::invalid_argument) and, once the request went out, reads the
// registers back, also after a refusal or a lost acknowledgement: the read
// tells what the recorder holds.
WriteCheck writeAndReadBack(ModbusMaster &modbus, const ILinkSettings &link, int first,
                            const QList<quint16> &words);

// After a write that went out when neither it nor the read-back was answered.
inline const QString kStateUnknown =
    QStringLiteral("Запрос записи отправлен, но ответа не было ни на него, ни на чтение: что теперь в регистрах, неизвестно");

enum class Verdict {
    Verified,   // read back as written
    Differs,    // read back, and not as written
    Unverified, // acknowledged, but the read-back got no valid reply
    NoLink,     // nothing went out, or nothing came back at all
};
Verdict verdictOf(const WriteCheck &check);
// What the user is told: the verdict, and beneath it the cause of a
// missing acknowledgement or read.
QString verdictText(const WriteCheck &check);

// The write as the journal names it: "Регистры 1000–1003" ("Регистр 1000").
QString journalTitle(int first, int count);
// Each register written, with the word sent in hex; the values before the
// write are not read, so they stay unknown.
QList<JournalChange> journalChanges(const WriteCheck &check);

} // namespace raw
} // namespace vexs
