#pragma once

// How an Ethernet gateway wants the program's requests: the RTU frame as it
// is, or the Modbus TCP form (an MBAP header and no CRC), over a TCP
// connection or in UDP datagrams. The program always builds and judges RTU
// frames; only the gateway's client converts, so pages, the monitor and the
// log see the same octets whatever the gateway speaks.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace vexs {

// In the order of the connection bar's list; the index is what Vexs.ini keeps.
enum class GatewayFraming : quint8 {
    RtuOverTcp, // the default
    ModbusTcp,
    RtuOverUdp,
    ModbusUdp,
};
inline constexpr int kGatewayFramingCount = 4;

constexpr bool isUdp(GatewayFraming f)
{
    return f == GatewayFraming::RtuOverUdp || f == GatewayFraming::ModbusUdp;
}
constexpr bool isMbap(GatewayFraming f)
{
    return f == GatewayFraming::ModbusTcp || f == GatewayFraming::ModbusUdp;
}
// The framing of the same kind (RTU or MBAP) over the other protocol, and
// the other kind over the same protocol.
constexpr GatewayFraming framingOf(bool udp, bool mbap)
{
    return udp ? (mbap ? GatewayFraming::ModbusUdp : GatewayFraming::RtuOverUdp)
               : (mbap ? GatewayFraming::ModbusTcp : GatewayFraming::RtuOverTcp);
}

// "RTU поверх TCP", "Modbus TCP", "RTU поверх UDP", "Modbus UDP".
QStringList gatewayFramingItems();
// The index of the list, or nullopt for one outside it.
std::optional<GatewayFraming> gatewayFramingAt(int index);

namespace mbap {

// Transaction, protocol (0), length, unit.
inline constexpr int kHeaderSize = 7;
// The length field counts the unit and the PDU; a PDU is at most 253 octets.
inline constexpr int kMaxLength = 254;

// The Modbus TCP form of an RTU request: the header with `transaction`, the
// unit (the RTU frame's address) and the PDU, without the CRC. Empty for a
// frame too short to carry an address, a function and a CRC.
QByteArray wrap(const QByteArray &rtu, quint16 transaction);

struct Unwrapped
{
    // The RTU form of the reply to `transaction`: unit, PDU and a CRC of our
    // own. A reply still arriving gives its unit and PDU so far without a
    // CRC, so that it is judged cut short. Empty when none came.
    QByteArray rtu;
    // Octets of other transactions (stale replies) and of anything that is
    // no MBAP frame (a header whose protocol or length cannot be), thrown away.
    qsizetype discarded = 0;
};

// Reads the octets received since the request (a TCP stream, or datagrams
// one after another) as MBAP frames and picks the reply to `transaction`.
Unwrapped unwrap(const QByteArray &received, quint16 transaction);

} // namespace mbap

} // namespace vexs
