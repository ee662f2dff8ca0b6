#include "link/exchange.h"

#include "link/line_speed.h"
#include "link/link_activity.h"
#include "link/link_observer.h"
#include "link/pumping_delay.h"
#include "link/reply_framing.h"
#include "link/transport.h"

#include <QElapsedTimer>

#include <optional>

namespace vexs {

namespace {

// The normal reply or an exception reply, whatever octets came after it.
bool beginsWithReply(const ReplyFraming &framing, const QByteArray &received)
{
    return framing.isComplete(received.left(framing.expectedLength()))
           || framing.isComplete(received.left(frames::kExceptionReplySize));
}

} // namespace

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
    return run(waitMs, request, false);
}

QByteArray Exchange::exchangeCommand(int waitMs, const QByteArray &request)
{
    return run(waitMs, request, true);
}

QByteArray Exchange::run(int waitMs, const QByteArray &request, bool fullWait)
{
    if (m_shutdown)
        return failureReply();
    if (m_activity.exchanging()) {
        qCInfo(lcLink, "exchange refused: another exchange is waiting");
        return failureReply();
    }
    LinkActivity::Exchanging guard(m_activity);
    ITransport &transport = m_settings.interfaceIndex() != 0 ? m_tcp : m_serial;
    // Read once: the box may be unticked while this exchange waits.
    const bool fast = m_settings.fastExchange();
    QElapsedTimer clock;
    clock.start();
    QByteArray reply = carry(transport, waitMs, request, fast);
    // A fast reply does not mean the device has carried the command out:
    // nothing else goes to it (the guard refuses a poll tick) until the
    // wait is over. A wait that ended before any whole reply came ended
    // because the link went (a reset, "Stop", an adapter pulled out):
    // nothing to wait for then.
    if (fullWait && fast && clock.elapsed() < waitMs && beginsWithReply(ReplyFraming(request), reply))
        PumpingDelay(int(waitMs - clock.elapsed()));
    return reply;
}

QByteArray Exchange::carry(ITransport &transport, int waitMs, const QByteArray &request,
                           bool fast)
{
    std::optional<FastEnd> fastEnd;
    if (fast)
        fastEnd = FastEnd{ReplyFraming(request), silentIntervalUs(lineSpeedForIndex(m_settings.baudIndex()))};
    const FastEnd *end = fastEnd ? &*fastEnd : nullptr;
    if (!m_observer)
        return transport.exchange(waitMs, request, end);
    m_observer->requestSent(request);
    QByteArray reply;
    try {
        reply = transport.exchange(waitMs, request, end);
    } catch (...) {
        // A socket failure leaves the exchange; the monitor still shows it.
        m_observer->replyReceived(request, failureReply());
        throw;
    }
    m_observer->replyReceived(request, reply);
    return reply;
}

} // namespace vexs
