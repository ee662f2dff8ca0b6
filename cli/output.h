#pragma once

// What every command of vexs-cli shares: its exit statuses, standard output
// that must be seen to arrive, and the lines on stderr.

#include "ui/page_context.h"

#include <QString>

namespace vexs::cli {

enum Exit { kOk = 0, kDifferent = 1, kFailed = 2 };

// To standard output; a failed write is remembered for finish().
void print(const QString &text);
// One line on stderr.
void say(const QString &text);
// The exit status, unless what was printed did not reach standard output:
// a full disk or a closed pipe behind it must not end in success.
int finish(int exit);
// "vexs-cli 1.18", as files and backups name their maker.
QString program();

// The steps of a write on stderr, one line each, for a person watching.
class StepLines : public IShellStatus
{
public:
    void showInfo(const QString &) override {}
    void showNavigation() override {}
    void beginProgress(const QString &what, int, bool) override { say(what + QStringLiteral("...")); }
    bool stepProgress(int) override { return true; }
    void endProgress() override {}
};

} // namespace vexs::cli
