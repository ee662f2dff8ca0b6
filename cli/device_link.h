#pragma once

// The link of vexs-cli: the program's own serial channel and TCP client
// behind the same exchange and request operations as the window.

#include "cli/cli_options.h"
#include "link/af_com_port.h"
#include "link/link_activity.h"
#include "link/link_stack.h"
#include "link/tcp_client.h"
#include "ui/write_journal.h"

#include <memory>

namespace vexs::cli {

class LinkSettings : public ILinkSettings
{
public:
    explicit LinkSettings(const Options &options);

    quint8 slaveAddress() const override { return quint8(m_address); }
    int interfaceIndex() const override { return m_tcp ? 1 : 0; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return m_baudIndex; }
    bool fastExchange() const override { return m_fast; }
    LinkTuning tuning() const override { return m_tuning; }
    bool endsOnSilence() const override { return m_endsOnSilence; }
    // A search with its automatic wait (see ILinkSettings::endsOnSilence).
    void setEndsOnSilence(bool on) { m_endsOnSilence = on; }

    void setAddress(int address) { m_address = address; }
    void setFast(bool on) { m_fast = on; }
    bool serial() const { return !m_tcp; }
    int baud() const;

private:
    int m_address;
    bool m_tcp;
    int m_baudIndex;
    bool m_fast;
    LinkTuning m_tuning;
    bool m_endsOnSilence = false;
};

// The write journal of vexs-cli (VEXS_JOURNAL_DIR, else the user's data
// folder): each record names the link as the options give it, and the
// address asked.
std::unique_ptr<IWriteJournal> makeJournal(const Options &options);

// Every link of one run of vexs-cli counts here, for --stats.
LinkStatistics &runStatistics();

class DeviceLink
{
public:
    explicit DeviceLink(const Options &options);

    // Serial: nothing to do until the first exchange. TCP: connects and
    // waits for the connection; false with `error` set when it fails.
    bool open(QString *error);
    // Before the next of many requests: a connection the gateway closed or
    // reset is opened again; false with why when that fails (always true
    // on a serial line).
    bool ready(QString *error);

    // The gateway closed or reset the connection (never on a serial line).
    bool lost() const { return m_options.tcp() && !m_tcp.active(); }
    // The serial port went away, or could not be opened, at the last
    // exchange: missing, busy, denied or pulled out (never over TCP). No
    // recorder can answer until that changes.
    bool portFailed() const;

    ModbusMaster &modbus() { return m_link.modbus(); }
    TcpClient &gateway() { return m_tcp; }
    const LinkStatistics &statistics() const { return m_link.exchange().statistics(); }
    LinkSettings &settings() { return m_settings; }
    // "Нет связи с прибором" with what is known of why.
    QString noLinkMessage() const;
    // Where the link goes, for messages: "/dev/ttyUSB0, адрес 1, 115200 бит/с".
    QString describe() const;

private:
    Options m_options;
    LinkSettings m_settings;
    TAfComPort m_port;
    TcpClient m_tcp;
    LinkActivity m_activity;
    LinkStack m_link;
};

} // namespace vexs::cli
