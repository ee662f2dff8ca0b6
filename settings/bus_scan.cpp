#include "settings/bus_scan.h"

#include "link/line_speed.h"
#include "settings/encodings.h"
#include "settings/identification.h"

#include <QDate>

#include <algorithm>
#include <functional>
#include <iterator>

namespace vexs {

int scanWaitMs(bool serial, int bitsPerSecond, int chosenMs)
{
    // A probe has no written wait of its own: the line's rule gives the wire
    // time and the margin, short enough that 247 silent addresses take
    // seconds; a chosen wait stands wherever the exchange fits in it. A
    // gateway's own turnaround is unknown, hence its fixed default.
    constexpr int kGatewayMs = 100;
    if (!serial && chosenMs <= 0)
        return kGatewayMs;
    return lineWaitMs(std::max(chosenMs, 0), frames::kReadRequestSize, ident::kReplySize, serial,
                      bitsPerSecond);
}

QList<int> scanSpeeds(bool everySpeed, int lineSpeed)
{
    if (!everySpeed)
        return {lineSpeed};
    // The fastest first: its pass is the shortest, so most of the line is
    // known soonest.
    QList<int> speeds(std::begin(kLineSpeeds), std::end(kLineSpeeds));
    std::sort(speeds.begin(), speeds.end(), std::greater<int>());
    return speeds;
}

std::optional<FoundRecorder> probeRecorder(ModbusMaster &modbus, int address, int waitMs)
{
    const std::optional<ReadReply> reply = ReadReply::of(
        modbus.ReadHoldingRegisters(ident::kFirstRegister, ident::kRegisterCount, waitMs),
        ident::kRegisterCount);
    // A recorder that answered too late for its own probe may answer within
    // the next one's wait: only a reply from the address asked counts.
    if (!reply || reply->slaveAddress() != address || reply->function() != 0x03)
        return std::nullopt;
    const Identification id = decodeIdentification(reply->data(), QDate::currentDate().year());
    FoundRecorder found;
    found.address = address;
    found.serial = id.serial;
    found.serial.remove(QChar(0));
    found.serial = found.serial.trimmed();
    found.versionProc = versionText(id.versionProc);
    found.versionInd = versionText(id.versionInd);
    found.versionDac = versionText(id.versionDac);
    return found;
}

QString foundRecorderLine(const FoundRecorder &found, bool withSpeed)
{
    QString line = QStringLiteral("%1\t%2\tprocessor %3\tindicator %4\tadc %5")
                       .arg(found.address)
                       .arg(found.serial, found.versionProc, found.versionInd, found.versionDac);
    // Last, so the columns a script reads of a one-speed scan stay where they are.
    if (withSpeed)
        line += QStringLiteral("\tbaud %1").arg(found.bitsPerSecond);
    return line;
}

} // namespace vexs
