#pragma once

// Counts of what became of the requests to each address, and how long the
// replies took: the first thing to look at on a line that misbehaves now and
// then (a marginal cable, a converter that answers late).

#include "link/frame_summary.h"

#include <QList>
#include <QString>

#include <map>
#include <vector>

namespace vexs {

struct AddressStatistics
{
    int address = 0;
    qint64 requests = 0;
    qint64 ok = 0;
    qint64 noReply = 0;
    qint64 badCrc = 0;
    qint64 exceptions = 0;
    qint64 other = 0; // cut short, wrong length or address
    // Response times of whole replies, from the request's sending to the
    // reply's last octet, in microseconds; -1 while there are none.
    qint64 minUs = -1;
    qint64 medianUs = -1;
    qint64 maxUs = -1;
};

class LinkStatistics
{
public:
    // The times of the last this many replies of an address make the
    // median, so a link watched for days stays small.
    static constexpr int kTimesKept = 4096;

    // One request that went out (a request that could not go out, NoLink,
    // is not counted). `replyUs` is the time to the last octet of a whole
    // reply, -1 when unknown.
    void record(int address, FrameOutcome outcome, qint64 replyUs);
    // A request that went out and ended in a failure of the link itself
    // (a gateway's connection reset): one of the other failures.
    void recordFailure(int address);
    QList<AddressStatistics> rows() const; // by address
    bool isEmpty() const { return m_addresses.empty(); }
    void reset() { m_addresses.clear(); }

private:
    struct Counts
    {
        AddressStatistics row;
        std::vector<qint64> times; // a ring once full
        int next = 0;
    };
    std::map<int, Counts> m_addresses;
};

// The column titles and one row as texts, times in ms with one decimal.
QStringList statisticsTitles();
QStringList statisticsTexts(const AddressStatistics &row);
// Rows as lines for a terminal ("Адрес 1: запросов 27, OK 27, …"), one an
// address; "Запросов не было" when there are none.
QString statisticsReport(const QList<AddressStatistics> &rows);

} // namespace vexs
