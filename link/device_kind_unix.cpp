#include "link/device_kind.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexs {

std::optional<QString> nonSerialKind(const QString &path)
{
    struct stat st{};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    if (S_ISREG(st.st_mode))
        return QStringLiteral("обычный файл");
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("папка");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("канал");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("сокет");
    return std::nullopt;
}

std::optional<QString> nonTerminalDevice(const QString &path)
{
    struct stat st{};
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return std::nullopt;
    // Non-blocking and without becoming the controlling terminal: only asked
    // whether it is one.
    const int fd = ::open(name.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal ? std::nullopt : std::optional(QStringLiteral("не терминал"));
}

} // namespace vexs
