#include "settings/raw_registers.h"

#include "link/line_speed.h"
#include "settings/encodings.h"
#include "ui/texts.h"

#include <QRegularExpression>

#include <bit>
#include <charconv>
#include <limits>
#include <stdexcept>

namespace vexs::raw {

namespace {

const QString kWordForms = QStringLiteral("нужно число от 0 до 65535 или от 0x0 до 0xFFFF");

// A differing register named in a verdict; more would bury the message.
constexpr int kDifferencesShown = 8;

QString wordText(quint16 word)
{
    return QStringLiteral("0x") + QString::number(word, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

quint16 wordAt(const QByteArray &data, int k)
{
    return quint16(quint8(data[k]) << 8 | quint8(data[k + 1]));
}

// The shortest text that reads back as the same float.
QString realText(float value, QChar decimalPoint)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (decimalPoint != QLatin1Char('.'))
        text.replace(QLatin1Char('.'), decimalPoint);
    return text;
}

QString escapedText(const QByteArray &octets)
{
    QString text;
    for (const QChar c : fromCp1251(octets)) {
        if (c == QLatin1Char('\\'))
            text += QLatin1String("\\\\");
        else if (c.category() == QChar::Other_Control)
            text += QStringLiteral("\\x") + QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
}

// A cause in the middle of a sentence.
QString lowered(const QString &cause)
{
    return cause.left(1).toLower() + cause.mid(1);
}

QString differences(const WriteCheck &check)
{
    QStringList lines;
    int found = 0;
    const QByteArray &read = *check.readBack;
    for (int k = 0; k + 1 < check.written.size() && k + 1 < read.size(); k += 2) {
        if (wordAt(check.written, k) == wordAt(read, k))
            continue;
        if (++found <= kDifferencesShown) {
            lines << QStringLiteral("регистр %1: записано %2, прочитано %3")
                         .arg(check.first + k / 2)
                         .arg(wordText(wordAt(check.written, k)), wordText(wordAt(read, k)));
        }
    }
    if (found > kDifferencesShown)
        lines << QStringLiteral("и ещё регистров: %1").arg(found - kDifferencesShown);
    return lines.join(QStringLiteral("; "));
}

} // namespace

std::optional<View> viewNamed(const QString &name)
{
    const int index = int(viewNames().indexOf(name.toLower()));
    return index < 0 ? std::nullopt : std::optional(View(index));
}

std::optional<Order> orderNamed(const QString &name)
{
    if (name.compare(QLatin1String("device"), Qt::CaseInsensitive) == 0)
        return Order::Device;
    if (name.compare(QLatin1String("swapped"), Qt::CaseInsensitive) == 0)
        return Order::Swapped;
    return std::nullopt;
}

QStringList viewNames()
{
    return {QStringLiteral("hex"), QStringLiteral("u16"), QStringLiteral("i16"), QStringLiteral("u32"),
            QStringLiteral("i32"), QStringLiteral("float"), QStringLiteral("text")};
}

QStringList viewItems()
{
    return {QStringLiteral("Шестнадцатеричный (hex)"),   QStringLiteral("16 бит без знака (u16)"),
            QStringLiteral("16 бит со знаком (i16)"),    QStringLiteral("32 бита без знака (u32)"),
            QStringLiteral("32 бита со знаком (i32)"),   QStringLiteral("Вещественное (float)"),
            QStringLiteral("Текст Windows-1251 (text)")};
}

QStringList orderItems()
{
    return {QStringLiteral("Как в приборе (младший байт первым)"),
            QStringLiteral("Обратный (старший байт первым)")};
}

QStringList tableItems()
{
    return {QStringLiteral("Регистры хранения (0x03)"), QStringLiteral("Входные регистры (0x04)")};
}

bool isWide(View view)
{
    return view == View::U32 || view == View::I32 || view == View::Float;
}

namespace {

QString rangeRefusal(qint64 first, qint64 count)
{
    if (first < 0 || first > kLastRegister)
        return QStringLiteral("Первый регистр должен быть от 0 до %1").arg(kLastRegister);
    if (first + count - 1 > kLastRegister)
        return QStringLiteral("Регистры %1..%2 выходят за последний регистр %3")
            .arg(first)
            .arg(first + count - 1)
            .arg(kLastRegister);
    return QString();
}

} // namespace

QString readRefusal(qint64 first, qint64 count, View view)
{
    if (count < 1 || count > kMaxReadCount)
        return QStringLiteral("Количество регистров должно быть от 1 до %1").arg(kMaxReadCount);
    if (const QString range = rangeRefusal(first, count); !range.isEmpty())
        return range;
    if (isWide(view) && count % 2 != 0)
        return QStringLiteral("Значение %1 занимает два регистра: количество должно быть чётным")
            .arg(viewNames().at(int(view)));
    return QString();
}

QString writeRefusal(qint64 first, qint64 count)
{
    if (count < 1)
        return QStringLiteral("Нет значений для записи");
    if (count > kMaxWriteCount)
        return QStringLiteral("За один запрос можно записать не более %1 регистров, значений: %2")
            .arg(kMaxWriteCount)
            .arg(count);
    return rangeRefusal(first, count);
}

std::optional<qint64> parseUnsigned(const QString &text)
{
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    const QString trimmed = text.trimmed();
    const bool hex = trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const int base = hex ? 16 : 10;
    const QStringView digits = QStringView(trimmed).mid(hex ? 2 : 0);
    if (digits.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : digits) {
        const char16_t u = c.unicode();
        int digit = -1;
        if (u >= u'0' && u <= u'9')
            digit = u - u'0';
        else if (hex && u >= u'a' && u <= u'f')
            digit = 10 + (u - u'a');
        else if (hex && u >= u'A' && u <= u'F')
            digit = 10 + (u - u'A');
        if (digit < 0)
            return std::nullopt;
        value = value <= (kMax - digit) / base ? value * base + digit : kMax;
    }
    return value;
}

Words parseWords(const QStringList &items)
{
    Words result;
    for (const QString &item : items) {
        const std::optional<qint64> value = parseUnsigned(item);
        // A refusal keeps none of the values before it: nothing is half sent.
        if (!value) {
            result.words.clear();
            result.refusal = QStringLiteral("«%1» — не значение регистра: %2").arg(item, kWordForms);
            return result;
        }
        if (*value > 0xFFFF) {
            result.words.clear();
            result.refusal = QStringLiteral("Значение %1 не помещается в 16 бит: %2").arg(item, kWordForms);
            return result;
        }
        result.words << quint16(*value);
    }
    return result;
}

Words parseWords(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
    return parseWords(text.split(separators, Qt::SkipEmptyParts));
}

QByteArray wordOctets(const QList<quint16> &words)
{
    QByteArray octets;
    octets.reserve(2 * words.size());
    for (const quint16 word : words) {
        octets.append(char(word >> 8));
        octets.append(char(word & 0xFF));
    }
    return octets;
}

QString octetText(const QByteArray &octets)
{
    return QString::fromLatin1(octets.toHex(' ').toUpper());
}

QString rangeText(int first, int count)
{
    return count == 1 ? QStringLiteral("регистр %1").arg(first)
                      : QStringLiteral("регистры %1..%2").arg(first).arg(first + count - 1);
}

QList<Shown> show(const QByteArray &data, int first, View view, Order order, QChar decimalPoint)
{
    QList<Shown> shown;
    if (view == View::Text) {
        if (!data.isEmpty())
            shown.append({first, int(data.size() + 1) / 2, octetText(data), escapedText(data)});
        return shown;
    }
    const int step = isWide(view) ? 4 : 2;
    for (int k = 0; k + step <= data.size(); k += step) {
        quint32 value = 0;
        for (int i = 0; i < step; ++i) {
            const int shift = order == Order::Device ? 8 * i : 8 * (step - 1 - i);
            value |= quint32(quint8(data[k + i])) << shift;
        }
        QString text;
        switch (view) {
        case View::Hex: text = wordText(wordAt(data, k)); break;
        case View::U16: text = QString::number(quint16(value)); break;
        case View::I16: text = QString::number(qint16(quint16(value))); break;
        case View::U32: text = QString::number(value); break;
        case View::I32: text = QString::number(qint32(value)); break;
        case View::Float: text = realText(std::bit_cast<float>(value), decimalPoint); break;
        case View::Text: break;
        }
        shown.append({first + k / 2, step / 2, octetText(data.mid(k, step)), text});
    }
    return shown;
}

std::optional<QByteArray> readRegisters(ModbusMaster &modbus, const ILinkSettings &link, Table table,
                                        int first, int count)
{
    if (const QString refusal = readRefusal(first, count, View::Hex); !refusal.isEmpty())
        throw std::invalid_argument(refusal.toStdString());
    const int waitMs = readWaitMs(link, kReadWaitMs, count);
    const QByteArray reply = table == Table::Input ? modbus.ReadInputRegisters(quint16(first), quint16(count), waitMs)
                                                   : modbus.ReadHoldingRegisters(quint16(first), quint16(count), waitMs);
    const std::optional<ReadReply> read = ReadReply::of(reply, quint16(count));
    if (!read)
        return std::nullopt;
    return read->data();
}

QString writeQuestion(quint8 slave, int first, const QList<quint16> &words)
{
    const QByteArray data = wordOctets(words);
    const QByteArray request = frames::writeRequest(slave, quint16(first), quint16(words.size()), data);
    return QStringLiteral("Записать в %1 прибора с адресом %2?\nДанные: %3\nЗапрос (функция 0x10): %4")
        .arg(rangeText(first, int(words.size())))
        .arg(slave)
        .arg(octetText(data), octetText(request));
}

WriteCheck writeAndReadBack(ModbusMaster &modbus, const ILinkSettings &link, int first,
                            const QList<quint16> &words)
{
    const int count = int(words.size());
    if (const QString refusal = writeRefusal(first, count); !refusal.isEmpty())
        throw std::invalid_argument(refusal.toStdString());
    WriteCheck check;
    check.first = first;
    check.written = wordOctets(words);
    const int requestOctets =
        int(frames::writeRequest(link.slaveAddress(), quint16(first), quint16(count), check.written).size());
    const int waitMs = lineWaitMs(kWriteWaitMs, requestOctets, frames::kWriteReplySize,
                                  link.interfaceIndex() == 0, lineSpeedForIndex(link.baudIndex()));
    modbus.WriteMultipleRegisters(quint16(first), quint16(count), check.written, waitMs);
    check.write = modbus.lastOutcome();
    if (!check.sent())
        return check;
    check.readBack = readRegisters(modbus, link, Table::Holding, first, count);
    check.read = modbus.lastOutcome();
    return check;
}

Verdict verdictOf(const WriteCheck &check)
{
    if (!check.sent())
        return Verdict::NoLink;
    if (check.readBack)
        return check.verified() ? Verdict::Verified : Verdict::Differs;
    return check.acknowledged() ? Verdict::Unverified : Verdict::NoLink;
}

QString verdictText(const WriteCheck &check)
{
    const QString range = rangeText(check.first, int(check.written.size() / 2));
    const QString unacknowledged =
        check.acknowledged() ? QString()
                             : QStringLiteral("\nПрибор не подтвердил запись: ") + lowered(causeText(check.write));
    switch (verdictOf(check)) {
    case Verdict::Verified:
        return QStringLiteral("Записано и проверено чтением: ") + range + unacknowledged;
    case Verdict::Differs:
        return QStringLiteral("Прочитано не то, что записано: ") + differences(check) + unacknowledged;
    case Verdict::Unverified:
        return QStringLiteral("Запись подтверждена, но не проверена: чтение не удалось: ")
               + lowered(causeText(check.read));
    case Verdict::NoLink:
        break;
    }
    QString text = kNoLink;
    if (const QString cause = causeText(check.write); !cause.isEmpty())
        text += QLatin1Char('\n') + cause;
    if (check.sent())
        text += QLatin1Char('\n') + kStateUnknown;
    return text;
}

QString journalTitle(int first, int count)
{
    if (count <= 1)
        return QStringLiteral("Регистр %1").arg(first);
    return QStringLiteral("Регистры %1–%2").arg(first).arg(first + count - 1);
}

QList<JournalChange> journalChanges(const WriteCheck &check)
{
    QList<JournalChange> out;
    for (int k = 0; k + 1 < check.written.size(); k += 2) {
        const quint16 word = quint16((quint8(check.written[k]) << 8) | quint8(check.written[k + 1]));
        out << JournalChange{QStringLiteral("Регистр %1").arg(check.first + k / 2), QString(),
                             QStringLiteral("0x")
                                 + QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper()};
    }
    return out;
}

} // namespace vexs::raw
