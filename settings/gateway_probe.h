#pragma once

// Which framing a gateway speaks, found by asking: an engineer on site often
// does not know whether a converter passes RTU frames through or wants
// Modbus TCP.

#include "link/gateway_framing.h"

#include <optional>

namespace vexs {

class ModbusMaster;
class TcpClient;

// A probe waits as a read of the identification does.
inline constexpr int kGatewayProbeWaitMs = 1000;

// Asks the recorder at `address` (the address `modbus` sends to) for its
// identification in RTU, then in MBAP, over the client's protocol (TCP or
// UDP); the client must be connected. The client keeps the framing that
// answered, or the one it had when neither did (nullopt).
std::optional<GatewayFraming> probeGatewayFraming(TcpClient &client, ModbusMaster &modbus,
                                                  int address,
                                                  int waitMs = kGatewayProbeWaitMs);

} // namespace vexs
