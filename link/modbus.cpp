#include "link/modbus.h"

#include "link/crc.h"
#include "link/line_speed.h"

#include <algorithm>

namespace vexs {

Q_LOGGING_CATEGORY(lcLink, "vexs.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLinkFrames, "vexs.link.frames", QtWarningMsg)

QByteArray failureReply()
{
    return QByteArray(1, ' ');
}

QString recorderOf(const ILinkSettings &link)
{
    const QString line = link.interfaceIndex() == 0
                             ? QStringLiteral("COM%1").arg(link.comPortNumber())
                             : QStringLiteral("TCP");
    return line + QLatin1Char('/') + QString::number(link.slaveAddress());
}

int readWaitMs(const ILinkSettings &link, int plainMs, int registers)
{
    return lineWaitMs(plainMs, frames::kReadRequestSize, frames::readReplySize(registers),
                      link.interfaceIndex() == 0,
                      lineSpeedForIndex(link.baudIndex()));
}

bool isFailureReply(const QByteArray &reply)
{
    return reply.size() == 1;
}

std::optional<ReadReply> ReadReply::of(const QByteArray &reply, quint16 count)
{
    if (reply.size() != 2 * qsizetype(count) + 5)
        return std::nullopt;
    return ReadReply(reply, count);
}

bool isWriteAcknowledged(const QByteArray &reply)
{
    return reply.size() == frames::kWriteReplySize;
}

namespace frames {

void appendCrc(QByteArray &frame)
{
    const quint16 crc = Crc16Modbus(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
}

bool crcMatches(const QByteArray &frame)
{
    return Crc16Modbus(frame) == 0;
}

QByteArray readRequest(quint8 slave, quint8 function, quint16 first, quint16 count)
{
    QByteArray frame;
    frame.reserve(8);
    frame.append(char(slave));
    frame.append(char(function));
    frame.append(char(first >> 8));
    frame.append(char(first & 0xFF));
    frame.append(char(count >> 8));
    frame.append(char(count & 0xFF));
    appendCrc(frame);
    return frame;
}

QByteArray writeRequest(quint8 slave, quint16 first, quint16 count, const QByteArray &data)
{
    QByteArray frame;
    frame.reserve(9 + data.size());
    frame.append(char(slave));
    frame.append(char(FunctionWriteMultiple));
    frame.append(char(first >> 8));
    frame.append(char(first & 0xFF));
    frame.append(char(count >> 8));
    frame.append(char(count & 0xFF));
    // Only the low 8 bits of 2 x count fit the byte-count octet.
    frame.append(char((2 * count) & 0xFF));
    frame.append(data);
    appendCrc(frame);
    return frame;
}

int replySizeOf(const QByteArray &request)
{
    if (request.size() < 2)
        return -1;
    const quint8 function = quint8(request.at(1));
    if (function == FunctionReadHolding || function == FunctionReadInput) {
        if (request.size() < 6)
            return -1;
        return readReplySize((quint8(request.at(4)) << 8) | quint8(request.at(5)));
    }
    return function == FunctionWriteMultiple ? kWriteReplySize : -1;
}

FrameOutcome judgeReply(const QByteArray &request, const QByteArray &reply)
{
    // The exchange's one blank; a single octet from the wire that happens to
    // be a blank cannot be told from it, and is not a reply either way.
    if (reply.size() == 1 && reply.at(0) == ' ')
        return FrameOutcome::NoLink;
    if (reply.isEmpty())
        return FrameOutcome::NoReply;
    // Address, function and CRC: the least a frame can be.
    constexpr int kSmallestFrame = 4;
    constexpr quint8 kExceptionBit = 0x80;
    const int expected = replySizeOf(request);
    if (expected < 0 || reply.size() == expected) {
        if (reply.size() < kSmallestFrame)
            return FrameOutcome::Short;
        // Checked first, so that what the request operations accept is
        // exactly what the length and the CRC allow.
        if (crcMatches(reply))
            return FrameOutcome::Ok;
    }
    if (request.size() >= 2 && reply.size() >= 2
        && quint8(reply.at(1)) == (quint8(request.at(1)) | kExceptionBit)) {
        if (reply.size() < kExceptionReplySize)
            return FrameOutcome::Short;
        if (reply.size() > kExceptionReplySize)
            return FrameOutcome::WrongLength;
        return crcMatches(reply) ? FrameOutcome::Exception : FrameOutcome::BadCrc;
    }
    if (expected < 0 || reply.size() == expected)
        return FrameOutcome::BadCrc;
    if (reply.size() > expected)
        return FrameOutcome::WrongLength;
    // A shorter whole frame is the device answering something else; a
    // shorter broken one was cut off on the way.
    return reply.size() >= kSmallestFrame && crcMatches(reply) ? FrameOutcome::WrongLength
                                                               : FrameOutcome::Short;
}

} // namespace frames

QString causeText(const ExchangeOutcome &o)
{
    switch (o.kind) {
    case FrameOutcome::None:
    case FrameOutcome::Ok:
    case FrameOutcome::Purged:
        return QString();
    case FrameOutcome::NoLink:
        return o.noLink.isEmpty() ? QStringLiteral("Нет соединения с портом или шлюзом") : o.noLink;
    case FrameOutcome::NoReply:
        return QStringLiteral("Нет ответа за %1 мс").arg(o.waitMs);
    case FrameOutcome::Short:
        return QStringLiteral("Ответ неполный (получено байт: %1)").arg(o.octets);
    case FrameOutcome::BadCrc:
        return QStringLiteral("Ответ с ошибкой CRC");
    case FrameOutcome::WrongLength:
        return QStringLiteral("Ответ другой длины или от другого адреса (получено байт: %1)").arg(o.octets);
    case FrameOutcome::Exception:
        return QStringLiteral("Прибор ответил исключением %1").arg(o.exception) + traffic::exceptionText(o.exception);
    }
    return QString();
}

bool ModbusMaster::judge(const QByteArray &request, const QByteArray &reply, int waitMs)
{
    m_outcome = ExchangeOutcome{frames::judgeReply(request, reply), -1, waitMs, int(reply.size()),
                                QString()};
    if (m_outcome.kind == FrameOutcome::Exception)
        m_outcome.exception = quint8(reply.at(2));
    if (m_outcome.kind == FrameOutcome::NoLink) {
        m_outcome.octets = 0;
        if (m_noLinkCause)
            m_outcome.noLink = m_noLinkCause();
    }
    return m_outcome.kind == FrameOutcome::Ok;
}

ModbusMaster::ModbusMaster(IExchange &exchange, const ILinkSettings &settings)
    : m_exchange(exchange), m_settings(settings)
{
}

QByteArray ModbusMaster::ReadHoldingRegisters(quint16 first, quint16 count, int waitMs)
{
    return read(FunctionReadHolding, first, count, waitMs);
}

QByteArray ModbusMaster::ReadInputRegisters(quint16 first, quint16 count, int waitMs)
{
    return read(FunctionReadInput, first, count, waitMs);
}

QByteArray ModbusMaster::read(quint8 function, quint16 first, quint16 count, int waitMs)
{
    const QByteArray request =
        frames::readRequest(m_settings.slaveAddress(), function, first, count);
    m_outcome = ExchangeOutcome{FrameOutcome::NoLink, -1, waitMs, 0, QString()};
    QByteArray reply = m_exchange.exchange(waitMs, request);
    bool valid = judge(request, reply, waitMs);
    // Nothing went out when the link was missing: a retry would not either.
    const int retries = std::clamp(m_settings.tuning().readRetries, 0, LinkTuning::kMaxRetries);
    for (int i = 0; i < retries && !valid && m_outcome.kind != FrameOutcome::NoLink; ++i) {
        reply = m_exchange.retry(waitMs, request);
        valid = judge(request, reply, waitMs);
    }
    if (valid)
        return reply;
    // The log says what the monitor and the boxes say of it.
    qCInfo(lcLink, "read fn %d reg %u count %u: %s (%lld octets)", function, first, count,
           qUtf8Printable(causeText(m_outcome)), qlonglong(reply.size()));
    return failureReply();
}

QByteArray ModbusMaster::WriteMultipleRegisters(quint16 first, quint16 count,
                                                const QByteArray &data, int waitMs)
{
    return write(first, count, data, waitMs, false);
}

QByteArray ModbusMaster::WriteCommand(quint16 first, quint16 count, const QByteArray &data,
                                      int waitMs)
{
    return write(first, count, data, waitMs, true);
}

QByteArray ModbusMaster::write(quint16 first, quint16 count, const QByteArray &data, int waitMs,
                               bool command)
{
    if (data.size() != 2 * int(count)) {
        qCInfo(lcLink, "write reg %u count %u: %lld data octets, nothing sent", first, count,
               qlonglong(data.size()));
        return failureReply();
    }
    const QByteArray request =
        frames::writeRequest(m_settings.slaveAddress(), first, count, data);
    m_outcome = ExchangeOutcome{FrameOutcome::NoLink, -1, waitMs, 0, QString()};
    const QByteArray reply = command ? m_exchange.exchangeCommand(waitMs, request)
                                     : m_exchange.exchange(waitMs, request);
    if (judge(request, reply, waitMs))
        return reply;
    qCInfo(lcLink, "write reg %u count %u: %s (%lld octets)", first, count,
           qUtf8Printable(causeText(m_outcome)), qlonglong(reply.size()));
    return failureReply();
}

} // namespace vexs
