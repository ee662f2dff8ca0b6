#pragma once

#include "link/link_statistics.h"
#include "link/modbus.h"

#include <QElapsedTimer>
#include <QObject>

namespace vexs {

class ILinkObserver;
class ITransport;
class LinkActivity;

// Carries one request frame to the recorder over the interface chosen in the
// connection bar (the serial line for item 0, the TCP gateway otherwise) and
// brings back whatever arrived after the wait time. With fast exchange on,
// the wait ends as soon as the reply the request expects is complete and
// the line has gone quiet after it. What comes back is then what the full
// wait would have brought, unless more octets follow the quiet interval
// (a stray transmission); those are purged before the next request.
//
// A second exchange started while one waits (a timer tick or a click
// processed inside the wait) is refused with the one-blank reply and sends
// nothing, so it cannot close the outer one's port or take its reply.
class Exchange : public QObject, public IExchange
{
    Q_OBJECT
public:
    Exchange(const ILinkSettings &settings, ITransport &serial, ITransport &tcp,
             LinkActivity &activity, QObject *parent = nullptr);

    // A TCP socket failure is raised (ESocketError), not folded.
    QByteArray exchange(int waitMs, const QByteArray &request) override;
    QByteArray exchangeCommand(int waitMs, const QByteArray &request) override;
    QByteArray retry(int waitMs, const QByteArray &request) override;

    // What became of the requests to each address since the last reset.
    LinkStatistics &statistics() { return *m_counts; }
    const LinkStatistics &statistics() const { return *m_counts; }
    // Counts into `shared` instead (several links of one run, one report).
    void countInto(LinkStatistics &shared) { m_counts = &shared; }

    // Sees every request and what came back; null for none.
    void setObserver(ILinkObserver *observer) { m_observer = observer; }
    ILinkObserver *observer() const { return m_observer; }

    // The program is closing: refuse new exchanges and cut the current wait short.
    void shutdown();

private:
    enum class Kind { Request, Command, Retry };
    QByteArray run(int waitMs, const QByteArray &request, Kind kind);
    QByteArray carry(ITransport &transport, int waitMs, const QByteArray &request, bool fast,
                     bool retry);

    const ILinkSettings &m_settings;
    ITransport &m_serial;
    ITransport &m_tcp;
    LinkActivity &m_activity;
    ILinkObserver *m_observer = nullptr;
    bool m_shutdown = false;
    LinkStatistics m_statistics;
    LinkStatistics *m_counts = &m_statistics;
    // When the last exchange ended, for the pause between requests.
    QElapsedTimer m_sinceLast;
};

} // namespace vexs
