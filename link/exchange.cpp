#include "link/exchange.h"

#include "link/af_com_port.h"
#include "link/link_activity.h"
#include "link/pumping_delay.h"
#include "link/tcp_client.h"

#include <exception>

namespace vexs {

namespace {

struct InProgress
{
    InProgress(bool &flag, LinkActivity &activity) : m_flag(flag), m_activity(activity)
    {
        m_flag = true;
        m_activity.setExchanging(true);
    }
    ~InProgress()
    {
        m_flag = false;
        m_activity.setExchanging(false);
    }
    bool &m_flag;
    LinkActivity &m_activity;
};

bool baudRateForIndex(int index, TAfBaudrate *rate)
{
    switch (index) {
    case 0: *rate = TAfBaudrate::br9600; return true;
    case 1: *rate = TAfBaudrate::br19200; return true;
    case 2: *rate = TAfBaudrate::br38400; return true;
    case 3: *rate = TAfBaudrate::br57600; return true;
    case 4: *rate = TAfBaudrate::br115200; return true;
    default: return false;
    }
}

} // namespace

Exchange::Exchange(const ILinkSettings &settings, TAfComPort &serial, TcpClient &tcp,
                   LinkActivity &activity, QObject *parent)
    : QObject(parent), m_settings(settings), m_serial(serial), m_tcp(tcp), m_activity(activity)
{
}

int Exchange::baudForIndex(int index)
{
    static const int speeds[] = {9600, 19200, 38400, 57600, 115200};
    return index >= 0 && index < 5 ? speeds[index] : 0;
}

void Exchange::shutdown()
{
    m_shutdown = true;
    interruptPumpingDelays();
}

QByteArray Exchange::exchange(int waitMs, const QByteArray &request)
{
    if (m_shutdown)
        return failureReply();
    if (m_inProgress) {
        qCInfo(lcLink, "exchange refused: another exchange is waiting");
        return failureReply();
    }
    LinkActivity::Scope busy(m_activity);
    InProgress guard(m_inProgress, m_activity);

    if (m_settings.interfaceIndex() != 0)
        return m_tcp.exchange(waitMs, request); // a socket failure is raised, not folded
    return serialExchange(waitMs, request);
}

QByteArray Exchange::serialExchange(int waitMs, const QByteArray &request)
{
    try {
        m_serial.Close();
        m_serial.SetComNumber(m_settings.comPortNumber());
        m_serial.PurgeRx();
        m_serial.PurgeTx();
        TAfBaudrate rate;
        if (baudRateForIndex(m_settings.baudIndex(), &rate))
            m_serial.SetBaudRate(rate);
        m_serial.Open();
        qCDebug(lcLinkFrames, "serial >> %s", request.toHex(' ').constData());
        m_serial.WriteString(request);
        PumpingDelay(waitMs);
        const QByteArray reply = m_serial.ReadString();
        qCDebug(lcLinkFrames, "serial << %s", reply.toHex(' ').constData());
        m_serial.Close();
        m_serial.PurgeRx();
        m_serial.PurgeTx();
        return reply;
    } catch (const std::exception &error) {
        qCInfo(lcLink, "serial exchange failed: %s", error.what());
        return failureReply();
    }
}

} // namespace vexs
