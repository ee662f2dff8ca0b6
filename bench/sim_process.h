#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace vexs::bench {

// Starts the built vexs-sim beside the bench (../sim/vexs-sim) with
// `arguments`, its log thrown away, and waits until `link` (its
// pseudo-terminal) exists, or briefly for a TCP port to listen when `link`
// is empty. False, with the reason on stderr, when it does not start.
bool startSimulator(QProcess &sim, const QStringList &arguments, const QString &link);

} // namespace vexs::bench
