#pragma once

// Whether a path names a serial device at all. A port mapped by mistake to
// a regular file or a folder must not be opened and written to, and a
// character device that is no terminal (/dev/null) would take every
// request and never answer.

#include <QString>

#include <optional>

namespace vexs {

// What the path names, when it exists and is no serial device: "обычный
// файл", "папка", "канал", "сокет"; nullopt otherwise (also for a path that
// does not exist, which is told apart elsewhere). Looks only, opens nothing.
std::optional<QString> nonSerialKind(const QString &path);

// After an open of a character device failed: "не терминал" when the device
// is no terminal at all (/dev/null), nullopt when it is one or cannot tell.
std::optional<QString> nonTerminalDevice(const QString &path);

} // namespace vexs
