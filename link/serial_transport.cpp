#include "link/serial_transport.h"

#include "link/line_speed.h"
#include "link/modbus.h"
#include "link/pumping_delay.h"
#include "link/reply_framing.h"

#include <exception>

namespace vexs {

SerialTransport::SerialTransport(const ILinkSettings &settings, TAfComPort &port, QObject *parent)
    : QObject(parent), m_settings(settings), m_port(port)
{
}

void SerialTransport::await(int waitMs, const FastEnd *fast)
{
    if (!fast) {
        PumpingDelay(waitMs);
        return;
    }
    PumpingWait wait;
    ReplyWatch watch(*fast, wait, [this] { return m_port.PeekString(); }, ReplyWatch::Quiet::Sleep);
    struct Watching {
        TAfComPort &port;
        ~Watching() { port.OnRxChar = nullptr; }
    } watching{m_port};
    m_port.OnRxChar = [&watch] { watch.check(); };
    watch.check(); // the reply may be in already
    wait.run(waitMs);
}

QByteArray SerialTransport::exchange(int waitMs, const QByteArray &request, const FastEnd *fast)
{
    QByteArray reply = failureReply();
    try {
        m_port.Close();
        m_port.SetComNumber(m_settings.comPortNumber());
        m_port.PurgeRx();
        m_port.PurgeTx();
        if (const int speed = lineSpeedForIndex(m_settings.baudIndex()))
            m_port.SetBaudRate(speed);
        m_port.Open();
        qCDebug(lcLinkFrames, "serial >> %s", request.toHex(' ').constData());
        m_port.WriteString(request);
        await(waitMs, fast);
        reply = m_port.ReadString();
        qCDebug(lcLinkFrames, "serial << %s", reply.toHex(' ').constData());
        m_port.Close();
        m_port.PurgeRx();
        m_port.PurgeTx();
    } catch (const std::exception &error) {
        qCInfo(lcLink, "serial exchange failed: %s", error.what());
        reply = failureReply();
    }
    report();
    return reply;
}

void SerialTransport::report()
{
    const PortStatus &now = m_port.LastStatus();
    if (now.failure == m_reported.failure && now.path == m_reported.path
        && now.comNumber == m_reported.comNumber)
        return;
    m_reported = now;
    emit portStatusChanged(now);
}

} // namespace vexs
