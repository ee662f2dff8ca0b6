#pragma once

// Every file the program saves goes through here, so that a disk that fills
// up half-way never leaves a file that looks saved but is cut short. The
// kernel may take part of a write and report no error (a nearly full disk
// does exactly that); only a count of every octet tells.

#include <QByteArray>
#include <QString>

class QFile;

namespace vexs {

// Writes `bytes` to `path` whole or not at all: into a temporary file beside
// it that replaces the old file only once every octet is written, flushed
// and synced. On failure the old file stays as it was and `error` (if
// given) says why, in Russian, without the path.
bool saveWholeFile(const QString &path, const QByteArray &bytes, QString *error = nullptr);

// Appends `bytes` to `file`, opened Unbuffered so that nothing waits in a
// buffer, whole or not at all: a write cut short is cut back off again, so
// the file never ends in half a line. On failure `error` (if given) says why.
bool appendWhole(QFile &file, const QByteArray &bytes, QString *error = nullptr);

} // namespace vexs
