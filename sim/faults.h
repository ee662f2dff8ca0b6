#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

namespace vexs {

// One way for the simulator to misbehave, and which requests it hits.
struct FaultRule {
    enum Kind {
        Silent,    // drop the request unprocessed, as if lost on the line
        Late,      // reply after `amount` ms
        BadCrc,    // corrupt the reply's CRC
        Truncate,  // drop the last `amount` octets of the reply
        Pad,       // append `amount` zero octets (the CRC still checks out over them)
        LateExtra, // reply, then `extraBytes` octets `amount` ms later
        DropTcp,   // close the TCP connection instead of replying (unprocessed)
        SecondReply, // after the reply, the same reply from the next address
        Refuse,    // an exception reply with code `amount` instead (processed)
        ResetTcp,  // reset the TCP connection (RST) instead of replying (unprocessed)
    };

    Kind kind = Silent;
    int amount = 0;
    int extraBytes = 4;
    int function = -1;      // only requests with this function code; -1 any
    int firstRegister = -1; // only requests starting at this register; -1 any
    int skip = 0;           // let this many matching requests pass first
    int times = -1;         // then apply this many times; -1 for ever

    bool matches(const QByteArray &request) const;
    QString describe() const;
};

// What to do with one request, gathered from every rule that applied.
struct FaultPlan {
    bool drop = false;         // carry nothing out, send nothing
    bool closeConnection = false;
    bool resetConnection = false;
    int delayMs = 0;
    bool badCrc = false;
    int truncate = 0;
    int pad = 0;
    int extraAfterMs = -1;     // -1: no late extra octets
    int extraBytes = 0;
    bool secondReply = false;
    int refuseCode = 0;        // 0: no exception reply

    bool any() const;
    // The reply as it should go out, CRC corruption, truncation and padding applied.
    QByteArray mangle(const QByteArray &reply) const;
};

// Thread-safe rule list. Rules count the requests they match, so "skip the
// first two, then fail once" works across connections.
class FaultRules
{
public:
    void add(const FaultRule &rule);
    void clear();
    QList<FaultRule> rules() const;
    // Counts the request against every matching rule and returns the plan.
    FaultPlan planFor(const QByteArray &request);
    // How many times each rule has applied so far, in rule order.
    QList<int> appliedCounts() const;

private:
    struct Entry {
        FaultRule rule;
        int matched = 0;
        int applied = 0;
    };
    mutable QMutex m_mutex;
    QList<Entry> m_entries;
};

} // namespace vexs
