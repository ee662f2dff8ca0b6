#pragma once

#include "link/af_com_port.h"
#include "link/transport.h"

#include <QElapsedTimer>
#include <QObject>

class QTimer;

namespace vexs {

class ILinkSettings;

// The RS-485 line: every exchange opens the port with the number and speed
// the connection bar shows at that moment, sends, waits, takes what arrived
// and closes the port again, so no port is held between exchanges. Every
// channel error folds into the one-blank reply; why the port failed is
// reported through portStatusChanged for the user to act on.
//
// With fast exchange the port stays open while requests follow each other
// closely (a bulk read, a scan): reopening it for each costs more than the
// reply takes on a fast line. It closes HoldOpenMs after the last exchange.
class SerialTransport : public QObject, public ITransport
{
    Q_OBJECT
public:
    static constexpr int HoldOpenMs = 500;

    SerialTransport(const ILinkSettings &settings, TAfComPort &port, QObject *parent = nullptr);

    QByteArray exchange(int waitMs, const QByteArray &request,
                        const FastEnd *fast = nullptr) override;
    qint64 lastOctetUs() const override { return m_lastOctetUs; }

    TAfComPort &port() { return m_port; }

signals:
    // After an exchange whose open or read ended otherwise than the last one.
    void portStatusChanged(const vexs::PortStatus &status);

private:
    void await(int waitMs, const FastEnd *fast);
    void report();

    void closePort();

    const ILinkSettings &m_settings;
    TAfComPort &m_port;
    QTimer *m_idle;
    PortStatus m_reported;
    QElapsedTimer m_sent;
    qint64 m_lastOctetUs = -1;
};

} // namespace vexs
