#pragma once

#include <QByteArray>

#include <functional>

class QTimer;

namespace vexs {

class PumpingWait;

// What a request's reply looks like when it is complete, for fast exchange.
// The caller still validates the reply as always; this only decides when to
// stop waiting, so the same octets give the same result in either mode.
class ReplyFraming
{
public:
    // A request the link does not frame itself (too short, a broadcast)
    // expects nothing: its exchange runs to the wait time.
    explicit ReplyFraming(const QByteArray &request);

    // True when `received` is exactly one whole reply that the request
    // operations judge OK, or a device's exception reply (frames::judgeReply).
    bool isComplete(const QByteArray &received) const;

    // Octets of the normal reply; 0 when none is expected.
    int expectedLength() const { return m_length; }

private:
    QByteArray m_request;
    int m_length = 0;
};

// Modbus RTU's silent interval of 3.5 characters (10 bits each on this
// 8N1 line) at `bitsPerSecond`, in microseconds rounded up: 304 us at
// 115200 bit/s, 3646 us at 9600. A speed of 0 counts as the slowest listed.
int silentIntervalUs(int bitsPerSecond);

// The early end of one wait: the transport hands over what has arrived each
// time more comes, and the wait ends once the octets make a complete reply
// and the line then stays quiet for the silent interval (which also keeps
// that interval before the next request). Octets arriving in that interval
// (a padded reply, a second reply) cancel the early end, and the exchange
// runs to its wait time as it would without fast exchange.
struct FastEnd
{
    ReplyFraming framing;
    int silentUs = 0;
    // With a value, the wait also ends when not one octet has come by then
    // (a search, where most addresses are silent); 0 for never.
    int silenceMs = 0;
};

class ReplyWatch
{
public:
    // How the quiet after a complete reply is watched: by sleeping the
    // interval and asking the driver again (exact, for a serial port that
    // can be read at once), or by a timer that later octets stop.
    enum class Quiet { Sleep, Timer };

    // `fetch` collects whatever the transport has received by now (all of
    // it, from the start of the exchange).
    ReplyWatch(const FastEnd &end, PumpingWait &wait, std::function<QByteArray()> fetch,
               Quiet quiet);
    ~ReplyWatch();

    // Called when more octets arrived.
    void check();

private:
    void quietOver();

    const FastEnd &m_end;
    PumpingWait &m_wait;
    std::function<QByteArray()> m_fetch;
    Quiet m_quiet;
    QTimer *m_timer = nullptr;
    qsizetype m_completeSize = -1;
    bool m_checking = false;
};

} // namespace vexs
