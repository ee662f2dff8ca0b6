#pragma once

// The link put together in one place, for the window, vexs-cli and the search
// of the line: the serial transport over the port, the exchange over it and
// the gateway's client, and the request operations, all for one set of link
// settings. The port and the client belong to the program (one of each); a
// stack of the search borrows the window's serial transport, so both go to
// the same port with their own settings.

#include "link/exchange.h"
#include "link/modbus.h"
#include "link/serial_transport.h"

#include <QString>

#include <memory>

namespace vexs {

class ILinkSettings;
class LinkActivity;
class TAfComPort;
class TcpClient;

class LinkStack
{
public:
    LinkStack(const ILinkSettings &settings, TAfComPort &port, TcpClient &tcp, LinkActivity &activity);
    // Over the transports of `shared`, with settings of its own.
    LinkStack(const ILinkSettings &settings, LinkStack &shared, LinkActivity &activity);
    LinkStack(const LinkStack &) = delete;
    LinkStack &operator=(const LinkStack &) = delete;

    TAfComPort &port() { return m_port; }
    TcpClient &tcp() { return m_tcp; }
    SerialTransport &serial() { return m_serial; }
    Exchange &exchange() { return m_exchange; }
    const Exchange &exchange() const { return m_exchange; }
    ModbusMaster &modbus() { return m_modbus; }
    const ModbusMaster &modbus() const { return m_modbus; }

    // Why no request can go out now, as the settings stand: the serial
    // port's own state ("COM1: /dev/ttyUSB0 занят другой программой") or a
    // gateway connection that is not open. Empty when nothing is known to
    // be wrong. A request that could not go out gives it as its cause.
    QString linkProblem() const;

private:
    void tellCauses();

    const ILinkSettings &m_settings;
    TAfComPort &m_port;
    TcpClient &m_tcp;
    std::unique_ptr<SerialTransport> m_ownSerial;
    SerialTransport &m_serial;
    Exchange m_exchange;
    ModbusMaster m_modbus;
};

} // namespace vexs
