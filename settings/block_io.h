#pragma once

// The one path by which settings travel to and from the recorder. A block is
// one or more requests with their waits; it is read into bytes, or written
// from bytes, and a failure is reported once. Pages, the bulk read, the
// coefficient read and configuration files all go through here.

#include "link/modbus.h"
#include "settings/config_groups.h"

#include <QByteArray>

#include <functional>
#include <optional>

namespace vexs {

class ModbusMaster;
struct PageContext;

// Told after each request of a block (k of n); returning false stops a read
// between requests (a write is never stopped part-way).
using BlockProgress = std::function<bool(int done, int total)>;

// The data of every span in order; nullopt at the first reply of the wrong
// length (nothing more is asked). A TCP socket failure propagates.
std::optional<QByteArray> readBlock(ModbusMaster &modbus, bool inputRegisters,
                                    const QList<RegisterSpan> &spans, int waitMs,
                                    const BlockProgress &progress = {});
// How far a write came: the spans acknowledged, and what became of the one
// that was not (nothing after a write acknowledged in full).
struct WriteStop
{
    int acknowledged = 0;
    ExchangeOutcome outcome;
};

// Sends `data` over the spans in order (2 x count octets each); false at the
// first request not acknowledged. Spans acknowledged before it stay written.
bool writeBlock(ModbusMaster &modbus, const QList<RegisterSpan> &spans, const QByteArray &data,
                int waitMs, WriteStop *stop = nullptr);

// A command the device carries out within the wait (a calibration step, a
// pen move): one write of `data`; true when the device acknowledged it. The
// next request never goes out before the wait is over.
bool sendCommand(ModbusMaster &modbus, quint16 first, quint16 count, const QByteArray &data,
                 int waitMs);

// A group's record as the device holds it: the data of its read at its place
// in a record of the layout's size, zeros elsewhere.
std::optional<QByteArray> readGroup(ModbusMaster &modbus, const ConfigGroup &group);
// Writes the group's part of `record`.
bool writeGroup(ModbusMaster &modbus, const ConfigGroup &group, const QByteArray &record,
                WriteStop *stop = nullptr);

// The page handlers: read fills the group's controls and says "done", or
// says there is no link and leaves them; write validates the controls in
// record order (the first bad field is named and nothing is sent), encodes
// over `base` (bytes outside the group or without a control), writes and
// says how it went.
void readGroupIntoPage(PageContext &context, const ConfigGroup &group);
void writeGroupFromPage(PageContext &context, const ConfigGroup &group,
                        const QByteArray &base = QByteArray());
// The same by the group's family and item, as the page buttons name them.
inline void readGroupIntoPage(PageContext &context, GroupFamily family, int item = 1)
{
    readGroupIntoPage(context, configGroup(family, item));
}
inline void writeGroupFromPage(PageContext &context, GroupFamily family, int item = 1)
{
    writeGroupFromPage(context, configGroup(family, item));
}

} // namespace vexs
