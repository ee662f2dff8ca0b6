#include "link/serial_transport.h"

#include "link/line_speed.h"
#include "link/modbus.h"
#include "link/pumping_delay.h"
#include "link/reply_framing.h"

#include <QTimer>

#include <exception>
#include <optional>

namespace vexs {

SerialTransport::SerialTransport(const ILinkSettings &settings, TAfComPort &port, QObject *parent)
    : QObject(parent), m_settings(settings), m_port(port), m_idle(new QTimer(this))
{
    m_idle->setSingleShot(true);
    m_idle->setInterval(HoldOpenMs);
    connect(m_idle, &QTimer::timeout, this, &SerialTransport::closePort);
}

void SerialTransport::closePort()
{
    m_idle->stop();
    m_port.Close();
    m_port.PurgeRx();
    m_port.PurgeTx();
}

void SerialTransport::await(int waitMs, const FastEnd *fast)
{
    PumpingWait wait;
    struct Watching {
        TAfComPort &port;
        ~Watching()
        {
            port.OnRxChar = nullptr;
            port.OnLineFailed = nullptr;
        }
    } watching{m_port};
    // A device gone from under the port (an adapter pulled out) sends
    // nothing more: the wait ends, and the read reports it.
    m_port.OnLineFailed = [&wait] { wait.finish(); };
    std::optional<ReplyWatch> watch;
    // Each arrival is timed, for the link's statistics.
    m_port.OnRxChar = [this, &watch] {
        m_lastOctetUs = m_sent.nsecsElapsed() / 1000;
        if (watch)
            watch->check();
    };
    if (fast) {
        watch.emplace(*fast, wait, [this] { return m_port.PeekString(); }, ReplyWatch::Quiet::Sleep);
        watch->check(); // the reply may be in already
    }
    QTimer silence;
    if (fast && fast->silenceMs > 0 && fast->silenceMs < waitMs) {
        silence.setSingleShot(true);
        silence.setTimerType(Qt::PreciseTimer);
        QObject::connect(&silence, &QTimer::timeout, [this, &wait] {
            if (m_port.PeekString().isEmpty())
                wait.finish();
        });
        silence.start(fast->silenceMs);
    }
    wait.run(waitMs);
}

QByteArray SerialTransport::exchange(int waitMs, const QByteArray &request, const FastEnd *fast)
{
    QByteArray reply = failureReply();
    m_lastOctetUs = -1;
    const int speed = lineSpeedForIndex(m_settings.baudIndex());
    try {
        // Held only while it is still the port and speed the bar names.
        const int number = m_settings.comPortNumber();
        const bool held = fast && m_port.Active() && m_port.ComNumber() == number
                          && m_port.LastStatus().path == m_port.DevicePath(number)
                          && (speed == 0 || speed == m_port.BaudRate());
        m_idle->stop();
        if (held) {
            // Whatever came after the last reply is no part of this one.
            m_port.PurgeRx();
            m_port.PurgeTx();
        } else {
            m_port.Close();
            m_port.SetComNumber(m_settings.comPortNumber());
            m_port.PurgeRx();
            m_port.PurgeTx();
            if (speed)
                m_port.SetBaudRate(speed);
            m_port.Open();
        }
        qCDebug(lcLinkFrames, "serial >> %s", request.toHex(' ').constData());
        m_lastOctetUs = -1;
        m_sent.start();
        m_port.WriteString(request);
        await(waitMs, fast);
        reply = m_port.ReadString();
        qCDebug(lcLinkFrames, "serial << %s", reply.toHex(' ').constData());
        if (fast)
            m_idle->start();
        else
            closePort();
    } catch (const std::exception &error) {
        qCInfo(lcLink, "serial exchange failed: %s", error.what());
        reply = failureReply();
        closePort();
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
