#include "settings/encodings.h"

#include <QLocale>
#include <QtEndian>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace vexs {

namespace {

QString decimalSeparator()
{
    return QLocale().decimalPoint();
}

// |value| rounded to `significant` digits: the digits without a point and the
// decimal exponent of the first one (1234.5 with 3 digits -> "123", 3).
// std::to_chars is used because it ignores the C locale, which
// QCoreApplication sets from the environment.
struct Decomposed
{
    std::string digits;
    int exponent = 0;
};

Decomposed decompose(double magnitude, int significant)
{
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                      std::chars_format::scientific, significant - 1);
    const std::string text(buffer.data(), result.ptr);
    const auto e = text.find('e');
    Decomposed d;
    for (std::size_t i = 0; i < e; ++i) {
        if (text[i] != '.')
            d.digits += text[i];
    }
    d.exponent = std::stoi(text.substr(e + 1));
    return d;
}

std::string fixedText(double magnitude, int decimals)
{
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                      std::chars_format::fixed, decimals);
    return std::string(buffer.data(), result.ptr);
}

QString nonFiniteText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// Mantissa digits without trailing zeros, "E", sign, exponent digits.
QString exponentText(bool negative, const Decomposed &d)
{
    std::string digits = d.digits;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    QString text = negative ? QStringLiteral("-") : QString();
    text += QLatin1Char(digits[0]);
    if (digits.size() > 1)
        text += decimalSeparator() + QString::fromLatin1(digits.c_str() + 1);
    text += QLatin1Char('E');
    text += d.exponent < 0 ? QLatin1Char('-') : QLatin1Char('+');
    text += QString::number(std::abs(d.exponent));
    return text;
}

QString withLocaleSeparator(const std::string &plain)
{
    QString text = QString::fromLatin1(plain.c_str());
    text.replace(QLatin1Char('.'), decimalSeparator());
    return text;
}

bool allZeroDigits(const std::string &text)
{
    for (char c : text) {
        if (c >= '1' && c <= '9')
            return false;
    }
    return true;
}

void checkRange(const QByteArray &bytes, int offset, int width)
{
    if (offset < 0 || offset > bytes.size() - width)
        throw std::out_of_range("byte offset outside the payload");
}

// Windows-1251 bytes 0x80..0xFF. 0x98 is unassigned in the code page and is
// carried as U+0098.
constexpr std::array<char16_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

std::optional<char> cp1251Byte(char16_t unicode)
{
    if (unicode < 0x80)
        return static_cast<char>(unicode);
    for (std::size_t i = 0; i < kCp1251High.size(); ++i) {
        if (kCp1251High[i] == unicode)
            return static_cast<char>(0x80 + i);
    }
    return std::nullopt;
}

} // namespace

QString NormalizeDecimalSeparator(const QString &text)
{
    const QString separator = decimalSeparator();
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char(',') || c == QLatin1Char('.'))
            result += separator;
        else
            result += c;
    }
    return result;
}

QString PadRight(const QString &text, int width, QChar pad)
{
    if (text.size() >= width)
        return text;
    return text + QString(width - text.size(), pad);
}

QByteArray PadRight(const QByteArray &bytes, int width, char pad)
{
    if (bytes.size() >= width)
        return bytes;
    return bytes + QByteArray(width - bytes.size(), pad);
}

QString PadLeft(const QString &text, int width, QChar pad)
{
    if (text.size() >= width)
        return text;
    return QString(width - text.size(), pad) + text;
}

QByteArray BytesToString(const void *data, int n)
{
    if (n <= 0)
        return QByteArray();
    return QByteArray(static_cast<const char *>(data), n);
}

QString formatReal(float value)
{
    const double v = value;
    if (!std::isfinite(v))
        return nonFiniteText(v);
    const double magnitude = std::fabs(v);
    const Decomposed d = decompose(magnitude, 6);
    if (d.exponent >= 6)
        return exponentText(v < 0, d);
    // 6 significant digits leave 5 - exponent decimals; never more than 3.
    const int decimals = d.exponent >= 0 ? std::min(3, 5 - d.exponent) : 3;
    std::string text = fixedText(magnitude, decimals);
    if (decimals == 0)
        text += '.';
    text.append(3 - decimals, '0');
    if (v < 0 && !allZeroDigits(text))
        text.insert(text.begin(), '-');
    return withLocaleSeparator(text);
}

std::optional<double> parseNumber(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(NormalizeDecimalSeparator(trimmed), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<float> parseReal(const QString &text)
{
    const std::optional<double> value = parseNumber(text);
    if (!value)
        return std::nullopt;
    const float single = static_cast<float>(*value);
    // A value just above the largest float may still round down to it; one
    // that rounds to infinity does not fit, nor one so small that it would
    // go out as 0 while the edit still shows it.
    if (!std::isfinite(single) || (single == 0.0f && *value != 0.0))
        return std::nullopt;
    return single;
}

QString dateOutsideCentury(const QDate &date)
{
    const int first = QDate::currentDate().year() / 100 * 100;
    if (date.year() >= first && date.year() <= first + 99)
        return QString();
    return QStringLiteral("Год должен быть от %1 до %2").arg(first).arg(first + 99);
}

bool addressGroupsFit(const QString &text)
{
    const QStringList groups = text.split(u'.');
    if (text.size() != 15 || groups.size() != 4)
        return true;
    for (const QString &group : groups) {
        bool ok = false;
        const int value = group.toInt(&ok, 10);
        if (ok && value > 255)
            return false;
    }
    return true;
}

QString formatGeneral(double value)
{
    if (!std::isfinite(value))
        return nonFiniteText(value);
    if (value == 0)
        return QStringLiteral("0");
    const bool negative = value < 0;
    const double magnitude = std::fabs(value);
    const Decomposed d = decompose(magnitude, 15);
    // The threshold applies to the value as rounded to 15 digits.
    const bool tiny = d.exponent < -5;
    if (tiny || d.exponent >= 15)
        return exponentText(negative, d);
    std::string digits = d.digits;
    std::string text;
    if (d.exponent >= 0) {
        text = digits.substr(0, d.exponent + 1);
        std::string fraction = digits.substr(d.exponent + 1);
        while (!fraction.empty() && fraction.back() == '0')
            fraction.pop_back();
        if (!fraction.empty())
            text += '.' + fraction;
    } else {
        while (!digits.empty() && digits.back() == '0')
            digits.pop_back();
        text = "0." + std::string(-d.exponent - 1, '0') + digits;
    }
    if (negative)
        text.insert(text.begin(), '-');
    return withLocaleSeparator(text);
}

float readFloat(const QByteArray &bytes, int offset)
{
    checkRange(bytes, offset, 4);
    const quint32 raw = qFromLittleEndian<quint32>(bytes.constData() + offset);
    float value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

void writeFloat(QByteArray &bytes, int offset, float value)
{
    checkRange(bytes, offset, 4);
    quint32 raw;
    std::memcpy(&raw, &value, sizeof raw);
    qToLittleEndian<quint32>(raw, bytes.data() + offset);
}

qint16 readInt16(const QByteArray &bytes, int offset)
{
    checkRange(bytes, offset, 2);
    return qFromLittleEndian<qint16>(bytes.constData() + offset);
}

void writeInt16(QByteArray &bytes, int offset, qint16 value)
{
    checkRange(bytes, offset, 2);
    qToLittleEndian<qint16>(value, bytes.data() + offset);
}

std::optional<QByteArray> toCp1251(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) {
        const auto b = cp1251Byte(c.unicode());
        if (!b)
            return std::nullopt;
        bytes += *b;
    }
    return bytes;
}

QString fromCp1251(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        text += u < 0x80 ? QChar(u) : QChar(kCp1251High[u - 0x80]);
    }
    return text;
}

QString firstCharacterNotInCp1251(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (cp1251Byte(text[i].unicode()))
            continue;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            return text.mid(i, 2);
        return text.mid(i, 1);
    }
    return QString();
}

int firstControlCode(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return c.unicode();
    }
    return -1;
}

QString decodeTextField(const QByteArray &field, int width, char pad)
{
    const QByteArray bytes = field.left(width);
    const qsizetype end = bytes.indexOf(pad);
    return fromCp1251(end < 0 ? bytes : bytes.left(end));
}

std::optional<QByteArray> encodeTextField(const QString &text, int width, char pad)
{
    const auto bytes = toCp1251(text);
    if (!bytes)
        return std::nullopt;
    return PadRight(*bytes, width, pad).left(width);
}

QString versionText(quint8 version)
{
    return QString::number(version / 10) + QLatin1Char('.') + QString::number(version % 10);
}

std::optional<int> digitTextValue(const QByteArray &digits)
{
    if (digits.isEmpty() || digits.size() > 9)
        return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

QByteArray digitText(int value, int width)
{
    QByteArray text(width, '0');
    int rest = std::max(value, 0);
    for (int i = width - 1; i >= 0 && rest > 0; --i) {
        text[i] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    }
    return text;
}

} // namespace vexs
