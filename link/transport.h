#pragma once

#include <QByteArray>

namespace vexs {

struct FastEnd;

// One way to the recorder: sends a request frame, keeps the user interface
// live for `waitMs`, and returns every octet that arrived (possibly none).
// With `fast` set the wait ends as soon as the reply it describes is
// complete; a way that is lost meanwhile (a gateway's connection, a serial
// adapter pulled out) ends it at once. The serial line and the TCP gateway
// are the two; tests add fakes.
class ITransport
{
public:
    virtual ~ITransport() = default;
    virtual QByteArray exchange(int waitMs, const QByteArray &request, const FastEnd *fast = nullptr) = 0;
    // The time from the last request's sending to the last octet that came
    // for it, in microseconds; -1 when none came (or the way cannot tell).
    virtual qint64 lastOctetUs() const { return -1; }
    // True when the way itself marks where a reply ends (a datagram, a
    // length in a header): a complete reply then needs no quiet after it.
    virtual bool delimitsReplies() const { return false; }
};

} // namespace vexs
