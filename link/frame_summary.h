#pragma once

// What the traffic monitor says about a frame: its octets in hex, the fields
// it carries and what became of a request. Pure functions over bytes.

#include <QByteArray>
#include <QString>

namespace vexs {

// What came back for a request (frames::judgeReply).
enum class FrameOutcome : quint8 {
    None,        // a request: nothing to judge
    Ok,
    NoLink,      // the interface failed before anything was sent or read
    NoReply,     // nothing arrived within the wait
    Short,       // fewer octets than expected, and not a whole frame
    BadCrc,      // the expected length, but the CRC does not match
    WrongLength, // a whole frame of another length, or octets beyond the expected end
    Exception,   // the device refused the request with an exception code
    Purged,      // octets that arrived outside any exchange and were thrown away
};

// Fields of a frame; -1 for one the frame does not carry (or is too short
// to carry).
struct FrameFields
{
    int address = -1;
    int function = -1;
    int first = -1;     // first register
    int count = -1;     // register count
    int byteCount = -1; // byte count octet
    int exception = -1; // exception code
};

namespace traffic {

// Uppercase hex, one blank between octets: "01 03 27 1C 00 0B CF 7F".
QString hexText(const QByteArray &octets);

FrameFields requestFields(const QByteArray &request);
// A reply is read by the function it carries; an exception reply has the
// request's function with the high bit set.
FrameFields replyFields(const QByteArray &reply);

// "Адрес 1, функция 0x03, регистр 10012, регистров 11".
QString summaryText(const FrameFields &fields);
QString outcomeText(FrameOutcome outcome);
// " (недопустимый адрес данных)" for the standard exception codes, else empty.
QString exceptionText(int code);
// An outcome that means the exchange did not get its answer.
bool isFailure(FrameOutcome outcome);

} // namespace traffic
} // namespace vexs
