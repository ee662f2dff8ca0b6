#include "cli/device_link.h"

#include "settings/journal_store.h"

#include "link/line_speed.h"

#include <QEventLoop>
#include <QTimer>

namespace vexs::cli {

namespace {

constexpr int kConnectTimeoutMs = 5000;

// "192.168.11.2:5000", "[::1]:5000": as it is typed.
QString hostPort(const QString &host, int port)
{
    return (host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host)
           + QLatin1Char(':') + QString::number(port);
}

} // namespace

LinkStatistics &runStatistics()
{
    static LinkStatistics statistics;
    return statistics;
}

LinkSettings::LinkSettings(const Options &options)
    : m_address(options.addresses.value(0, 1)),
      m_tcp(options.tcp()),
      m_baudIndex(lineSpeedIndex(options.baud)),
      m_fast(options.fast),
      m_tuning(options.tuning)
{
}

int LinkSettings::baud() const
{
    return lineSpeedForIndex(m_baudIndex);
}

DeviceLink::DeviceLink(const Options &options)
    : m_options(options),
      m_settings(options),
      m_link(m_settings, m_port, m_tcp, m_activity)
{
    const QString path = options.port;
    // The one port number the tool uses names the device given on the command line.
    m_port.SetDevicePathResolver([path](int) { return path; });
    m_link.exchange().countInto(runStatistics());
}

bool DeviceLink::open(QString *error)
{
    if (!m_options.tcp())
        return true;
    const QString where = hostPort(m_options.tcpHost, m_options.tcpPort);
    m_tcp.setReconnect(m_options.tuning.reconnect);
    if (!m_tcp.setFraming(framingOf(m_options.udp, m_options.mbap)) || !m_tcp.setHost(m_options.tcpHost)
        || !m_tcp.setPort(m_options.tcpPort) || !m_tcp.activate()) {
        *error = QStringLiteral("Нет связи с прибором: %1 не может быть адресом шлюза").arg(where);
        return false;
    }
    QEventLoop loop;
    QString failure;
    QObject::connect(&m_tcp, &TcpClient::connected, &loop, &QEventLoop::quit);
    QObject::connect(&m_tcp, &TcpClient::asyncError, &loop, [&](const QString &message) {
        failure = message;
        loop.quit();
    });
    QTimer::singleShot(kConnectTimeoutMs, &loop, &QEventLoop::quit);
    if (!m_tcp.active())
        loop.exec();
    if (m_tcp.active())
        return true;
    m_tcp.deactivate();
    *error = QStringLiteral("Нет связи с прибором: шлюз %1 не отвечает (%2)")
                 .arg(where, failure.isEmpty() ? QStringLiteral("нет соединения за %1 с").arg(kConnectTimeoutMs / 1000)
                                               : failure);
    return false;
}

bool DeviceLink::ready(QString *error)
{
    if (!m_options.tcp() || m_tcp.active())
        return true;
    m_tcp.deactivate();
    return open(error);
}

bool DeviceLink::portFailed() const
{
    return !m_options.tcp() && m_port.LastStatus().failure != PortFailure::None;
}

std::unique_ptr<IWriteJournal> makeJournal(const Options &options)
{
    return std::make_unique<FileWriteJournal>(defaultJournalFolder(), [options] {
        JournalRecord stamp;
        if (options.tcp()) {
            stamp.link = QStringLiteral("%1 %2, %3")
                             .arg(options.udp ? QStringLiteral("UDP") : QStringLiteral("TCP"),
                                  hostPort(options.tcpHost, options.tcpPort),
                                  options.mbap ? QStringLiteral("Modbus") : QStringLiteral("RTU"));
        } else {
            stamp.link = QStringLiteral("RS-485, %1, %2 бит/с").arg(options.port).arg(options.baud);
        }
        stamp.address = options.addresses.value(0);
        return stamp;
    });
}

QString DeviceLink::describe() const
{
    const QString address = QStringLiteral("адрес %1").arg(m_settings.slaveAddress());
    if (m_options.tcp()) {
        const GatewayFraming framing = m_tcp.framing();
        const QString framed = framing == GatewayFraming::RtuOverTcp
                                   ? QString()
                                   : QStringLiteral(" (%1)").arg(gatewayFramingItems().at(int(framing)));
        return hostPort(m_options.tcpHost, m_options.tcpPort) + framed + QStringLiteral(", ") + address;
    }
    return QStringLiteral("%1, %2, %3 бит/с").arg(m_options.port, address).arg(m_settings.baud());
}

QString DeviceLink::noLinkMessage() const
{
    if (!m_options.tcp()) {
        const PortStatus &s = m_port.LastStatus();
        switch (s.failure) {
        case PortFailure::None:
            break;
        case PortFailure::NoDevice:
            return QStringLiteral("Нет связи с прибором: нет устройства %1").arg(m_options.port);
        case PortFailure::PermissionDenied:
            if (udevRuleInstalled())
                return QStringLiteral("Нет связи с прибором: нет доступа к %1 (правило udev %2 даст доступ к "
                                      "USB-адаптеру, если переподключить его или войти в систему заново; "
                                      "иначе пользователь должен входить в группу dialout)")
                    .arg(m_options.port, QLatin1String(kUdevRuleName));
            return QStringLiteral("Нет связи с прибором: нет доступа к %1 (пользователь должен входить "
                                  "в группу dialout)")
                .arg(m_options.port);
        case PortFailure::Busy:
            return QStringLiteral("Нет связи с прибором: %1 занят другой программой").arg(m_options.port);
        case PortFailure::LineLost:
            return QStringLiteral("Нет связи с прибором: связь с %1 прервана (устройство отключено?)")
                .arg(m_options.port);
        case PortFailure::NotSerial:
            return QStringLiteral("Нет связи с прибором: %1 не последовательный порт (%2)")
                .arg(m_options.port, s.detail);
        case PortFailure::Other:
            return QStringLiteral("Нет связи с прибором: не удалось открыть %1 (%2)")
                .arg(m_options.port, s.detail);
        }
    }
    // What became of the last request: a refusal, silence or a bad CRC.
    QString cause = causeText(m_link.modbus().lastOutcome());
    if (!cause.isEmpty())
        cause = QStringLiteral(": ") + cause.left(1).toLower() + cause.mid(1);
    return QStringLiteral("Нет связи с прибором (%1)").arg(describe()) + cause;
}

} // namespace vexs::cli
