#include "sim/faults.h"

#include "link/modbus.h"

#include <QMutexLocker>

namespace vexs {

bool FaultRule::matches(const QByteArray &request) const
{
    if (request.size() < 2)
        return false;
    if (function >= 0 && quint8(request[1]) != function)
        return false;
    if (firstRegister >= 0) {
        if (request.size() < 4)
            return false;
        const int first = (quint8(request[2]) << 8) | quint8(request[3]);
        if (first != firstRegister)
            return false;
    }
    return true;
}

QString FaultRule::describe() const
{
    static const char *const names[] = {"silent", "late", "bad-crc", "truncate",
                                        "pad", "extra-late", "drop-tcp", "second-reply", "refuse", "reset-tcp"};
    QString text = QString::fromLatin1(names[kind]);
    if (kind != Silent && kind != BadCrc && kind != DropTcp && kind != SecondReply && kind != ResetTcp)
        text += QStringLiteral(" %1").arg(amount);
    if (function >= 0)
        text += QStringLiteral(", function %1").arg(function);
    if (firstRegister >= 0)
        text += QStringLiteral(", register %1").arg(firstRegister);
    if (skip > 0)
        text += QStringLiteral(", after %1").arg(skip);
    if (times >= 0)
        text += QStringLiteral(", %1 times").arg(times);
    return text;
}

bool FaultPlan::any() const
{
    return drop || closeConnection || resetConnection || delayMs > 0 || badCrc || truncate > 0 || pad > 0
           || extraAfterMs >= 0 || secondReply || refuseCode > 0;
}

QByteArray FaultPlan::mangle(const QByteArray &reply) const
{
    QByteArray out = reply;
    if (refuseCode > 0 && reply.size() >= 2) {
        out = reply.left(2);
        out[1] = char(quint8(out[1]) | 0x80);
        out.append(char(refuseCode));
        frames::appendCrc(out);
    }
    if (badCrc && out.size() >= 2)
        out[out.size() - 2] = char(out[out.size() - 2] ^ 0xFF);
    if (truncate > 0)
        out.chop(qMin(truncate, int(out.size())));
    if (pad > 0)
        out.append(QByteArray(pad, '\0'));
    if (secondReply && reply.size() >= 4) {
        // Another slave answering too: a whole frame of its own, CRC intact.
        // The next address; from 247 up (the last unit address and beyond)
        // it wraps to 1, never to the broadcast address 0.
        QByteArray other = reply.chopped(2);
        other[0] = char(quint8(other[0]) >= 247 ? 1 : quint8(other[0]) + 1);
        frames::appendCrc(other);
        out += other;
    }
    return out;
}

void FaultRules::add(const FaultRule &rule)
{
    QMutexLocker lock(&m_mutex);
    m_entries.append({rule, 0, 0});
}

void FaultRules::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}

QList<FaultRule> FaultRules::rules() const
{
    QMutexLocker lock(&m_mutex);
    QList<FaultRule> out;
    for (const Entry &e : m_entries)
        out.append(e.rule);
    return out;
}

QList<int> FaultRules::appliedCounts() const
{
    QMutexLocker lock(&m_mutex);
    QList<int> out;
    for (const Entry &e : m_entries)
        out.append(e.applied);
    return out;
}

FaultPlan FaultRules::planFor(const QByteArray &request)
{
    QMutexLocker lock(&m_mutex);
    FaultPlan plan;
    for (Entry &e : m_entries) {
        if (!e.rule.matches(request))
            continue;
        ++e.matched;
        if (e.matched <= e.rule.skip)
            continue;
        if (e.rule.times >= 0 && e.applied >= e.rule.times)
            continue;
        ++e.applied;
        const int amount = qMax(0, e.rule.amount);
        switch (e.rule.kind) {
        case FaultRule::Silent: plan.drop = true; break;
        case FaultRule::Late: plan.delayMs += amount; break;
        case FaultRule::BadCrc: plan.badCrc = true; break;
        case FaultRule::Truncate: plan.truncate += amount; break;
        case FaultRule::Pad: plan.pad += amount; break;
        case FaultRule::LateExtra:
            plan.extraAfterMs = amount;
            plan.extraBytes = qMax(1, e.rule.extraBytes);
            break;
        case FaultRule::DropTcp: plan.closeConnection = true; break;
        case FaultRule::ResetTcp: plan.resetConnection = true; break;
        case FaultRule::SecondReply: plan.secondReply = true; break;
        case FaultRule::Refuse: plan.refuseCode = qBound(1, amount, 255); break;
        }
    }
    return plan;
}

} // namespace vexs
