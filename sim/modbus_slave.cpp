#include "sim/modbus_slave.h"

#include "link/modbus.h"
#include "sim/recorder_model.h"

namespace vexs {

namespace {

quint16 word(const QByteArray &frame, int at)
{
    return quint16((quint8(frame[at]) << 8) | quint8(frame[at + 1]));
}

} // namespace

ModbusSlave::ModbusSlave(RecorderModel &model, quint8 address)
    : m_model(model), m_address(address)
{
}

QByteArray ModbusSlave::exceptionReply(quint8 address, quint8 function, quint8 code)
{
    QByteArray reply;
    reply.append(char(address));
    reply.append(char(function | 0x80));
    reply.append(char(code));
    frames::appendCrc(reply);
    return reply;
}

QByteArray ModbusSlave::process(const QByteArray &request)
{
    if (request.size() < 4 || !frames::crcMatches(request))
        return {};
    const quint8 address = quint8(request[0]);
    const quint8 function = quint8(request[1]);
    const bool broadcast = address == 0;
    if (!broadcast && address != m_address.load())
        return {};

    auto fail = [&](quint8 code) {
        return broadcast ? QByteArray() : exceptionReply(address, function, code);
    };

    switch (function) {
    case FunctionReadHolding:
    case FunctionReadInput: {
        if (request.size() != 8)
            return fail(RecorderModel::IllegalValue);
        if (broadcast)
            return {}; // a read has nobody to answer to
        const quint16 first = word(request, 2);
        const quint16 count = word(request, 4);
        QByteArray data;
        const auto code = function == FunctionReadHolding
                              ? m_model.readHolding(first, count, &data)
                              : m_model.readInput(first, count, &data);
        if (code != RecorderModel::NoException)
            return fail(code);
        QByteArray reply;
        reply.append(char(address));
        reply.append(char(function));
        reply.append(char(data.size()));
        reply.append(data);
        frames::appendCrc(reply);
        return reply;
    }
    case FunctionWriteMultiple: {
        if (request.size() < 9)
            return fail(RecorderModel::IllegalValue);
        const quint16 first = word(request, 2);
        const quint16 count = word(request, 4);
        const int byteCount = quint8(request[6]);
        if (byteCount != 2 * count || request.size() != 9 + byteCount)
            return fail(RecorderModel::IllegalValue);
        const auto code = m_model.writeHolding(first, count, request.mid(7, byteCount));
        if (code != RecorderModel::NoException)
            return fail(code);
        if (broadcast)
            return {};
        QByteArray reply = request.left(6);
        frames::appendCrc(reply);
        return reply;
    }
    default:
        return fail(RecorderModel::IllegalFunction);
    }
}

int rtuRequestLength(const QByteArray &buffer)
{
    if (buffer.size() < 2)
        return 0;
    if (quint8(buffer[1]) == FunctionWriteMultiple) {
        if (buffer.size() < 7)
            return 0;
        return 9 + quint8(buffer[6]);
    }
    return 8;
}

QList<QByteArray> RtuFrameAssembler::feed(const QByteArray &bytes, qint64 nowMs)
{
    QList<QByteArray> frames;
    if (bytes.isEmpty())
        return frames;
    if (!m_buffer.isEmpty() && nowMs - m_lastByteMs > m_gapMs) {
        m_buffer.clear();
        ++m_dropped;
    }
    m_lastByteMs = nowMs;
    m_buffer.append(bytes);

    for (;;) {
        const int length = rtuRequestLength(m_buffer);
        if (length == 0 || m_buffer.size() < length)
            break;
        QByteArray frame = m_buffer.left(length);
        m_buffer.remove(0, length);
        if (frames::crcMatches(frame))
            frames.append(frame);
        else
            ++m_dropped;
    }
    return frames;
}

} // namespace vexs
