#pragma once

#include "link/modbus.h"

#include <QObject>

namespace vexs {

class LinkActivity;
class TAfComPort;
class TcpClient;

// Carries one request frame to the recorder over the interface chosen in the
// connection bar and brings back whatever arrived after the wait time.
// There is no reply detection: every exchange waits its full time.
//
// A second exchange started while one waits (a timer tick or a click
// processed inside the wait) is refused with the one-blank reply and sends
// nothing, so it cannot close the outer one's port or take its reply.
class Exchange : public QObject, public IExchange
{
    Q_OBJECT
public:
    Exchange(const ILinkSettings &settings, TAfComPort &serial, TcpClient &tcp,
             LinkActivity &activity, QObject *parent = nullptr);

    QByteArray exchange(int waitMs, const QByteArray &request) override;

    bool inProgress() const { return m_inProgress; }

    // The program is closing: refuse new exchanges and cut the current wait short.
    void shutdown();

    // Maps the speed list's item index to bit/s (0 when it keeps the speed).
    static int baudForIndex(int index);

private:
    QByteArray serialExchange(int waitMs, const QByteArray &request);

    const ILinkSettings &m_settings;
    TAfComPort &m_serial;
    TcpClient &m_tcp;
    LinkActivity &m_activity;
    bool m_inProgress = false;
    bool m_shutdown = false;
};

} // namespace vexs
