// The configuration file: integer texts as hand-edited files hold them,
// defaults for anything missing or unreadable, and writes that keep the
// rest of the file.
#include "shell/ini_file.h"
#include "shell/port_map.h"
#include "shell/config_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace vexs;

class tst_config : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    QString path() const { return dir.filePath("Vexs.ini"); }
    void writeFile(const QByteArray &text)
    {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QByteArray readFile()
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init() { QFile::remove(path()); }
    void parseInteger_data();
    void parseInteger();
    void defaultsWithoutFile();
    void readsHandEditedFile();
    void longTextIsCut();
    void writeKeepsOtherSections();
    void optionalKeys_data();
    void optionalKeys();
    void writeCreatesFile();
    void writeFailsOnUnwritablePath();
    void portMapping_data();
    void portMapping();
    void configLocation_data();
    void configLocation();
    void folderProbe_data();
    void folderProbe();
};

void tst_config::parseInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    const int def = 1;
    QTest::newRow("decimal") << "4" << 4;
    QTest::newRow("leading blanks") << "   17" << 17;
    QTest::newRow("plus") << "+5" << 5;
    QTest::newRow("minus") << "-1" << -1;
    QTest::newRow("0x") << "0x3" << 3;
    QTest::newRow("0X upper digits") << "0X1F" << 31;
    QTest::newRow("dollar") << "$ff" << 255;
    QTest::newRow("x") << "x10" << 16;
    QTest::newRow("X") << "X10" << 16;
    QTest::newRow("negative hex") << "-$10" << -16;
    QTest::newRow("full pattern") << "$FFFFFFFF" << -1;
    QTest::newRow("0x alone") << "0x" << def;
    QTest::newRow("letters") << "abc" << def;
    QTest::newRow("trailing garbage") << "12ab" << def;
    QTest::newRow("trailing blank") << "12 " << def;
    QTest::newRow("hex digit in decimal") << "1f" << def;
    QTest::newRow("too big") << "99999999999" << def;
    QTest::newRow("sign alone") << "-" << def;
    QTest::newRow("empty") << "" << def;
}

void tst_config::parseInteger()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(IniFile::parseInteger(text, 1), value);
}

void tst_config::defaultsWithoutFile()
{
    const ConnectionSettings s = readConnectionSettings(IniFile(path()));
    QCOMPARE(s.address, 1);
    QCOMPARE(s.comPort, 1);
    QCOMPARE(s.baudIndex, 1);
    QCOMPARE(s.ip, QString("192.168.011.002"));
    QCOMPARE(s.ipPort, QString("5000"));
}

void tst_config::readsHandEditedFile()
{
    writeFile("; written by hand\r\n[vexs]\r\n UpDownAdr = 0x10 \r\nComboBoxBaud=abc\r\n"
              "EditIP=10.0.0.7\r\nEditIPPort=\"5001\"\r\n[Other]\r\nUpDownComPort=9\r\n");
    const ConnectionSettings s = readConnectionSettings(IniFile(path()));
    QCOMPARE(s.address, 16);
    QCOMPARE(s.baudIndex, 1); // unreadable: default
    QCOMPARE(s.comPort, 1);   // only in another section
    QCOMPARE(s.ip, QString("10.0.0.7"));
    QCOMPARE(s.ipPort, QString("5001")); // quotes of another program dropped
}

void tst_config::longTextIsCut()
{
    writeFile("[Vexs]\nEditIP=" + QByteArray(3000, 'a') + "\n");
    QCOMPARE(readConnectionSettings(IniFile(path())).ip.size(), 2047);
}

void tst_config::writeKeepsOtherSections()
{
    writeFile("[Ports]\nCOM1=/tmp/ttyVEXS\n; keep me\n\n[Vexs]\nUpDownAdr=3\nExtra=x\n");
    IniFile file(path());
    ConnectionSettings s;
    s.address = 7;
    s.baudIndex = -1;
    QVERIFY(writeConnectionSettings(file, s));
    const QByteArray text = readFile();
    QVERIFY(text.contains("[Ports]\nCOM1=/tmp/ttyVEXS\n; keep me\n"));
    QVERIFY(text.contains("Extra=x"));
    QCOMPARE(text.count("UpDownAdr="), 1);
    const ConnectionSettings back = readConnectionSettings(file);
    QCOMPARE(back.address, 7);
    QCOMPARE(back.baudIndex, -1);
    QCOMPARE(file.readString("Ports", "COM1", QString()), QString("/tmp/ttyVEXS"));
}

void tst_config::optionalKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("stored"); // empty: no such key
    // Every key beyond the plain program's five follows one rule.
    for (const char *key : {"FastExchange", "Framing", "ExtraWaitMs", "ReadRetries", "PauseMs", "Reconnect"}) {
        const QByteArray k(key);
        const int on = k == "ExtraWaitMs" || k == "PauseMs" ? 250 : k == "Framing" ? 3 : 1;
        QTest::newRow(qPrintable(k + ", default, no key: the file keeps its five keys"))
            << QString(key) << QByteArray() << 0 << QString();
        QTest::newRow(qPrintable(k + ", changed")) << QString(key) << QByteArray() << on << QString::number(on);
        QTest::newRow(qPrintable(k + ", back to the default"))
            << QString(key) << QByteArray("[Vexs]\n" + k + "=" + QByteArray::number(on) + "\n") << 0 << "0";
    }
}

void tst_config::optionalKeys()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, before);
    QFETCH(int, value);
    QFETCH(QString, stored);
    if (!before.isEmpty())
        writeFile(before);
    IniFile file(path());
    ConnectionSettings s;
    const QHash<QString, std::function<int &(ConnectionSettings &)>> fields = {
        {"Framing", [](ConnectionSettings &c) -> int & { return c.framing; }},
        {"ExtraWaitMs", [](ConnectionSettings &c) -> int & { return c.extraWaitMs; }},
        {"ReadRetries", [](ConnectionSettings &c) -> int & { return c.readRetries; }},
        {"PauseMs", [](ConnectionSettings &c) -> int & { return c.pauseMs; }},
    };
    if (key == "FastExchange")
        s.fastExchange = value != 0;
    else if (key == "Reconnect")
        s.reconnect = value != 0;
    else
        fields[key](s) = value;
    QVERIFY(writeConnectionSettings(file, s));
    QCOMPARE(file.readString("Vexs", key, QString()), stored);
    ConnectionSettings back = readConnectionSettings(file);
    const int read = key == "FastExchange" ? int(back.fastExchange)
                     : key == "Reconnect"  ? int(back.reconnect)
                                           : fields[key](back);
    QCOMPARE(read, value);
}

void tst_config::writeCreatesFile()
{
    IniFile file(path());
    QVERIFY(writeConnectionSettings(file, ConnectionSettings()));
    QCOMPARE(file.keys("Vexs"),
             QStringList({"UpDownAdr", "UpDownComPort", "ComboBoxBaud", "EditIP", "EditIPPort"}));
}

void tst_config::writeFailsOnUnwritablePath()
{
    IniFile file(dir.filePath("missing-folder/Vexs.ini"));
    QVERIFY(!writeConnectionSettings(file, ConnectionSettings()));
}

void tst_config::portMapping_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("path");
    QTest::newRow("default 1") << 1 << "/dev/ttyS0";
    QTest::newRow("default 12") << 12 << "/dev/ttyS11";
    QTest::newRow("mapped") << 3 << "/dev/ttyUSB0";
}

void tst_config::portMapping()
{
    QFETCH(int, port);
    QFETCH(QString, path);
    writeFile("[Ports]\nCOM3=/dev/ttyUSB0\n");
    QCOMPARE(serialDevicePath(port, this->path()), path);
}

void tst_config::configLocation_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("exeDirTakesFiles");
    QTest::addColumn<bool>("besideExecutable");
    QTest::newRow("portable, writable folder") << false << true << true;
    // Stands for a folder made read-only: as root the permission bits would
    // not stop a write, so the answer is injected.
    QTest::newRow("portable, read-only folder") << false << false << false;
    QTest::newRow("installed, writable by root") << true << true << false;
}

void tst_config::configLocation()
{
    QFETCH(bool, installed);
    QFETCH(bool, exeDirTakesFiles);
    QFETCH(bool, besideExecutable);
    QTemporaryDir root;
    const QString exeDir = installed ? QStringLiteral("/usr/bin") : root.filePath("portable");
    const QString userDir = root.filePath("home/.config/vexs-configurator");
    QStringList asked;
    const QString path = configPathFor(exeDir, userDir, [&](const QString &dir) {
        asked << dir;
        return exeDirTakesFiles;
    });
    QCOMPARE(path, (besideExecutable ? exeDir : userDir) + "/Vexs.ini");
    // The user folder exists once it is chosen, and only then.
    QCOMPARE(QFileInfo(userDir).isDir(), !besideExecutable);
    QVERIFY(asked.isEmpty() || asked == QStringList(exeDir));
}

void tst_config::folderProbe_data()
{
    QTest::addColumn<QString>("sub");
    QTest::addColumn<bool>("takes");
    QTest::newRow("writable folder") << "w" << true;
    QTest::newRow("missing folder") << "missing" << false;
    QTest::newRow("plain file") << "file" << false;
    QTest::newRow("read-only folder") << "ro" << false;
}

void tst_config::folderProbe()
{
    QFETCH(QString, sub);
    QFETCH(bool, takes);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkdir("w") && QDir(root.path()).mkdir("ro"));
    QFile(root.filePath("file")).open(QIODevice::WriteOnly);
    QFile::setPermissions(root.filePath("ro"), QFile::ReadOwner | QFile::ExeOwner);
    if (sub == "ro" && QFileInfo(root.filePath("ro")).isWritable())
        QSKIP("permission bits do not bind this user (root)");
    QCOMPARE(folderTakesNewFiles(root.filePath(sub)), takes);
    // The probe leaves nothing behind.
    QCOMPARE(QDir(root.filePath("w")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QFile::setPermissions(root.filePath("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QTEST_APPLESS_MAIN(tst_config)
#include "tst_config.moc"
