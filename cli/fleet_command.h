#pragma once

// vexs-cli write to several addresses: one configuration file into every
// recorder of a list, one line per recorder.

#include <QString>

#include <functional>

namespace vexs {
class IWriteJournal;
}

namespace vexs::cli {

struct Options;

// A line per recorder on standard output, the summary on stderr; `journal`
// (may be null) is every recorder's write journal. Returns the exit status:
// 0 when every recorder was written and verified, 1 when some were, 2 when
// none was or the file, an address's value or the link was bad.
int fleetCommand(const Options &o, IWriteJournal *journal = nullptr);

} // namespace vexs::cli
