#include "link/exchange.h"

#include "link/link_activity.h"
#include "link/link_observer.h"
#include "link/pumping_delay.h"
#include "link/transport.h"

namespace vexs {

Exchange::Exchange(const ILinkSettings &settings, ITransport &serial, ITransport &tcp,
                   LinkActivity &activity, QObject *parent)
    : QObject(parent), m_settings(settings), m_serial(serial), m_tcp(tcp), m_activity(activity)
{
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
    if (m_activity.exchanging()) {
        qCInfo(lcLink, "exchange refused: another exchange is waiting");
        return failureReply();
    }
    LinkActivity::Exchanging guard(m_activity);
    ITransport &transport = m_settings.interfaceIndex() != 0 ? m_tcp : m_serial;
    if (!m_observer)
        return transport.exchange(waitMs, request);
    m_observer->requestSent(request);
    QByteArray reply;
    try {
        reply = transport.exchange(waitMs, request);
    } catch (...) {
        // A socket failure leaves the exchange; the monitor still shows it.
        m_observer->replyReceived(request, failureReply());
        throw;
    }
    m_observer->replyReceived(request, reply);
    return reply;
}

} // namespace vexs
