#pragma once

// A search of the line for recorders: the identification of each address,
// read with a short wait in fast exchange, so an address where nobody
// answers costs little more than the line time.

#include "link/modbus.h"

#include <QString>

#include <optional>

namespace vexs {

struct FoundRecorder
{
    int address = 0;
    QString serial;
    QString versionProc; // "2.3"
    QString versionInd;
    QString versionDac;
};

// The wait of one probe: request and reply on the wire at the chosen speed
// plus the device's turnaround; a fixed margin over a gateway. A wait the
// user chose (chosenMs > 0) replaces it, but on a serial line never falls
// short of the line time itself, in which no reply could ever be whole.
int scanWaitMs(bool serial, int bitsPerSecond, int chosenMs = 0);

// Reads the identification of the address `modbus` is set to; nullopt when
// no valid reply came.
std::optional<FoundRecorder> probeRecorder(ModbusMaster &modbus, int address, int waitMs);

// One line of the scan's output: address, serial number, versions, tab-separated.
QString foundRecorderLine(const FoundRecorder &found);

// The settings of a scan: those of the link, but one address at a time and
// always in fast exchange.
class ScanLinkSettings : public ILinkSettings
{
public:
    explicit ScanLinkSettings(const ILinkSettings &link) : m_link(link) {}
    void setAddress(int address) { m_address = quint8(address); }

    quint8 slaveAddress() const override { return m_address; }
    int interfaceIndex() const override { return m_link.interfaceIndex(); }
    int comPortNumber() const override { return m_link.comPortNumber(); }
    int baudIndex() const override { return m_link.baudIndex(); }
    bool fastExchange() const override { return true; }

private:
    const ILinkSettings &m_link;
    quint8 m_address = 1;
};

} // namespace vexs
