#pragma once

#include "link/frame_summary.h"

#include <QByteArray>
#include <QLoggingCategory>

#include <functional>

#include <optional>

namespace vexs {

Q_DECLARE_LOGGING_CATEGORY(lcLink)       // protocol events
Q_DECLARE_LOGGING_CATEGORY(lcLinkFrames) // hex dump of every frame

// A reply string is either the whole validated reply frame or exactly one
// blank. A valid frame is never one octet long, so callers tell them apart by
// length before indexing.
QByteArray failureReply();
bool isFailureReply(const QByteArray &reply);

enum : quint8 {
    FunctionReadHolding = 0x03,
    FunctionReadInput = 0x04,
    FunctionWriteMultiple = 0x10,
};

// Pure frame building and checking; no I/O.
namespace frames {
// The lengths of the replies, worked out here alone: a read of `count`
// registers (address, function, byte count, data, CRC), the echo of a write
// and a device's refusal.
constexpr int readReplySize(int count) { return 2 * count + 5; }
inline constexpr int kWriteReplySize = 8;
inline constexpr int kExceptionReplySize = 5;
// Address, function, first register, count and CRC.
inline constexpr int kReadRequestSize = 8;

QByteArray readRequest(quint8 slave, quint8 function, quint16 first, quint16 count);
QByteArray writeRequest(quint8 slave, quint16 first, quint16 count, const QByteArray &data);
void appendCrc(QByteArray &frame);
// Running the CRC over a frame including its own CRC gives 0 when intact.
bool crcMatches(const QByteArray &frame);

// Octets of the normal reply to `request`: readReplySize(count) for a read,
// kWriteReplySize for a write; -1 for a request the program never sends.
int replySizeOf(const QByteArray &request);

// The one judgement of what came back for a request, used by the request
// operations, the fast exchange's early end and the traffic monitor alike.
// A reply is OK when it has the length the request expects and a good CRC;
// nothing else in it is compared (another address or function is still
// accepted). The one blank is NoLink, nothing at all NoReply; of the rest an
// exception reply (the request's function with the high bit, 5 octets) is
// told apart, then a bad CRC, a frame cut short, and a whole frame of another
// length.
FrameOutcome judgeReply(const QByteArray &request, const QByteArray &reply);
} // namespace frames

// A read reply that passed its checks, seen as its register data: callers
// never index past the address, function and byte count themselves.
class ReadReply
{
public:
    // The reply of a read of `count` registers; nullopt for any other length
    // (the one-blank failure included).
    static std::optional<ReadReply> of(const QByteArray &reply, quint16 count);

    // 2 x count octets, in wire order.
    QByteArray data() const { return m_frame.mid(kDataOffset, 2 * m_count); }
    quint16 registerCount() const { return m_count; }
    quint8 byte(int index) const { return quint8(m_frame.at(kDataOffset + index)); }
    quint8 slaveAddress() const { return quint8(m_frame.at(0)); }
    quint8 function() const { return quint8(m_frame.at(1)); }

private:
    // Address, function and byte count come first.
    static constexpr int kDataOffset = 3;
    ReadReply(QByteArray frame, quint16 count) : m_frame(std::move(frame)), m_count(count) {}

    QByteArray m_frame;
    quint16 m_count;
};

// True for the echo that acknowledges a write of several registers.
bool isWriteAcknowledged(const QByteArray &reply);

// What an engineer may set for a difficult link ("Параметры связи"). The
// defaults change nothing.
struct LinkTuning
{
    static constexpr int kMaxRetries = 3;
    static constexpr int kMaxMs = 10000;
    int extraWaitMs = 0; // added to every wait, for a slow converter
    // Retries of a read that got no valid reply. Writes and commands are
    // never repeated: a repeated write may act twice.
    int readRetries = 0;
    int pauseMs = 0;     // the least time between the end of one exchange and the next request
    bool reconnect = false; // a gateway's lost connection is made again at the next request

    bool operator==(const LinkTuning &) const = default;
};

// Where the link takes its settings from: the connection bar in the program,
// a plain struct in tests.
class ILinkSettings
{
public:
    virtual ~ILinkSettings() = default;
    virtual quint8 slaveAddress() const = 0;
    // 0 selects the serial line; anything else the TCP gateway.
    virtual int interfaceIndex() const = 0;
    virtual int comPortNumber() const = 0;
    // Item index of the speed list: 0..4 = 9600..115200; others keep the speed.
    virtual int baudIndex() const = 0;
    // Fast exchange: an exchange ends as soon as the reply it expects is
    // complete, instead of at its wait time. Off unless the user turns it on.
    virtual bool fastExchange() const { return false; }
    virtual LinkTuning tuning() const { return {}; }
    // A search of the line: with fast exchange, a serial exchange that has
    // not had one octet by the time a reply is due (silenceDeadlineMs) ends
    // there, since an address nobody holds stays silent for the whole wait.
    virtual bool endsOnSilence() const { return false; }
};

// Which recorder the requests go to now: the interface, the serial port and
// the slave address, as one text to compare.
QString recorderOf(const ILinkSettings &link);

// The wait of a read of `registers` over the link as it stands: `plainMs`,
// grown on a slow serial line to the time of request and reply on the wire
// plus a margin (see lineWaitMs).
int readWaitMs(const ILinkSettings &link, int plainMs, int registers);

// What became of a request, judged once where the request knows the length
// of its reply.
struct ExchangeOutcome
{
    FrameOutcome kind = FrameOutcome::None;
    int exception = -1; // the device's exception code, with Exception
    int waitMs = 0;
    int octets = 0;     // what arrived
    QString noLink;     // with NoLink: why, as the link knows it (may be empty)
};

// The cause of a failed request in a user's words, for the line beneath
// "Нет связи с прибором": "Прибор ответил исключением 2 (недопустимый адрес
// данных)", "Нет ответа за 500 мс", "Ответ с ошибкой CRC". Empty for OK.
QString causeText(const ExchangeOutcome &outcome);

// Carries one request and returns whatever arrived after the wait.
class IExchange
{
public:
    virtual ~IExchange() = default;
    virtual QByteArray exchange(int waitMs, const QByteArray &request) = 0;
    // For a request whose wait is there for the device to carry it out (a
    // calibration step, a pen or output command): the wait runs in full
    // even when fast exchange has the reply early.
    virtual QByteArray exchangeCommand(int waitMs, const QByteArray &request)
    {
        return exchange(waitMs, request);
    }
    // The same read again, after one that got no valid reply; the monitor
    // shows it as a retry.
    virtual QByteArray retry(int waitMs, const QByteArray &request)
    {
        return exchange(waitMs, request);
    }
};

// The three request operations. Each reads the slave address afresh, frames
// the request, exchanges it and validates the reply by length and CRC. Every
// failure becomes the one-blank reply, except a TCP socket failure, which is
// raised by the exchange and passes through unchanged.
class ModbusMaster
{
public:
    ModbusMaster(IExchange &exchange, const ILinkSettings &settings);

    QByteArray ReadHoldingRegisters(quint16 first, quint16 count, int waitMs);
    QByteArray ReadInputRegisters(quint16 first, quint16 count, int waitMs);
    QByteArray WriteMultipleRegisters(quint16 first, quint16 count, const QByteArray &data,
                                      int waitMs);
    // The same write for a command the device needs the wait to carry out:
    // the next request never goes out before the wait is over.
    QByteArray WriteCommand(quint16 first, quint16 count, const QByteArray &data, int waitMs);

    // What became of the last request: a caller may tell a device's refusal
    // (an exception reply, with its code) from silence.
    const ExchangeOutcome &lastOutcome() const { return m_outcome; }
    // Why no request could go out (port missing, busy or denied; gateway
    // not connected), asked when the exchange gives the one blank.
    void setNoLinkCause(std::function<QString()> cause) { m_noLinkCause = std::move(cause); }

private:
    QByteArray read(quint8 function, quint16 first, quint16 count, int waitMs);
    QByteArray write(quint16 first, quint16 count, const QByteArray &data, int waitMs,
                     bool command);

    // Judges the reply into m_outcome; true when it is OK.
    bool judge(const QByteArray &request, const QByteArray &reply, int waitMs);

    IExchange &m_exchange;
    const ILinkSettings &m_settings;
    ExchangeOutcome m_outcome;
    std::function<QString()> m_noLinkCause;
};

} // namespace vexs
