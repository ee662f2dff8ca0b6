#include "shell/connection_bar.h"

#include "link/tcp_client.h"
#include "link/pumping_delay.h"
#include "shell/link_options_dialog.h"
#include "shell/port_picker.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace vexs {

namespace {
// How long "Определить" waits for the connection it had to make.
constexpr int kProbeConnectMs = 3000;
} // namespace

ConnectionBar::ConnectionBar(TcpClient &socket, const TAfComPort &port, LinkActivity &activity,
                             IMessageBoxes &boxes, QWidget *parent)
    : QWidget(parent), m_socket(socket), m_port(port), m_boxes(boxes)
{
    setObjectName(QStringLiteral("Panel1"));
    setFixedHeight(30);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(6);

    m_interface = makePickList(QStringLiteral("ComboBoxInterface"),
                               {QStringLiteral("RS-485"), QStringLiteral("Ethernet")}, this);
    row->addWidget(m_interface);

    row->addWidget(makeLabel(QStringLiteral("Адрес:"), this, QStringLiteral("StaticText96")));
    m_address = makeSpinner(QStringLiteral("UpDownAdr"), QStringLiteral("EditAdr"), 0, 255, 1, this);
    m_address->setFixedWidth(52);
    row->addWidget(m_address);

    m_comLabel = makeLabel(QStringLiteral("COM:"), this, QStringLiteral("StaticTextComPort"));
    row->addWidget(m_comLabel);
    m_comPort =
        makeSpinner(QStringLiteral("UpDownComPort"), QStringLiteral("EditComPort"), 1, 100, 1, this);
    m_comPort->setFixedWidth(52);
    row->addWidget(m_comPort);
    m_pickPort = makeButton(QStringLiteral("ButtonComPortPick"), QStringLiteral("…"), this);
    m_pickPort->setFixedWidth(24);
    m_pickPort->setToolTip(QStringLiteral("Выбрать порт из списка"));
    row->addWidget(m_pickPort);
    m_baud = makePickList(QStringLiteral("ComboBoxBaud"), baudRateItems(), this);
    row->addWidget(m_baud);
    m_portStatus = makeLabel(QString(), this, QStringLiteral("StaticTextPortStatus"));
    m_portStatus->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_portStatus->setMinimumWidth(0);
    m_portStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(m_portStatus, 1);

    m_ipLabel = makeLabel(QStringLiteral("IP:"), this, QStringLiteral("StaticTextIP"));
    row->addWidget(m_ipLabel);
    m_ip = makeEdit(QStringLiteral("EditIP"), this, 110);
    m_ip->setText(QStringLiteral("192.168.11.2"));
    row->addWidget(m_ip);
    m_ipPortLabel = makeLabel(QStringLiteral("Порт:"), this, QStringLiteral("StaticTextIPPort"));
    row->addWidget(m_ipPortLabel);
    m_ipPort = makeEdit(QStringLiteral("EditIPPort"), this, 50);
    m_ipPort->setText(QStringLiteral("5000"));
    row->addWidget(m_ipPort);
    m_framing = makePickList(QStringLiteral("ComboBoxFraming"), gatewayFramingItems(), this);
    // Narrow on the full bar; the list shows the whole names.
    m_framing->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_framing->setMinimumContentsLength(9);
    m_framing->setMaximumWidth(100);
    m_framing->setToolTip(QStringLiteral("Как шлюз передаёт запросы: кадры RTU как есть "
                                         "или кадры Modbus TCP, по TCP или UDP"));
    row->addWidget(m_framing);
    m_probe = makeButton(QStringLiteral("ButtonFramingProbe"), QStringLiteral("Определить"), this);
    m_probe->setToolTip(QStringLiteral("Спросить прибор в каждом формате и выбрать тот, в котором он ответил"));
    row->addWidget(m_probe);
    m_status = makeLabel(QString(), this, QStringLiteral("StaticTextStatusIP"));
    m_status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_status->setFixedWidth(52);
    row->addWidget(m_status);
    m_connect = makeButton(QStringLiteral("ButtonIPConnect"), QStringLiteral("Start"), this);
    m_connect->setFixedWidth(48);
    row->addWidget(m_connect);
    m_disconnect = makeButton(QStringLiteral("ButtonIPDisconnect"), QStringLiteral("Stop"), this);
    m_disconnect->setFixedWidth(48);
    row->addWidget(m_disconnect);

    m_scan = makeButton(QStringLiteral("ButtonBusScan"), QStringLiteral("Поиск…"), this);
    m_scan->setToolTip(QStringLiteral("Найти приборы на линии"));
    m_scan->setMaximumWidth(64);
    row->addWidget(m_scan);
    // A small button: the bar is full in Ethernet mode in the window's fixed size.
    m_options = makeButton(QStringLiteral("ButtonLinkOptions"), QStringLiteral("⚙"), this);
    m_options->setFixedWidth(28);
    m_options->setAccessibleName(QStringLiteral("Параметры связи"));
    m_options->setToolTip(QStringLiteral("Параметры связи: быстрый обмен, дополнительное ожидание, "
                                         "повторы чтения, пауза, переподключение"));
    row->addWidget(m_options);

    m_button11 =
        makeButton(QStringLiteral("Button11"), QStringLiteral("Считать настройки прибора"), this);
    m_button11->setMinimumWidth(m_button11->sizeHint().width());
    row->addWidget(m_button11);
    m_monitor = makeButton(QStringLiteral("ButtonMonitor"), QStringLiteral("⇄"), this);
    m_monitor->setFixedWidth(28);
    m_monitor->setToolTip(QStringLiteral("Монитор обмена (Ctrl+T)"));
    row->addWidget(m_monitor);

    connect(m_comPort, &QSpinBox::valueChanged, this, [this] { showMappedPath(); });
    showMappedPath();
    connect(m_interface, &QComboBox::currentIndexChanged, this,
            &ConnectionBar::ComboBoxInterfaceChange);
    connectAction(m_connect, m_boxes, [this] { ButtonIPConnectClick(); });
    // The picker is a modal dialog: it opens after a poll's exchange that is
    // waiting, so it never holds that wait open.
    connectDialogAction(m_pickPort, activity, m_boxes, [this] { ButtonComPortPickClick(); });
    listPorts = [] { return availableSerialPorts(); };
    choosePort = [this](const QList<SerialPortEntry> &ports, int comNumber) {
        PortPickerDialog dialog(ports, comNumber, m_port.DevicePath(comNumber), this);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedPath() : QString();
    };
    connectAction(m_disconnect, m_boxes, [this] { ButtonIPDisconnectClick(); });
    // The probe sends requests: it waits for a poll's exchange to end.
    connectDialogAction(m_probe, activity, m_boxes, [this] { ButtonFramingProbeClick(); });
    connectDialogAction(m_options, activity, m_boxes, [this] { ButtonLinkOptionsClick(); });
    editLinkOptions = [this](const LinkOptions &now) -> std::optional<LinkOptions> {
        LinkOptionsDialog dialog(now, this);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.options();
    };
    connect(&m_socket, &TcpClient::connected, this, &ConnectionBar::ClientSocket1Connect);
    connect(&m_socket, &TcpClient::disconnected, this, &ConnectionBar::ClientSocket1Disconnect);
    // Failures after activation (refused, unreachable, reset) are reported
    // like any error that escapes a handler. A connection that was never made
    // leaves the bar as a failed "Start" does; after a reset, the
    // disconnection has already said it all.
    connect(&m_socket, &TcpClient::asyncError, this, [this](const QString &message) {
        if (m_connecting) {
            m_connecting = false;
            m_socket.deactivate();
            m_connect->setEnabled(true);
            m_disconnect->setEnabled(false);
            setFramingLocked(false);
            m_status->setText(QStringLiteral("Ошибка"));
        }
        m_boxes.report(message);
    });
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

ConnectionSettings ConnectionBar::settings() const
{
    ConnectionSettings s;
    s.address = m_address->value();
    s.comPort = m_comPort->value();
    s.baudIndex = m_baud->currentIndex();
    s.ip = m_ip->text();
    s.ipPort = m_ipPort->text();
    s.fastExchange = fastExchange();
    s.framing = m_framing->currentIndex();
    s.extraWaitMs = m_tuning.extraWaitMs;
    s.readRetries = m_tuning.readRetries;
    s.pauseMs = m_tuning.pauseMs;
    s.reconnect = m_tuning.reconnect;
    return s;
}

void ConnectionBar::applySettings(const ConnectionSettings &s)
{
    m_address->setValue(s.address);
    m_comPort->setValue(s.comPort);
    m_baud->setCurrentIndex(qBound(0, s.baudIndex, m_baud->count() - 1));
    m_ip->setText(s.ip);
    m_ipPort->setText(s.ipPort);
    setFastExchange(s.fastExchange);
    m_framing->setCurrentIndex(gatewayFramingAt(s.framing) ? s.framing : 0);
    LinkTuning t;
    t.extraWaitMs = qBound(0, s.extraWaitMs, LinkTuning::kMaxMs);
    t.readRetries = qBound(0, s.readRetries, LinkTuning::kMaxRetries);
    t.pauseMs = qBound(0, s.pauseMs, LinkTuning::kMaxMs);
    t.reconnect = s.reconnect;
    setTuning(t);
}

void ConnectionBar::setTuning(const LinkTuning &tuning)
{
    m_tuning = tuning;
    m_socket.setReconnect(tuning.reconnect);
}

GatewayFraming ConnectionBar::framing() const
{
    return gatewayFramingAt(m_framing->currentIndex()).value_or(GatewayFraming::RtuOverTcp);
}

void ConnectionBar::setFraming(GatewayFraming framing)
{
    m_framing->setCurrentIndex(int(framing));
    m_socket.setFraming(framing);
}

void ConnectionBar::setFramingLocked(bool locked)
{
    // The protocol (TCP or UDP) cannot change under an open connection.
    m_framing->setEnabled(!locked);
}

void ConnectionBar::ButtonLinkOptionsClick()
{
    if (!editLinkOptions)
        return;
    if (const std::optional<LinkOptions> chosen = editLinkOptions(LinkOptions{m_tuning, m_fast})) {
        setTuning(chosen->tuning);
        m_fast = chosen->fastExchange;
    }
}

void ConnectionBar::ButtonFramingProbeClick()
{
    if (!m_socket.active()) {
        ButtonIPConnectClick();
        if (!m_connecting)
            return; // refused at once, with its own message
        PumpingWait wait;
        const auto up = connect(&m_socket, &TcpClient::connected, this, [&wait] { wait.finish(); });
        const auto failed = connect(&m_socket, &TcpClient::asyncError, this, [&wait] { wait.finish(); });
        wait.run(kProbeConnectMs);
        disconnect(up);
        disconnect(failed);
        if (!m_socket.active()) {
            if (m_connecting) // neither connected nor refused: give up
                ButtonIPDisconnectClick();
            m_status->setText(QStringLiteral("Ошибка"));
            m_boxes.error(QStringLiteral("Нет соединения с сервером"));
            return;
        }
    }
    const std::optional<GatewayFraming> found = probeFraming ? probeFraming() : std::nullopt;
    if (!found) {
        m_boxes.error(QStringLiteral("Прибор по адресу %1 не ответил ни в формате RTU, ни в формате Modbus TCP")
                          .arg(slaveAddress()));
        return;
    }
    setFraming(*found);
    m_boxes.info(QStringLiteral("Прибор ответил в формате «%1»").arg(gatewayFramingItems().at(int(*found))));
}

bool ConnectionBar::fastExchange() const
{
    return m_fast;
}

void ConnectionBar::setFastExchange(bool on)
{
    m_fast = on;
}

void ConnectionBar::setSlaveAddress(int address)
{
    m_address->setValue(address);
}

void ConnectionBar::setBaudIndex(int index)
{
    m_baud->setCurrentIndex(qBound(0, index, m_baud->count() - 1));
}

void ConnectionBar::holdLink(bool held)
{
    for (QWidget *w : {static_cast<QWidget *>(m_interface), static_cast<QWidget *>(m_address),
                       static_cast<QWidget *>(m_comPort), static_cast<QWidget *>(m_pickPort),
                       static_cast<QWidget *>(m_baud)})
        w->setEnabled(!held);
}

void ConnectionBar::ComboBoxInterfaceChange()
{
    const bool serial = m_interface->currentIndex() == 0;
    for (QWidget *w : {static_cast<QWidget *>(m_comPort), static_cast<QWidget *>(m_comLabel),
                       static_cast<QWidget *>(m_baud), static_cast<QWidget *>(m_pickPort),
                       static_cast<QWidget *>(m_portStatus)})
        w->setVisible(serial);
    for (QWidget *w : {static_cast<QWidget *>(m_ipLabel), static_cast<QWidget *>(m_ip),
                       static_cast<QWidget *>(m_ipPortLabel), static_cast<QWidget *>(m_ipPort),
                       static_cast<QWidget *>(m_framing), static_cast<QWidget *>(m_probe),
                       static_cast<QWidget *>(m_status), static_cast<QWidget *>(m_connect),
                       static_cast<QWidget *>(m_disconnect)})
        w->setVisible(!serial);
}

void ConnectionBar::setPortStatus(const PortStatus &status)
{
    const QString text = portFailureText(status);
    m_portStatus->setText(text);
    m_portStatus->setToolTip(text);
    m_portFailure = status;
    showMappedPath();
}

void ConnectionBar::showMappedPath()
{
    // Where the number leads, and beneath it why that failed last time.
    const int number = m_comPort->value();
    QString tip = QStringLiteral("COM%1: %2").arg(number).arg(m_port.DevicePath(number));
    if (m_portFailure.failure != PortFailure::None && m_portFailure.comNumber == number)
        tip += QLatin1Char('\n') + portFailureText(m_portFailure);
    m_comPort->setToolTip(tip);
}

QString ConnectionBar::portStatusText() const
{
    return m_portStatus->text();
}

void ConnectionBar::ButtonComPortPickClick()
{
    const int number = m_comPort->value();
    // Opened even when none was found: a path may still be typed.
    const QList<SerialPortEntry> ports = listPorts ? listPorts() : QList<SerialPortEntry>();
    const QString path = choosePort ? choosePort(ports, number) : QString();
    if (!path.isEmpty())
        emit portChosen(number, path);
    showMappedPath();
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
    } else if (!m_socket.setFraming(framing()) || !m_socket.activate()) {
        m_boxes.error(QStringLiteral("Нет соединения с сервером"));
        failed = true;
    }
    m_connecting = !failed;
    m_connect->setEnabled(failed);
    m_disconnect->setEnabled(!failed);
    setFramingLocked(!failed);
    if (failed)
        m_status->setText(QStringLiteral("Ошибка"));
}

void ConnectionBar::ButtonIPDisconnectClick()
{
    m_connecting = false;
    m_socket.deactivate();
    m_connect->setEnabled(true);
    m_disconnect->setEnabled(false);
    setFramingLocked(false);
    m_status->setText(QStringLiteral("Закрыто"));
}

void ConnectionBar::ClientSocket1Connect()
{
    m_connecting = false;
    m_status->setText(QStringLiteral("Открыто"));
    // Also after a reconnection the link made by itself.
    m_connect->setEnabled(false);
    m_disconnect->setEnabled(true);
    setFramingLocked(true);
}

void ConnectionBar::ClientSocket1Disconnect()
{
    m_status->setText(QStringLiteral("Закрыто"));
    m_connect->setEnabled(true);
    m_disconnect->setEnabled(false);
    setFramingLocked(false);
}

} // namespace vexs
