#include "link/exchange.h"

#include "link/line_speed.h"
#include "link/link_activity.h"
#include "link/link_observer.h"
#include "link/pumping_delay.h"
#include "link/reply_framing.h"
#include "link/transport.h"

#include <QElapsedTimer>

#include <algorithm>
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
    return run(waitMs, request, Kind::Request);
}

QByteArray Exchange::exchangeCommand(int waitMs, const QByteArray &request)
{
    return run(waitMs, request, Kind::Command);
}

QByteArray Exchange::retry(int waitMs, const QByteArray &request)
{
    return run(waitMs, request, Kind::Retry);
}

QByteArray Exchange::run(int waitMs, const QByteArray &request, Kind kind)
{
    const bool fullWait = kind == Kind::Command;
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
    const LinkTuning tuning = m_settings.tuning();
    const int pauseMs = std::clamp(tuning.pauseMs, 0, LinkTuning::kMaxMs);
    if (pauseMs > 0 && m_sinceLast.isValid() && m_sinceLast.elapsed() < pauseMs)
        PumpingDelay(int(pauseMs - m_sinceLast.elapsed()));
    waitMs += std::clamp(tuning.extraWaitMs, 0, LinkTuning::kMaxMs);
    QElapsedTimer clock;
    clock.start();
    struct Ended {
        QElapsedTimer &since;
        ~Ended() { since.start(); }
    } ended{m_sinceLast};
    QByteArray reply = carry(transport, waitMs, request, fast, kind == Kind::Retry);
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
                           bool fast, bool retry)
{
    std::optional<FastEnd> fastEnd;
    if (fast) {
        const int bps = lineSpeedForIndex(m_settings.baudIndex());
        fastEnd = FastEnd{ReplyFraming(request), transport.delimitsReplies() ? 0 : silentIntervalUs(bps), 0};
        if (m_settings.endsOnSilence() && &transport == &m_serial)
            fastEnd->silenceMs = silenceDeadlineMs(int(request.size()), bps)
                                 + std::clamp(m_settings.tuning().extraWaitMs, 0, LinkTuning::kMaxMs);
    }
    const FastEnd *end = fastEnd ? &*fastEnd : nullptr;
    const int address = request.isEmpty() ? -1 : quint8(request.at(0));
    if (m_observer) {
        if (retry)
            m_observer->retrySent(request);
        else
            m_observer->requestSent(request);
    }
    QByteArray reply;
    try {
        reply = transport.exchange(waitMs, request, end);
    } catch (...) {
        // A socket failure leaves the exchange; the monitor still shows it.
        m_counts->recordFailure(address);
        if (m_observer)
            m_observer->replyReceived(request, failureReply());
        throw;
    }
    m_counts->record(address, frames::judgeReply(request, reply), transport.lastOctetUs());
    if (m_observer)
        m_observer->replyReceived(request, reply);
    return reply;
}

} // namespace vexs
