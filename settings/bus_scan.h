#pragma once

// A search of the line for recorders: the identification of each address,
// read with a short wait in fast exchange, so an address where nobody
// answers costs little more than the line time.

#include "link/modbus.h"

#include <QList>
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
    // The speed it answered at in bit/s; 0 when the search did not choose
    // one (over a gateway).
    int bitsPerSecond = 0;
};

// The speeds a search tries, in bit/s: every listed one from the fastest
// down, or only `lineSpeed`.
QList<int> scanSpeeds(bool everySpeed, int lineSpeed);

// The wait of one probe: request and reply on the wire at the chosen speed
// plus the device's turnaround; a fixed margin over a gateway. A wait the
// user chose (chosenMs > 0) replaces it, but on a serial line never falls
// short of the line time itself, in which no reply could ever be whole.
int scanWaitMs(bool serial, int bitsPerSecond, int chosenMs = 0);

// Reads the identification of the address `modbus` is set to; nullopt when
// no valid reply came.
std::optional<FoundRecorder> probeRecorder(ModbusMaster &modbus, int address, int waitMs);

// One line of the scan's output: address, serial number, versions, and with
// `withSpeed` the speed it answered at, tab-separated.
QString foundRecorderLine(const FoundRecorder &found, bool withSpeed = false);

// The settings of a scan: those of the link, but one address at a time, the
// speed being tried, and always in fast exchange.
class ScanLinkSettings : public ILinkSettings
{
public:
    explicit ScanLinkSettings(const ILinkSettings &link) : m_link(link) {}
    void setAddress(int address) { m_address = quint8(address); }
    // An item index of the speed list; -1 for the link's own speed.
    void setBaudIndex(int index) { m_baudIndex = index; }

    quint8 slaveAddress() const override { return m_address; }
    int interfaceIndex() const override { return m_link.interfaceIndex(); }
    int comPortNumber() const override { return m_link.comPortNumber(); }
    int baudIndex() const override { return m_baudIndex >= 0 ? m_baudIndex : m_link.baudIndex(); }
    bool fastExchange() const override { return true; }
    // A wait the user chose is for a slow recorder: it runs in full.
    bool endsOnSilence() const override { return m_endsOnSilence; }
    void setEndsOnSilence(bool on) { m_endsOnSilence = on; }
    // A slow converter's extra wait and the pause hold for the search too;
    // retries would only multiply the silence of empty addresses.
    LinkTuning tuning() const override
    {
        LinkTuning t;
        t.extraWaitMs = m_link.tuning().extraWaitMs;
        t.pauseMs = m_link.tuning().pauseMs;
        return t;
    }

private:
    const ILinkSettings &m_link;
    quint8 m_address = 1;
    int m_baudIndex = -1;
    bool m_endsOnSilence = true;
};

} // namespace vexs
