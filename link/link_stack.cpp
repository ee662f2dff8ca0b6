#include "link/link_stack.h"

#include "link/af_com_port.h"
#include "link/tcp_client.h"

namespace vexs {

LinkStack::LinkStack(const ILinkSettings &settings, TAfComPort &port, TcpClient &tcp,
                     LinkActivity &activity)
    : m_settings(settings),
      m_port(port),
      m_tcp(tcp),
      m_ownSerial(std::make_unique<SerialTransport>(settings, port)),
      m_serial(*m_ownSerial),
      m_exchange(settings, m_serial, tcp, activity),
      m_modbus(m_exchange, settings)
{
    tellCauses();
}

LinkStack::LinkStack(const ILinkSettings &settings, LinkStack &shared, LinkActivity &activity)
    : m_settings(settings),
      m_port(shared.m_port),
      m_tcp(shared.m_tcp),
      m_serial(shared.m_serial),
      m_exchange(settings, m_serial, m_tcp, activity),
      m_modbus(m_exchange, settings)
{
    tellCauses();
}

void LinkStack::tellCauses()
{
    // A request that could not go out says why, in a sentence of its own.
    m_modbus.setNoLinkCause([this] {
        QString problem = linkProblem();
        if (!problem.isEmpty())
            problem[0] = problem[0].toUpper();
        return problem;
    });
}

QString LinkStack::linkProblem() const
{
    if (m_settings.interfaceIndex() != 0)
        return m_tcp.active() ? QString() : QStringLiteral("соединение со шлюзом не открыто");
    return portFailureText(m_port.LastStatus());
}

} // namespace vexs
