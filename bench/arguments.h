#pragma once

#include <QByteArray>

namespace vexs::bench {

// argv[1] as a whole number of at least 1 (runs, seconds), or `fallback`
// when there is none; -1, after printing `usage` to stderr, when it is not
// such a number.
int countArgument(int argc, char *argv[], int fallback, const char *usage);

// n random octets, for the simulated recorder's settings area.
QByteArray randomBytes(int n);

} // namespace vexs::bench
