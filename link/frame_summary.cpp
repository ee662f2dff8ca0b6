#include "link/frame_summary.h"

#include "link/modbus.h"

#include <QStringList>

namespace vexs::traffic {

namespace {

constexpr quint8 kExceptionBit = 0x80;

int octet(const QByteArray &frame, int at)
{
    return at < frame.size() ? quint8(frame.at(at)) : -1;
}

int word(const QByteArray &frame, int at)
{
    return at + 1 < frame.size() ? (quint8(frame.at(at)) << 8) | quint8(frame.at(at + 1)) : -1;
}

bool isRead(int function)
{
    return function == FunctionReadHolding || function == FunctionReadInput;
}

} // namespace

QString exceptionText(int code)
{
    switch (code) {
    case 1: return QStringLiteral(" (недопустимая функция)");
    case 2: return QStringLiteral(" (недопустимый адрес данных)");
    case 3: return QStringLiteral(" (недопустимое значение данных)");
    case 4: return QStringLiteral(" (отказ устройства)");
    default: return QString();
    }
}

QString hexText(const QByteArray &octets)
{
    return QString::fromLatin1(octets.toHex(' ').toUpper());
}

FrameFields requestFields(const QByteArray &request)
{
    FrameFields f;
    f.address = octet(request, 0);
    f.function = octet(request, 1);
    if (isRead(f.function) || f.function == FunctionWriteMultiple) {
        f.first = word(request, 2);
        f.count = word(request, 4);
    }
    if (f.function == FunctionWriteMultiple)
        f.byteCount = octet(request, 6);
    return f;
}

FrameFields replyFields(const QByteArray &reply)
{
    FrameFields f;
    if (reply.size() == 1 && reply.at(0) == ' ')
        return f;
    f.address = octet(reply, 0);
    f.function = octet(reply, 1);
    if (f.function >= 0 && (f.function & kExceptionBit))
        f.exception = octet(reply, 2);
    else if (isRead(f.function))
        f.byteCount = octet(reply, 2);
    else if (f.function == FunctionWriteMultiple) {
        f.first = word(reply, 2);
        f.count = word(reply, 4);
    }
    return f;
}

QString summaryText(const FrameFields &f)
{
    QStringList parts;
    if (f.address >= 0)
        parts << QStringLiteral("Адрес %1").arg(f.address);
    if (f.function >= 0)
        parts << QStringLiteral("функция 0x")
                     + QString::number(f.function, 16).rightJustified(2, QLatin1Char('0')).toUpper();
    if (f.first >= 0)
        parts << QStringLiteral("регистр %1").arg(f.first);
    if (f.count >= 0)
        parts << QStringLiteral("регистров %1").arg(f.count);
    if (f.byteCount >= 0)
        parts << QStringLiteral("байт %1").arg(f.byteCount);
    if (f.exception >= 0)
        parts << QStringLiteral("исключение %1").arg(f.exception) + exceptionText(f.exception);
    return parts.join(QStringLiteral(", "));
}

QString outcomeText(FrameOutcome outcome)
{
    switch (outcome) {
    case FrameOutcome::None: return QString();
    case FrameOutcome::Ok: return QStringLiteral("OK");
    case FrameOutcome::NoLink: return QStringLiteral("Нет связи");
    case FrameOutcome::NoReply: return QStringLiteral("Нет ответа");
    case FrameOutcome::Short: return QStringLiteral("Неполный ответ");
    case FrameOutcome::BadCrc: return QStringLiteral("Ошибка CRC");
    case FrameOutcome::WrongLength: return QStringLiteral("Неверная длина");
    case FrameOutcome::Exception: return QStringLiteral("Исключение");
    case FrameOutcome::Purged: return QStringLiteral("Сброшены запоздавшие байты");
    }
    return QString();
}

bool isFailure(FrameOutcome outcome)
{
    return outcome != FrameOutcome::None && outcome != FrameOutcome::Ok;
}

} // namespace vexs::traffic
