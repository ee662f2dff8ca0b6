#include "link/gateway_framing.h"

#include "link/modbus.h"

#include <algorithm>

namespace vexs {

QStringList gatewayFramingItems()
{
    return {QStringLiteral("RTU поверх TCP"), QStringLiteral("Modbus TCP"),
            QStringLiteral("RTU поверх UDP"), QStringLiteral("Modbus UDP")};
}

std::optional<GatewayFraming> gatewayFramingAt(int index)
{
    if (index < 0 || index >= kGatewayFramingCount)
        return std::nullopt;
    return GatewayFraming(index);
}

namespace mbap {

namespace {

int word(const QByteArray &octets, qsizetype at)
{
    return (quint8(octets.at(at)) << 8) | quint8(octets.at(at + 1));
}

void appendWord(QByteArray &octets, int value)
{
    octets.append(char((value >> 8) & 0xFF));
    octets.append(char(value & 0xFF));
}

} // namespace

QByteArray wrap(const QByteArray &rtu, quint16 transaction)
{
    // Address, function and the CRC at least.
    if (rtu.size() < 4)
        return QByteArray();
    const QByteArray unitAndPdu = rtu.left(rtu.size() - 2);
    QByteArray adu;
    adu.reserve(kHeaderSize - 1 + unitAndPdu.size());
    appendWord(adu, transaction);
    appendWord(adu, 0);
    appendWord(adu, int(unitAndPdu.size()));
    adu.append(unitAndPdu);
    return adu;
}

Unwrapped unwrap(const QByteArray &received, quint16 transaction)
{
    Unwrapped result;
    qsizetype at = 0;
    while (received.size() - at >= kHeaderSize) {
        const int id = word(received, at);
        const int protocol = word(received, at + 2);
        const int length = word(received, at + 4);
        if (protocol != 0 || length < 2 || length > kMaxLength) {
            // Not MBAP (a gateway answering in RTU, or noise): nothing after
            // it can be found reliably.
            result.discarded += received.size() - at;
            return result;
        }
        const qsizetype end = at + 6 + length;
        if (id != transaction) {
            result.discarded += std::min(end, received.size()) - at;
            at = end;
            continue;
        }
        if (end > received.size()) {
            result.rtu = received.mid(at + 6);
            return result;
        }
        result.rtu = received.mid(at + 6, length);
        frames::appendCrc(result.rtu);
        return result;
    }
    // A header cut short: what there is, to be judged as such.
    if (at < received.size())
        result.rtu = received.mid(at);
    return result;
}

} // namespace mbap

} // namespace vexs
