#include "settings/bus_scan.h"

#include "link/line_speed.h"
#include "settings/encodings.h"
#include "settings/identification.h"

#include <QDate>

#include <algorithm>

namespace vexs {

int scanWaitMs(bool serial, int bitsPerSecond, int chosenMs)
{
    // Enough for a recorder's turnaround, short enough that 247 silent
    // addresses take seconds, not minutes.
    constexpr int kTurnaroundMs = 50;
    constexpr int kGatewayMs = 100;
    if (!serial)
        return chosenMs > 0 ? chosenMs : kGatewayMs;
    const int lineMs =
        wireTimeMs(8 + ident::kReplySize, bitsPerSecond > 0 ? bitsPerSecond : kLineSpeeds[0]);
    return chosenMs > 0 ? std::max(chosenMs, lineMs) : lineMs + kTurnaroundMs;
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

QString foundRecorderLine(const FoundRecorder &found)
{
    return QStringLiteral("%1\t%2\tprocessor %3\tindicator %4\tadc %5")
        .arg(found.address)
        .arg(found.serial, found.versionProc, found.versionInd, found.versionDac);
}

} // namespace vexs
