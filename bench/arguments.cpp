#include "bench/arguments.h"

#include <QRandomGenerator>
#include <QString>

#include <cstdio>

namespace vexs::bench {

int countArgument(int argc, char *argv[], int fallback, const char *usage)
{
    if (argc < 2)
        return fallback;
    bool ok = false;
    const int count = QString::fromLocal8Bit(argv[1]).toInt(&ok);
    if (ok && count >= 1)
        return count;
    std::fprintf(stderr, "usage: %s\n", usage);
    return -1;
}

QByteArray randomBytes(int n)
{
    QByteArray bytes(n, '\0');
    for (char &b : bytes)
        b = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

} // namespace vexs::bench
