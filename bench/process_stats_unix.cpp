#include "bench/process_stats.h"

#include <QFile>

#include <sys/resource.h>

namespace vexs::bench {

namespace {
double cpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    auto ms = [](const timeval &t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}
} // namespace

double processCpuMs()
{
    return cpuMs(RUSAGE_SELF);
}

double threadCpuMs()
{
    return cpuMs(RUSAGE_THREAD);
}

long residentKb()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace vexs::bench
