// Every kind of file the program saves, on a disk that runs full half-way
// through: a file size limit makes the kernel take the first part of a write
// and report no error for it, as a nearly full disk does. What was there
// stays, and nothing cut short is left.
#include "service/live_csv.h"
#include "settings/config_file.h"
#include "settings/settings_image.h"
#include "settings/whole_file.h"
#include "shell/ini_file.h"
#include "shell/log_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace vexs;

namespace {

// While it lives, no file may grow past `bytes`.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old{};
};

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_whole_files : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void savedWholeOrNotAtAll_data();
    void savedWholeOrNotAtAll();
    void appendedLinesAreNeverCut_data();
    void appendedLinesAreNeverCut();

private:
    QTemporaryDir m_dir;
};

void tst_whole_files::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The write past the limit fails with EFBIG instead of ending the test.
    std::signal(SIGXFSZ, SIG_IGN);
}

void tst_whole_files::savedWholeOrNotAtAll_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("configuration file") << "config";
    QTest::newRow("Vexs.ini") << "ini";
    QTest::newRow("any file") << "plain";
}

void tst_whole_files::savedWholeOrNotAtAll()
{
    QFETCH(QString, kind);
    const QString path = m_dir.filePath(kind);
    const QByteArray old = "[Old]\r\nKey=1\r\n";
    QVERIFY(saveWholeFile(path, old));
    QCOMPARE(contents(path), old);

    bool saved = true;
    QString error;
    {
        const FileSizeLimit limit(4096);
        if (kind == QLatin1String("config")) {
            saved = writeConfigFile(path, DeviceConfig{{}, {}, {}, QByteArray(SettingsImage::Size, 0)}, &error);
        } else if (kind == QLatin1String("ini")) {
            saved = IniFile(path).writeString(QStringLiteral("Old"), QStringLiteral("Long"), QString(5000, u'x'));
        } else {
            saved = saveWholeFile(path, QByteArray(5000, 'x'), &error);
        }
    }
    QVERIFY(!saved);
    QCOMPARE(contents(path), old);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).filter(kind), QStringList{kind});
    if (kind != QLatin1String("ini"))
        QVERIFY2(error.contains(QStringLiteral("нет места на диске")), qPrintable(error));
}

void tst_whole_files::appendedLinesAreNeverCut_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("live CSV") << "csv";
    QTest::newRow("log") << "log";
}

void tst_whole_files::appendedLinesAreNeverCut()
{
    QFETCH(QString, kind);
    const QString path = m_dir.filePath(kind + QStringLiteral(".txt"));
    LiveCsvRecorder csv;
    RotatingLog log(path);
    const QDateTime now = QDateTime::currentDateTime();
    auto append = [&](int n) {
        return kind == QLatin1String("csv") ? csv.append(now, nullptr) : log.append(QString(n, u'x'));
    };
    if (kind == QLatin1String("csv"))
        QVERIFY(csv.open(path));
    QVERIFY(append(10));
    QVERIFY(append(10));
    const QByteArray before = contents(path);
    {
        const FileSizeLimit limit(before.size() + 10);
        QVERIFY(!append(100));
    }
    QCOMPARE(contents(path), before);
    // Once there is room again the next line starts on a line of its own.
    QVERIFY(append(10));
    QVERIFY(contents(path).startsWith(before));
    QCOMPARE(contents(path).count('\n'), before.count('\n') + 1);
}

QTEST_GUILESS_MAIN(tst_whole_files)
#include "tst_whole_files_unix.moc"
