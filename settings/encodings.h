#pragma once

// Value encodings of the recorder's register payloads and the conversions
// between edit texts and numbers. Payloads are plain byte images: every
// multi-byte value travels least significant byte first, text fields are
// Windows-1251 with a fixed width and a pad byte.

#include <QByteArray>
#include <QDate>
#include <QString>

#include <optional>

namespace vexs {

// Every ',' and '.' becomes the decimal separator of QLocale() (the default
// locale), so both are accepted whatever the workstation's locale is.
QString NormalizeDecimalSeparator(const QString &text);

// Pad to width; a text that is already long enough is returned unchanged
// (never cut).
QString PadRight(const QString &text, int width, QChar pad);
QByteArray PadRight(const QByteArray &bytes, int width, char pad);
QString PadLeft(const QString &text, int width, QChar pad);

// Exactly n bytes from data, zero bytes kept.
QByteArray BytesToString(const void *data, int n);

// A real as shown in edits and grid cells: fixed notation with the locale's
// decimal separator, no group separator, rounded to at most 6 significant
// digits and at most 3 decimals and printed with exactly 3 decimals
// ("12,500", "-20,000", "12345,700" with a decimal comma). A value that
// rounds to zero is shown without a sign. A value whose integer part would
// have more than 6 digits is shown as a mantissa of at most 6 significant
// digits without trailing zeros, "E", the exponent's sign and its digits
// without leading zeros: "1,23457E+7", "1E+10". Non-finite values show as
// "NAN", "INF" and "-INF". parseReal accepts every form this produces
// except the non-finite ones.
QString formatReal(float value);

// A typed number: blanks trimmed, the separator normalised, converted by
// QLocale() with group separators refused. Empty text, anything that is not
// a number, and a non-finite value give nullopt.
std::optional<double> parseNumber(const QString &text);

// Text typed into an edit or grid cell: parseNumber's value stored as single
// precision. A value that does not fit single precision (1e39) gives nullopt
// as well.
std::optional<float> parseReal(const QString &text);

// Calibration coefficients: up to 15 significant digits, the shortest form
// without trailing zeros, the locale's decimal separator; fixed notation
// when |v| >= 0.00001 and the integer part has at most 15 digits, else a
// mantissa, "E", the exponent's sign and its digits ("1,5E-6", "1E+20").
// Zero is "0"; non-finite values as in formatReal.
QString formatGeneral(double value);

// Little-endian access at an offset of a byte array. Reads and writes past
// the end are programming faults and throw std::out_of_range.
float readFloat(const QByteArray &bytes, int offset);
void writeFloat(QByteArray &bytes, int offset, float value);
qint16 readInt16(const QByteArray &bytes, int offset);
void writeInt16(QByteArray &bytes, int offset, qint16 value);

// Windows-1251, the code page of the device's text fields. toCp1251 gives
// nullopt when any character has no byte in the code page (nothing is
// substituted). The byte 0x98, which the code page leaves unassigned, maps
// to U+0098 both ways so that no byte read from the device is lost.
std::optional<QByteArray> toCp1251(const QString &text);
QString fromCp1251(const QByteArray &bytes);
// The first character of text (a whole surrogate pair when it is one) that
// Windows-1251 cannot carry; empty when every character can be carried.
QString firstCharacterNotInCp1251(const QString &text);

// The code of the first control character of text (below 0x20, or 0x7F),
// or -1. The device shows none of them, and its pad bytes are among them:
// a text would end early where one stood. Only a text typed into a file is
// held to it: the pages send back whatever octets the device gave them.
int firstControlCode(const QString &text);

// A text field of the given width: the text is the bytes up to the first pad
// byte, at most width. With pad 0x13 a zero byte counts as a character.
QString decodeTextField(const QByteArray &field, int width, char pad);
// The Windows-1251 bytes of text padded on the right with pad to width; only
// the first width bytes are kept. nullopt when a character cannot be carried.
std::optional<QByteArray> encodeTextField(const QString &text, int width, char pad);

// Board version byte as shown: v div 10, '.', v mod 10 (23 -> "2.3").
QString versionText(quint8 version);

// The device keeps only a date's year within its century, and a read puts
// that year in the workstation's century: a date outside it would come back
// as another. The refusal of such a date ("Год должен быть от 2000 до
// 2099"), or empty.
QString dateOutsideCentury(const QDate &date);

// An address as its masked edit holds it, "ddd.ddd.ddd.ddd": false when a
// group is past 255. A text of any other shape (one the device sent that
// did not fit the mask) is not judged here.
bool addressGroupsFit(const QString &text);

// ASCII digit texts (identification block): the value of the digits, or
// nullopt when any byte is not '0'..'9' or the text is empty.
std::optional<int> digitTextValue(const QByteArray &digits);
// value as width ASCII digits, zero-padded on the left; higher digits that do
// not fit are dropped (value mod 10^width). Negative values count as 0.
QByteArray digitText(int value, int width);

} // namespace vexs
