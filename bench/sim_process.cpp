#include "bench/sim_process.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

namespace vexs::bench {

bool startSimulator(QProcess &sim, const QStringList &arguments, const QString &link)
{
    const QString path =
        QFileInfo(QCoreApplication::applicationDirPath() + "/../sim/vexs-sim").absoluteFilePath();
    sim.setStandardErrorFile(QProcess::nullDevice());
    sim.start(path, arguments);
    if (!sim.waitForStarted()) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(path));
        return false;
    }
    if (link.isEmpty()) {
        QThread::msleep(300);
        return true;
    }
    for (int i = 0; i < 50 && !QFileInfo::exists(link); ++i)
        QThread::msleep(100);
    return true;
}

} // namespace vexs::bench
