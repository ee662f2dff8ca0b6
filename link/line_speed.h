#pragma once

namespace vexs {

// The speeds of the connection bar's list, by item index. Everything that
// turns an index into bit/s (the serial channel, the poll's wait, the
// benchmarks, the simulator's pacing) reads this one table.
inline constexpr int kLineSpeeds[] = {9600, 19200, 38400, 57600, 115200};
inline constexpr int kLineSpeedCount = sizeof(kLineSpeeds) / sizeof(kLineSpeeds[0]);
// Speed of the channel until an exchange sets one.
inline constexpr int kDefaultLineSpeed = 115200;

// Bit/s for an item index; 0 for an index outside the list (the channel
// then keeps the speed it has).
constexpr int lineSpeedForIndex(int index)
{
    return index >= 0 && index < kLineSpeedCount ? kLineSpeeds[index] : 0;
}

// Item index of a speed in bit/s; -1 when the list has no such speed.
constexpr int lineSpeedIndex(int bitsPerSecond)
{
    for (int i = 0; i < kLineSpeedCount; ++i)
        if (kLineSpeeds[i] == bitsPerSecond)
            return i;
    return -1;
}

// Time of `octets` on the wire at `bitsPerSecond`, 10 bits an octet (8N1),
// in whole milliseconds rounded up.
constexpr int wireTimeMs(int octets, int bitsPerSecond)
{
    // In 64 bits: a speed near the top of int would overflow the sum.
    return bitsPerSecond > 0
               ? int((static_cast<long long>(octets) * 10 * 1000 + bitsPerSecond - 1) / bitsPerSecond)
               : 0;
}

// The one rule for every wait of the link; the reads' (readWaitMs), the
// poll's (pollWaitMs) and the search's probe (scanWaitMs, whose written wait
// is the user's choice or none) apply it to their own request and reply.
// The wait of a request whose reply is `replyOctets` long. The written wait
// `plainMs` stands wherever request and reply on the wire and a recorder's
// 20 ms turnaround fit in it, and always over TCP. Only on a serial line too
// slow for that does it grow, to the wire time and a margin of 50 ms for a
// slow turnaround. A speed of 0 (none chosen) counts as the slowest listed.
// A recorder begins its reply within this time after a request.
inline constexpr int kTurnaroundMs = 20;

constexpr int lineWaitMs(int plainMs, int requestOctets, int replyOctets, bool serial,
                         int bitsPerSecond)
{
    if (!serial)
        return plainMs;
    constexpr int kTurnaroundMarginMs = 50;
    const int wire = wireTimeMs(requestOctets + replyOctets,
                                bitsPerSecond > 0 ? bitsPerSecond : kLineSpeeds[0]);
    if (wire + kTurnaroundMs <= plainMs)
        return plainMs;
    return wire + kTurnaroundMarginMs > plainMs ? wire + kTurnaroundMarginMs : plainMs;
}

// When silence answers: the first octet of a reply is due within the
// request's wire time and the turnaround; 20 ms more covers a USB adapter
// that holds octets for its latency timer (16 ms by default).
constexpr int silenceDeadlineMs(int requestOctets, int bitsPerSecond)
{
    constexpr int kAdapterMarginMs = 20;
    return wireTimeMs(requestOctets, bitsPerSecond > 0 ? bitsPerSecond : kLineSpeeds[0]) + kTurnaroundMs
           + kAdapterMarginMs;
}

} // namespace vexs
