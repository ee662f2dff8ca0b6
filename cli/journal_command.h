#pragma once

// vexs-cli journal: the write journal, one line a record.

#include <QString>

#include <functional>

namespace vexs::cli {

struct Options;

// Records on standard output, notes on stderr. Returns the exit status: 0,
// or 2 when there is no journal folder.
int journalCommand(const Options &o);

} // namespace vexs::cli
