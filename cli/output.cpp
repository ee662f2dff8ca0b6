#include "cli/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vexs::cli {

namespace {
int g_outputError = 0; // errno of the first failed write
}

void print(const QString &text)
{
    if ((std::fputs(text.toUtf8().constData(), stdout) < 0 || std::fflush(stdout) != 0) && !g_outputError)
        g_outputError = errno ? errno : EIO;
}

void say(const QString &text)
{
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

int finish(int exit)
{
    if (!g_outputError)
        return exit;
    say(QStringLiteral("vexs-cli: вывод не записан: %1")
            .arg(QString::fromLocal8Bit(std::strerror(g_outputError))));
    return kFailed;
}

QString program()
{
    return QStringLiteral("vexs-cli " VEXS_VERSION);
}

} // namespace vexs::cli
