#include "settings/whole_file.h"

#include <QFile>
#include <QSaveFile>

namespace vexs {

namespace {

QString failure(const QFileDevice &file, qint64 written, qint64 wanted)
{
    // A write that stops short without an error is the disk running full.
    if (written >= 0 && written < wanted)
        return QStringLiteral("записано %1 из %2 байт (нет места на диске?)").arg(written).arg(wanted);
    return file.error() == QFileDevice::NoError ? QStringLiteral("ошибка записи") : file.errorString();
}

} // namespace

bool saveWholeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const qint64 written = file.write(bytes);
    if (written == bytes.size() && file.commit())
        return true;
    if (error)
        *error = failure(file, written, bytes.size());
    file.cancelWriting();
    return false;
}

bool appendWhole(QFile &file, const QByteArray &bytes, QString *error)
{
    const qint64 before = file.size();
    const qint64 written = file.write(bytes);
    if (written == bytes.size())
        return true;
    if (error)
        *error = failure(file, written, bytes.size());
    // What did reach the disk goes again, so the next line starts clean.
    if (written > 0)
        file.resize(before);
    return false;
}

} // namespace vexs
