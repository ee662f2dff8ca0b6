#pragma once

#include "link/modbus.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vexs {

class IMessageBoxes;
class TcpClient;

// The strip along the top of the window: interface, slave address, serial
// port and speed, or gateway host and port with Start/Stop. It is where the
// link takes its settings from at every request.
class ConnectionBar : public QWidget, public ILinkSettings
{
    Q_OBJECT
public:
    ConnectionBar(TcpClient &socket, IMessageBoxes &boxes, QWidget *parent = nullptr);

    quint8 slaveAddress() const override;
    int interfaceIndex() const override;
    int comPortNumber() const override;
    int baudIndex() const override;

    QPushButton *readSettingsButton() const { return m_button11; }

    void ComboBoxInterfaceChange();
    void ButtonIPConnectClick();
    void ButtonIPDisconnectClick();
    void ClientSocket1Connect();
    void ClientSocket1Disconnect();

private:
    TcpClient &m_socket;
    IMessageBoxes &m_boxes;
    QComboBox *m_interface;
    QSpinBox *m_address;
    QLabel *m_comLabel;
    QSpinBox *m_comPort;
    QComboBox *m_baud;
    QLabel *m_ipLabel;
    QLineEdit *m_ip;
    QLabel *m_ipPortLabel;
    QLineEdit *m_ipPort;
    QLabel *m_status;
    QPushButton *m_connect;
    QPushButton *m_disconnect;
    QPushButton *m_button11;
};

} // namespace vexs
