#include "settings/gateway_probe.h"

#include "link/tcp_client.h"
#include "settings/bus_scan.h"

namespace vexs {

std::optional<GatewayFraming> probeGatewayFraming(TcpClient &client, ModbusMaster &modbus,
                                                  int address, int waitMs)
{
    const GatewayFraming before = client.framing();
    const bool udp = isUdp(before);
    for (const bool mbap : {false, true}) {
        const GatewayFraming framing = framingOf(udp, mbap);
        client.setFraming(framing);
        if (probeRecorder(modbus, address, waitMs))
            return framing;
        // A closed connection will not answer the other framing either.
        if (!client.active())
            break;
    }
    client.setFraming(before);
    return std::nullopt;
}

} // namespace vexs
