// Writing our keys into a Vexs.ini that other people edit: every other line
// keeps its bytes and line end, texts that would break a line are refused,
// and a file too large or not text is left alone at close.
#include "shell/config_file.h"
#include "shell/ini_file.h"
#include "tests/support/window_fixture.h"
#include "ui/controls.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vexs;
using vexs::test::CapturedBoxes;
using vexs::test::WindowFixture;

class tst_ini_bytes : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    QString path() const { return dir.filePath("Vexs.ini"); }
    void writeFile(const QByteArray &bytes)
    {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray readFile()
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void writeKeepsOtherBytes_data();
    void writeKeepsOtherBytes();
    void textsThatWouldBreakALineAreRefused_data();
    void textsThatWouldBreakALineAreRefused();
    void unusableFileIsLeftAlone_data();
    void unusableFileIsLeftAlone();
    void writeNeverGrowsPastTheLimit();
};

void tst_ini_bytes::writeKeepsOtherBytes_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    // "; Комментарий" in Windows-1251.
    const QByteArray comment("; \xCA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9");
    QTest::newRow("CR LF, Windows-1251 comment, key replaced")
        << comment + "\r\n[Vexs]\r\nUpDownAdr=3\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n"
        << "UpDownAdr" << "7"
        << comment + "\r\n[Vexs]\r\nUpDownAdr=7\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n";
    QTest::newRow("CR LF, key added")
        << QByteArray("[Vexs]\r\nUpDownAdr=3\r\n\r\n[Ports]\r\n") << "EditIP" << "10.0.0.1"
        << QByteArray("[Vexs]\r\nUpDownAdr=3\r\nEditIP=10.0.0.1\r\n\r\n[Ports]\r\n");
    QTest::newRow("section added after a last line without line end")
        << comment + "\r\n[Ports]\r\nCOM1=/dev/x" << "UpDownAdr" << "7"
        << comment + "\r\n[Ports]\r\nCOM1=/dev/x\r\n\r\n[Vexs]\r\nUpDownAdr=7\r\n";
    QTest::newRow("UTF-8 mark kept")
        << QByteArray("\xEF\xBB\xBF[Vexs]\nUpDownAdr=3\n") << "UpDownAdr" << "7"
        << QByteArray("\xEF\xBB\xBF[Vexs]\nUpDownAdr=7\n");
    QTest::newRow("Windows-1251 file gets a Windows-1251 value")
        << comment + "\r\n[Vexs]\r\n" << "EditIP" << QStringLiteral("шлюз")
        << comment + "\r\n[Vexs]\r\nEditIP=\xF8\xEB\xFE\xE7\r\n";
}

void tst_ini_bytes::writeKeepsOtherBytes()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    writeFile(before);
    IniFile file(path());
    QVERIFY(file.writeString("Vexs", key, value));
    QCOMPARE(readFile(), after);
    QCOMPARE(file.readString("Vexs", key, QString()), value);
}

void tst_ini_bytes::textsThatWouldBreakALineAreRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("CR LF") << "10.0.0.9\r\n[Other]";
    QTest::newRow("line feed") << "10.0.0.9\nUpDownAdr=99";
    QTest::newRow("carriage return") << "10.0.0.9\r";
    QTest::newRow("tab") << "10.0.0.9\t";
    QTest::newRow("zero character") << QStringLiteral("10.0.0.9") + QChar(0);
    QTest::newRow("line separator") << QStringLiteral("10.0.0.9\u2028");
}

void tst_ini_bytes::textsThatWouldBreakALineAreRefused()
{
    QFETCH(QString, text);
    const QByteArray before("[Vexs]\r\nUpDownAdr=3\r\nEditIP=10.0.0.1\r\n");
    writeFile(before);
    IniFile file(path());
    QVERIFY(!file.writeString("Vexs", "EditIP", text));
    QCOMPARE(readFile(), before);
    // The connection settings leave such a text out and write the rest.
    ConnectionSettings s;
    s.address = 7;
    s.ip = text;
    QVERIFY(writeConnectionSettings(file, s));
    QCOMPARE(file.readString("Vexs", "EditIP", QString()), QString("10.0.0.1"));
    QCOMPARE(file.readInteger("Vexs", "UpDownAdr", 0), 7);
    QCOMPARE(readFile().count('\n'), 6); // header and five keys, nothing more
}

void tst_ini_bytes::unusableFileIsLeftAlone_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message");
    const QByteArray settings("[Vexs]\r\nUpDownAdr=9\r\nEditIPPort=6000\r\n");
    QTest::newRow("over 1 MiB") << settings + "; " + QByteArray(1 << 20, 'x') + "\r\n"
                                << "Файл Vexs.ini не изменен: он больше 1 МБ";
    QTest::newRow("zero octet") << settings + QByteArray("\0\r\n", 3)
                                << "Файл Vexs.ini не изменен: он не текстовый";
}

void tst_ini_bytes::unusableFileIsLeftAlone()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    WindowFixture::Options o;
    o.sim = false;
    o.config = contents;
    WindowFixture fx(o);
    QCOMPARE(fx.controls().position("UpDownAdr"), 1);
    QCOMPARE(fx.controls().text("EditIPPort"), QString("5000"));
    fx.window().close();
    QCOMPARE(fx.boxes.texts(), QStringList{message});
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Info);
    QFile f(fx.configPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), contents);
}

void tst_ini_bytes::writeNeverGrowsPastTheLimit()
{
    const QByteArray nearly = "[Vexs]\r\n; " + QByteArray(int(IniFile::MaxSize) - 20, 'x') + "\r\n";
    QVERIFY(nearly.size() <= IniFile::MaxSize);
    QVERIFY(!IniFile::withValue(nearly, "Ports", "COM3", "/dev/ttyUSB0"));
    QVERIFY(IniFile::withValue("[Vexs]\r\n", "Ports", "COM3", "/dev/ttyUSB0"));
}

QTEST_MAIN(tst_ini_bytes)
#include "tst_ini_bytes.moc"
