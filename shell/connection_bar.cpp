#include "shell/connection_bar.h"

#include "link/tcp_client.h"
#include "shell/ui/message_boxes.h"
#include "shell/ui/page_context.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace vexs {

namespace {

QSpinBox *spinner(const QString &name, const QString &editName, int min, int max,
                  QWidget *parent)
{
    auto *spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(min, max);
    spin->setValue(1);
    spin->setFixedWidth(52);
    // The edit inside the spinner carries the edit's own name.
    if (auto *edit = spin->findChild<QLineEdit *>())
        edit->setObjectName(editName);
    return spin;
}

QLabel *label(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

} // namespace

ConnectionBar::ConnectionBar(TcpClient &socket, IMessageBoxes &boxes, QWidget *parent)
    : QWidget(parent), m_socket(socket), m_boxes(boxes)
{
    setObjectName(QStringLiteral("Panel1"));
    setFixedHeight(30);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(6);

    m_interface = new QComboBox(this);
    m_interface->setObjectName(QStringLiteral("ComboBoxInterface"));
    m_interface->addItems({QStringLiteral("RS-485"), QStringLiteral("Ethernet")});
    row->addWidget(m_interface);

    row->addWidget(label(QStringLiteral("StaticText96"), QStringLiteral("Адрес:"), this));
    m_address = spinner(QStringLiteral("UpDownAdr"), QStringLiteral("EditAdr"), 0, 255, this);
    row->addWidget(m_address);

    m_comLabel = label(QStringLiteral("StaticTextComPort"), QStringLiteral("COM:"), this);
    row->addWidget(m_comLabel);
    m_comPort =
        spinner(QStringLiteral("UpDownComPort"), QStringLiteral("EditComPort"), 1, 100, this);
    row->addWidget(m_comPort);
    m_baud = new QComboBox(this);
    m_baud->setObjectName(QStringLiteral("ComboBoxBaud"));
    m_baud->addItems({QStringLiteral("9600     бит/с"), QStringLiteral("19200   бит/с"),
                      QStringLiteral("38400   бит/с"), QStringLiteral("57600   бит/с"),
                      QStringLiteral("115200 бит/с")});
    row->addWidget(m_baud);

    m_ipLabel = label(QStringLiteral("StaticTextIP"), QStringLiteral("IP:"), this);
    row->addWidget(m_ipLabel);
    m_ip = new QLineEdit(QStringLiteral("192.168.11.2"), this);
    m_ip->setObjectName(QStringLiteral("EditIP"));
    m_ip->setFixedWidth(110);
    row->addWidget(m_ip);
    m_ipPortLabel = label(QStringLiteral("StaticTextIPPort"), QStringLiteral("Порт:"), this);
    row->addWidget(m_ipPortLabel);
    m_ipPort = new QLineEdit(QStringLiteral("5000"), this);
    m_ipPort->setObjectName(QStringLiteral("EditIPPort"));
    m_ipPort->setFixedWidth(50);
    row->addWidget(m_ipPort);
    m_status = label(QStringLiteral("StaticTextStatusIP"), QString(), this);
    m_status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_status->setFixedWidth(70);
    row->addWidget(m_status);
    m_connect = new QPushButton(QStringLiteral("Start"), this);
    m_connect->setObjectName(QStringLiteral("ButtonIPConnect"));
    row->addWidget(m_connect);
    m_disconnect = new QPushButton(QStringLiteral("Stop"), this);
    m_disconnect->setObjectName(QStringLiteral("ButtonIPDisconnect"));
    row->addWidget(m_disconnect);

    row->addStretch(1);
    m_button11 = new QPushButton(QStringLiteral("Считать настройки прибора"), this);
    m_button11->setObjectName(QStringLiteral("Button11"));
    row->addWidget(m_button11);

    connect(m_interface, &QComboBox::currentIndexChanged, this,
            &ConnectionBar::ComboBoxInterfaceChange);
    connectAction(m_connect, m_boxes, [this] { ButtonIPConnectClick(); });
    connectAction(m_disconnect, m_boxes, [this] { ButtonIPDisconnectClick(); });
    connect(&m_socket, &TcpClient::connected, this, &ConnectionBar::ClientSocket1Connect);
    connect(&m_socket, &TcpClient::disconnected, this, &ConnectionBar::ClientSocket1Disconnect);
    // Failures after activation (refused, unreachable, reset) are reported
    // like any error that escapes a handler; buttons and status stay as they are.
    connect(&m_socket, &TcpClient::asyncError, this,
            [this](const QString &message) { m_boxes.report(message); });
}

quint8 ConnectionBar::slaveAddress() const
{
    return quint8(m_address->value());
}

int ConnectionBar::interfaceIndex() const
{
    return m_interface->currentIndex();
}

int ConnectionBar::comPortNumber() const
{
    return m_comPort->value();
}

int ConnectionBar::baudIndex() const
{
    return m_baud->currentIndex();
}

void ConnectionBar::ComboBoxInterfaceChange()
{
    const bool serial = m_interface->currentIndex() == 0;
    for (QWidget *w : {static_cast<QWidget *>(m_comPort), static_cast<QWidget *>(m_comLabel),
                       static_cast<QWidget *>(m_baud)})
        w->setVisible(serial);
    for (QWidget *w : {static_cast<QWidget *>(m_ipLabel), static_cast<QWidget *>(m_ip),
                       static_cast<QWidget *>(m_ipPortLabel), static_cast<QWidget *>(m_ipPort),
                       static_cast<QWidget *>(m_status), static_cast<QWidget *>(m_connect),
                       static_cast<QWidget *>(m_disconnect)})
        w->setVisible(!serial);
}

void ConnectionBar::ButtonIPConnectClick()
{
    bool failed = false;
    bool ok = false;
    const int port = m_ipPort->text().trimmed().toInt(&ok, 10);
    if (!ok || !m_socket.setPort(port)) {
        m_boxes.error(QStringLiteral("Неверно введен порт"));
        failed = true;
    } else if (!m_socket.setHost(m_ip->text())) {
        m_boxes.error(QStringLiteral("Неверно введен IP"));
        failed = true;
    } else if (!m_socket.activate()) {
        m_boxes.error(QStringLiteral("Нет соединения с сервером"));
        failed = true;
    }
    m_connect->setEnabled(failed);
    m_disconnect->setEnabled(!failed);
    if (failed)
        m_status->setText(QStringLiteral("Ошибка"));
}

void ConnectionBar::ButtonIPDisconnectClick()
{
    m_socket.deactivate();
    m_connect->setEnabled(true);
    m_disconnect->setEnabled(false);
    m_status->setText(QStringLiteral("Закрыто"));
}

void ConnectionBar::ClientSocket1Connect()
{
    m_status->setText(QStringLiteral("Открыто"));
}

void ConnectionBar::ClientSocket1Disconnect()
{
    m_status->setText(QStringLiteral("Закрыто"));
    m_connect->setEnabled(true);
    m_disconnect->setEnabled(false);
}

} // namespace vexs
