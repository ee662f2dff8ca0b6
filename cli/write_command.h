#pragma once

#include "cli/cli_options.h"

namespace vexs::cli {

// write FILE [--dry-run] [--no-backup] [--keep GROUPS] to one address;
// the exit status.
int writeCommand(const Options &o);

} // namespace vexs::cli
