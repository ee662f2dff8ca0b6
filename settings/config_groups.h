#pragma once

// Every group of settings a page reads and writes, as data: where its
// registers are, how they move (one request, or chunks), the waits, the
// record layout that encodes and validates it, and the name a user and a
// configuration file know it by. Pages, configuration files and the
// command-line tool go through this table; nothing else knows a register
// address of a group. The identification block is apart (its own page and
// rules).

#include "settings/record_layout.h"

#include <QList>
#include <QString>

#include <optional>

namespace vexs {

// One request: `count` registers from `first`.
struct RegisterSpan
{
    quint16 first;
    quint16 count;
};

enum class GroupFamily {
    Measurement, // channels 1..4
    Math,        // channels М1..М4
    Output,      // outputs 1..4
    Setpoint,    // setpoints 1..8
    Recording,
    DisplayMode,
    DisplayChannel,
    Network,
};

struct ConfigGroup
{
    GroupFamily family;
    int item;         // from 1
    QString id;       // stable name in files and on the command line, e.g. "measurement.2"
    QString title;    // the Russian name a user sees, e.g. "Канал измерения 2"
    int page;         // absolute index of the page's node in the navigation tree
    const BlockLayout *layout;
    std::optional<ByteRange> bytes; // the part of the record it carries; whole when empty
    QList<RegisterSpan> readSpans;  // the requests of a read, in order
    QList<RegisterSpan> writeSpans; // and of a write
    int readWaitMs;
    int writeWaitMs;
    QString messagePrefix; // before validation messages, e.g. "Канал 2: "

    // The record's first register; read data lands at its offset from here.
    quint16 recordFirstRegister() const { return quint16(layout->firstRegister(item)); }
};

// In the order the pages are filled after a bulk read.
const QList<ConfigGroup> &configGroups();
// A group by family and item; std::invalid_argument for one that does not exist.
const ConfigGroup &configGroup(GroupFamily family, int item = 1);
// A group by its id; null when there is none.
const ConfigGroup *findConfigGroup(const QString &id);

} // namespace vexs
