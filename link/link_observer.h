#pragma once

#include <QByteArray>

namespace vexs {

// Watches every exchange on the link (the traffic monitor, the frame log).
// Called on the user-interface thread; an observer must be quick, since it
// runs inside the exchange. With no observer set the link pays one pointer
// test per exchange.
class ILinkObserver
{
public:
    virtual ~ILinkObserver() = default;
    // The request is about to go out on the chosen interface.
    virtual void requestSent(const QByteArray &request) = 0;
    // The same read sent again after a failed try (the link's retries).
    virtual void retrySent(const QByteArray &request) { requestSent(request); }
    // What the transport brought back for that request: the raw octets
    // (possibly none), or the one-blank string when the interface failed
    // before anything could be sent or read.
    virtual void replyReceived(const QByteArray &request, const QByteArray &reply) = 0;
    // Octets that arrived outside any exchange and were thrown away.
    virtual void octetsDiscarded(int count) = 0;
};

} // namespace vexs
