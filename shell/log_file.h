#pragma once

// The program's log file: every message of the program (the link's
// categories, warnings of any part) also goes to vexs.log in the user's data
// folder, so what a desktop user never sees on standard error can still be
// looked at after a failure.

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QString>
#include <QtGlobal>

class QDateTime;

namespace vexs {

// Appends lines to a file that never grows much past maxBytes: before a line
// that would take it past, path becomes path.1, path.1 becomes path.2 and so
// on, keeping `files` files in all. Thread-safe.
class RotatingLog
{
public:
    explicit RotatingLog(const QString &path, qint64 maxBytes = 1024 * 1024, int files = 3);

    QString path() const { return m_path; }
    // Appends text and a line feed; false when the file cannot be written,
    // or is full and cannot be moved aside (it is then kept as it is).
    bool append(const QString &line);

private:
    bool rotate();
    static constexpr int kRotationRetryMs = 10000;

    QMutex m_mutex;
    QString m_path;
    qint64 m_maxBytes;
    int m_files;
    QFile m_file;
    QElapsedTimer m_failedRotation; // since a rotation failed; invalid when none did
};

// One line as the log file holds it:
// "2024-03-12 09:07:05.123 info vexs.link: text".
QString logLine(const QDateTime &time, QtMsgType type, const char *category,
                const QString &message);

// vexs.log in QStandardPaths::AppDataLocation (the folder is made when missing).
QString logFilePath();

// Sends every message to the log file as well, chaining the handler that was
// installed before (standard error keeps working with its usual logging
// rules). The link's protocol events go to the log whatever those rules say.
// Only the first call installs anything.
void installLogFile();
void installLogFile(const QString &path);

// Whether the hex dumps of the frames (vexs.link.frames, debug level) go to
// the log file: the traffic monitor's "Писать в журнал". Off at start.
void setFramesLogged(bool on);
bool framesLogged();

} // namespace vexs
