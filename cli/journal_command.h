#pragma once

// vexs-cli journal: the write journal, one line a record.

#include <QString>

#include <functional>

namespace vexs::cli {

struct Options;

// `print` takes what goes to standard output, `say` the notes for stderr.
// Returns the exit status: 0, or 2 when there is no journal folder.
int journalCommand(const Options &o, const std::function<void(const QString &)> &print,
                   const std::function<void(const QString &)> &say);

} // namespace vexs::cli
