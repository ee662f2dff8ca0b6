#pragma once

// The identification block (holding registers 10012..10022): date of
// manufacture as ASCII digits, serial number, kit options and board versions.
// Decoding and encoding are kept apart from the widgets so that the bulk read
// and the identification page share them and tests can drive them directly.

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace vexs {

class IControls;

namespace ident {
inline constexpr quint16 kFirstRegister = 10012;
inline constexpr quint16 kRegisterCount = 11;  // read: 22 data bytes
inline constexpr int kReplySize = 2 * kRegisterCount + 5;
inline constexpr quint16 kWriteCount = 9;      // write: bytes 0..17, versions are read-only
inline constexpr int kWriteBytes = 2 * kWriteCount;
inline constexpr int kSerialOffset = 6;
inline constexpr int kSerialLength = 6;
inline constexpr int kKitOffset = 12;
inline constexpr int kKitOptions = 6;

// Control names of the identification page.
inline constexpr const char *DateEdit = "DateEdit2";
inline constexpr const char *SerialEdit = "MaskEditManufSN";
inline constexpr const char *KitList = "ComboBoxManuf"; // + 1..6
inline constexpr const char *VerProc = "StaticTextVerProc";
inline constexpr const char *VerInd = "StaticTextVerInd";
inline constexpr const char *VerDac = "StaticTextVerDac";

// The items of kit option list `option` (0-based); the bracketed code is
// part of the item text.
QStringList kitItems(int option);
} // namespace ident

// The date digits of the block, day, month and year within the century.
struct IdentificationDate
{
    // The first byte (in block order) that is not an ASCII digit; the date
    // is then unknown.
    std::optional<char> notDigit;
    // Null when a byte is not a digit or the digits name no real date.
    QDate date;
};

// The century comes from currentYear (the workstation clock).
IdentificationDate decodeIdentificationDate(const QByteArray &data, int currentYear);

struct Identification
{
    IdentificationDate date;
    QString serial;                     // bytes 6..11 as characters
    std::array<quint8, ident::kKitOptions> kitOptions{}; // item indexes, unchecked
    quint8 versionProc = 0;             // byte 19
    quint8 versionInd = 0;              // byte 20
    quint8 versionDac = 0;              // byte 21
};

// The block from a read reply; nullopt unless the reply has the exact length
// of an 11-register read.
std::optional<Identification> decodeIdentificationReply(const QByteArray &reply, int currentYear);
// The block from its 22 data bytes.
Identification decodeIdentification(const QByteArray &data, int currentYear);

// Shows everything but the date: serial, kit options, board versions.
void showIdentificationBody(IControls &controls, const Identification &block);

// Text for the conversion error of a date byte that is not a digit: the
// character itself, or "#n" for a control byte that would not be visible.
QString notDigitText(char c);

// The 18 bytes of the write: date digits (year modulo 100), the serial text,
// one item index per kit option list (0xFF for no selection). nullopt when
// the serial is not six characters long or cannot be carried as bytes.
std::optional<QByteArray> encodeIdentification(const QDate &date, const QString &serial,
                                               const std::array<int, ident::kKitOptions> &kit);

} // namespace vexs
