#include "shell/log_file.h"

#include "settings/whole_file.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QStandardPaths>

#include <atomic>
#include <memory>

namespace vexs {

namespace {

constexpr char kLinkCategory[] = "vexs.link";
constexpr char kFramesCategory[] = "vexs.link.frames";

std::atomic<bool> g_installed{false};
std::atomic<bool> g_frames{false};
std::unique_ptr<RotatingLog> g_log;
QtMessageHandler g_previousHandler = nullptr;
QLoggingCategory::CategoryFilter g_previousFilter = nullptr;
// What the logging rules alone enable of the two link categories, one bit
// per message type (-1 before the filter has seen the category). Standard
// error shows only those; the log file may take more.
std::atomic<int> g_linkRules{-1};
std::atomic<int> g_framesRules{-1};
thread_local bool t_inHandler = false;

int typeBit(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return 1;
    case QtInfoMsg: return 2;
    case QtWarningMsg: return 4;
    case QtCriticalMsg: return 8;
    case QtFatalMsg: break;
    }
    return 0;
}

int enabledTypes(const QLoggingCategory *category)
{
    return (category->isDebugEnabled() ? 1 : 0) | (category->isInfoEnabled() ? 2 : 0)
           | (category->isWarningEnabled() ? 4 : 0) | (category->isCriticalEnabled() ? 8 : 0);
}

void filter(QLoggingCategory *category)
{
    // The rules first (QT_LOGGING_RULES and the categories' own levels);
    // the log file's additions on top.
    if (g_previousFilter)
        g_previousFilter(category);
    const char *name = category->categoryName();
    if (qstrcmp(name, kLinkCategory) == 0) {
        g_linkRules = enabledTypes(category);
        category->setEnabled(QtInfoMsg, true);
        category->setEnabled(QtWarningMsg, true);
        category->setEnabled(QtCriticalMsg, true);
    } else if (qstrcmp(name, kFramesCategory) == 0) {
        g_framesRules = enabledTypes(category);
        if (g_frames)
            category->setEnabled(QtDebugMsg, true);
    }
}

bool rulesShow(const char *category, QtMsgType type)
{
    int rules = -1;
    if (qstrcmp(category, kLinkCategory) == 0)
        rules = g_linkRules;
    else if (qstrcmp(category, kFramesCategory) == 0)
        rules = g_framesRules;
    const int bit = typeBit(type);
    return rules < 0 || bit == 0 || (rules & bit);
}

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const char *category = context.category ? context.category : "default";
    // A message raised while writing the log (a file warning) goes to the
    // previous handler only.
    if (!t_inHandler && g_log) {
        t_inHandler = true;
        const bool frame = type == QtDebugMsg && qstrcmp(category, kFramesCategory) == 0;
        if (!frame || g_frames)
            g_log->append(logLine(QDateTime::currentDateTime(), type, category, message));
        t_inHandler = false;
    }
    if (rulesShow(category, type) && g_previousHandler)
        g_previousHandler(type, context, message);
}

const char *typeName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "debug";
    case QtInfoMsg: return "info";
    case QtWarningMsg: return "warning";
    case QtCriticalMsg: return "critical";
    case QtFatalMsg: return "fatal";
    }
    return "?";
}

} // namespace

RotatingLog::RotatingLog(const QString &path, qint64 maxBytes, int files)
    : m_path(path), m_maxBytes(maxBytes), m_files(qMax(1, files)), m_file(path)
{
}

bool RotatingLog::append(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    QMutexLocker lock(&m_mutex);
    if (!m_file.isOpen() && !m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    if (m_file.size() > 0 && m_file.size() + bytes.size() > m_maxBytes && !rotate())
        return false;
    // Unbuffered, line by line: the lines before a crash are the ones wanted,
    // and a full disk leaves no half line for the next to run on from.
    return appendWhole(m_file, bytes);
}

bool RotatingLog::rotate()
{
    m_file.close();
    if (m_files > 1) {
        // When the full log cannot take its place among the older files
        // (another program holds one of them), nothing is moved or lost and
        // the next try waits a while instead of coming with every line.
        if (m_failedRotation.isValid() && !m_failedRotation.hasExpired(kRotationRetryMs))
            return false;
        const auto numbered = [this](int n) { return m_path + QLatin1Char('.') + QString::number(n); };
        const QString aside = m_path + QStringLiteral(".rotating");
        // A log left aside by a run that stopped half-way is the newest older one.
        if (QFileInfo::exists(aside) && !QFileInfo::exists(numbered(1)))
            QFile::rename(aside, numbered(1));
        if (QFileInfo::exists(aside) || !QFile::rename(m_path, aside)) {
            m_failedRotation.start();
            return false;
        }
        QFile::remove(numbered(m_files - 1));
        for (int n = m_files - 2; n >= 1; --n)
            QFile::rename(numbered(n), numbered(n + 1));
        if (!QFile::rename(aside, numbered(1))) {
            QFile::rename(aside, m_path);
            m_failedRotation.start();
            return false;
        }
        m_failedRotation.invalidate();
    }
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

QString logLine(const QDateTime &time, QtMsgType type, const char *category,
                const QString &message)
{
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + QLatin1Char(' ')
           + QLatin1String(typeName(type)) + QLatin1Char(' ') + QLatin1String(category)
           + QStringLiteral(": ") + message;
}

QString logFilePath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return QDir(folder).filePath(QStringLiteral("vexs.log"));
}

void installLogFile()
{
    if (!g_installed)
        installLogFile(logFilePath());
}

void installLogFile(const QString &path)
{
    if (g_installed.exchange(true))
        return;
    g_log = std::make_unique<RotatingLog>(path);
    g_previousHandler = qInstallMessageHandler(handler);
    // installFilter runs the new filter over the existing categories before
    // it returns the previous one; those categories still hold what the
    // rules gave them, so the first pass reads the rules right.
    g_previousFilter = QLoggingCategory::installFilter(filter);
}

void setFramesLogged(bool on)
{
    g_frames = on;
    // Installing the filter again applies it to every category anew.
    if (g_installed)
        QLoggingCategory::installFilter(filter);
}

bool framesLogged()
{
    return g_frames;
}

} // namespace vexs
