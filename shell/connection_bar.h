#pragma once

#include "link/af_com_port.h"
#include "link/gateway_framing.h"
#include "link/modbus.h"
#include "shell/config_file.h"
#include "shell/link_options_dialog.h"
#include "shell/serial_ports.h"

#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vexs {

class IMessageBoxes;
class LinkActivity;
class TcpClient;

// The strip along the top of the window: interface, slave address, serial
// port and speed, or gateway host and port with Start/Stop. It is where the
// link takes its settings from at every request.
class ConnectionBar : public QWidget, public ILinkSettings
{
    Q_OBJECT
public:
    // `port`: the program's serial port, for the path each number leads to.
    ConnectionBar(TcpClient &socket, const TAfComPort &port, LinkActivity &activity, IMessageBoxes &boxes,
                  QWidget *parent = nullptr);

    quint8 slaveAddress() const override;
    int interfaceIndex() const override;
    int comPortNumber() const override;
    int baudIndex() const override;
    // What Vexs.ini keeps of the bar, and the bar as it keeps it: each value
    // clamped into its control's range.
    ConnectionSettings settings() const;
    void applySettings(const ConnectionSettings &s);
    bool fastExchange() const override;
    void setFastExchange(bool on);
    LinkTuning tuning() const override { return m_tuning; }
    void setTuning(const LinkTuning &tuning);
    // The gateway's framing as the list shows it; it reaches the client at
    // "Start" (the list is locked while connected), or at once from the probe.
    GatewayFraming framing() const;
    void setFraming(GatewayFraming framing);

    // "Определить": asks the recorder in each framing; the window supplies
    // the asking, tests replace it.
    std::function<std::optional<GatewayFraming>()> probeFraming;
    void ButtonFramingProbeClick();
    // "Параметры связи" (the small button "⚙"): the dialog, with fast
    // exchange beside the tuning; tests replace it (nullopt: cancelled).
    std::function<std::optional<LinkOptions>(const LinkOptions &)> editLinkOptions;
    void ButtonLinkOptionsClick();

    QPushButton *readSettingsButton() const { return m_button11; }
    // The small button at the right end that opens the traffic monitor.
    QPushButton *monitorButton() const { return m_monitor; }
    // Opens the search of the line for recorders.
    QPushButton *scanButton() const { return m_scan; }
    // Takes an address and a speed (item index) found by the search.
    void setSlaveAddress(int address);
    void setBaudIndex(int index);
    // While a user's action runs its requests (a page write in several
    // chunks, a long operation) they go to the recorder it began with:
    // interface, address, serial port and speed cannot be changed.
    void holdLink(bool held);

    // Shows why the serial port failed (or clears it after a good open) in
    // the bar's port status and as the port number's tooltip.
    void setPortStatus(const PortStatus &status);
    QString portStatusText() const;

    // The port picker beside the port number: the list of ports and the
    // choice among them; tests replace both. The chooser returns the chosen
    // path, or empty when the user cancelled.
    std::function<QList<SerialPortEntry>()> listPorts;
    std::function<QString(const QList<SerialPortEntry> &, int comNumber)> choosePort;
    void ButtonComPortPickClick();

signals:
    // The user mapped serial port `comNumber` to a device path.
    void portChosen(int comNumber, const QString &path);

public:

    void ComboBoxInterfaceChange();
    void ButtonIPConnectClick();
    void ButtonIPDisconnectClick();
    void ClientSocket1Connect();
    void ClientSocket1Disconnect();

private:
    void showMappedPath();

    TcpClient &m_socket;
    const TAfComPort &m_port;
    IMessageBoxes &m_boxes;
    PortStatus m_portFailure;
    QComboBox *m_interface;
    QSpinBox *m_address;
    QLabel *m_comLabel;
    QSpinBox *m_comPort;
    QComboBox *m_baud;
    QPushButton *m_pickPort;
    QLabel *m_portStatus;
    QLabel *m_ipLabel;
    QLineEdit *m_ip;
    QLabel *m_ipPortLabel;
    QLineEdit *m_ipPort;
    QLabel *m_status;
    // "Start" was pressed and the connection is not made yet.
    bool m_connecting = false;
    QPushButton *m_connect;
    QPushButton *m_disconnect;
    bool m_fast = false;
    QPushButton *m_scan;
    QPushButton *m_button11;
    QPushButton *m_monitor;
    QComboBox *m_framing;
    QPushButton *m_probe;
    QPushButton *m_options;
    LinkTuning m_tuning;
    void setFramingLocked(bool locked);
};

} // namespace vexs
