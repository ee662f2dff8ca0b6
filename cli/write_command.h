#pragma once

#include "cli/cli_options.h"
#include "settings/config_transfer.h"

#include <optional>

namespace vexs::cli {

// write FILE [--dry-run] [--no-backup] [--keep GROUPS] to one address;
// the exit status.
int writeCommand(const Options &o);

// A write's options as the command line gives them: the backup (unless
// --no-backup) in the user's data folder, the program, --keep; nullopt with
// `error` when there is no folder for the backup.
std::optional<WriteOptions> writeOptionsOf(const Options &o, QString *error);

} // namespace vexs::cli
