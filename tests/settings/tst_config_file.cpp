#include "settings/config_file.h"
#include "settings/config_groups.h"
#include "settings/config_transfer.h"
#include "settings/encodings.h"
#include "settings/settings_image.h"
#include "sim/recorder_model.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

using namespace vexs;

namespace {

const QString kName = QStringLiteral("recorder.json");

DeviceConfig factoryConfig()
{
    RecorderModel model;
    DeviceConfig c;
    c.program = QStringLiteral("test");
    c.readAt = QDateTime(QDate(2025, 3, 14), QTime(10, 22, 31), Qt::OffsetFromUTC, 3 * 3600);
    c.identification = model.identification();
    c.image = model.settingsArea();
    return c;
}

QJsonObject fileOf(const DeviceConfig &c)
{
    return QJsonDocument::fromJson(configToJson(c)).object();
}

void setField(QJsonObject &root, const QString &group, const QString &field, const QJsonValue &value)
{
    QJsonObject groups = root.value(QLatin1String("groups")).toObject();
    QJsonObject g = groups.value(group).toObject();
    QJsonObject fields = g.value(QLatin1String("fields")).toObject();
    fields.insert(field, value);
    g.insert(QStringLiteral("fields"), fields);
    groups.insert(group, g);
    root.insert(QStringLiteral("groups"), groups);
}

std::optional<DeviceConfig> load(const QJsonObject &root, QString *error)
{
    return configFromJson(QJsonDocument(root).toJson(), kName, error);
}

QJsonValue jsonValue(const QByteArray &text)
{
    return QJsonDocument::fromJson("[" + text + "]").array().at(0);
}

} // namespace

class TestConfigFile : public QObject
{
    Q_OBJECT
private slots:
    void roundTripKeepsEveryOctet_data();
    void roundTripKeepsEveryOctet();
    void handEditsEncodeAsThePageWould_data();
    void handEditsEncodeAsThePageWould();
    void realsShownRoundedStayExact_data();
    void realsShownRoundedStayExact();
    void badValueNamesFileGroupAndField_data();
    void badValueNamesFileGroupAndField();
    void badFileIsRefused_data();
    void badFileIsRefused();
    void brokenJsonNamesLineAndColumn_data();
    void brokenJsonNamesLineAndColumn();
    void comparisonNamesFieldsAndKeepsIdentificationApart();
    void octetsNoFieldShowsStillDiffer_data();
    void octetsNoFieldShowsStillDiffer();
    void writeSummarySaysWhatHappened_data();
    void writeSummarySaysWhatHappened();
};

void TestConfigFile::roundTripKeepsEveryOctet_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::newRow("factory") << RecorderModel().settingsArea();
    QTest::newRow("zeros") << QByteArray(SettingsImage::Size, '\0');
    // Out-of-list indexes, NaN reals, a point count of 255, 0x13 in texts.
    QTest::newRow("all ones") << QByteArray(SettingsImage::Size, '\xFF');
    QByteArray random(SettingsImage::Size, '\0');
    QRandomGenerator gen(7);
    for (char &b : random)
        b = char(gen.bounded(256));
    QTest::newRow("random") << random;
}

void TestConfigFile::roundTripKeepsEveryOctet()
{
    QFETCH(QByteArray, image);
    DeviceConfig c = factoryConfig();
    c.image = image;
    QString error;
    const auto back = configFromJson(configToJson(c), kName, &error);
    QVERIFY2(back, qPrintable(error));
    QCOMPARE(back->image.toHex(), image.toHex());
    QCOMPARE(back->identification, c.identification);
    QCOMPARE(back->readAt, c.readAt);
    QVERIFY(compareGroups(c, *back).isEmpty());
}

void TestConfigFile::handEditsEncodeAsThePageWould_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("offset"); // in the group's record
    QTest::addColumn<QByteArray>("octets");
    QTest::newRow("list by text") << "measurement.2" << "signal" << QByteArray("\"Ток 0..5mA\"") << 1
                                  << QByteArray("0d");
    QTest::newRow("list by index") << "measurement.2" << "signal" << QByteArray("13") << 1 << QByteArray("0d");
    QTest::newRow("list by both") << "measurement.2" << "signal"
                                  << QByteArray(R"({"index": 13, "text": "Ток 0..5mA"})") << 1 << QByteArray("0d");
    QTest::newRow("real, comma") << "measurement.1" << "rangeHigh" << QByteArray("\"260,5\"") << 14
                                 << QByteArray("00408243");
    QTest::newRow("real, JSON number") << "setpoint.8" << "value" << QByteArray("-12.5") << 4
                                       << QByteArray("000048c1");
    QTest::newRow("units in Windows-1251") << "measurement.1" << "units" << QByteArray("\"м3/ч\"") << 22
                                           << QByteArray("ec332ff70000");
    // The low nibble (colour above, red) stays.
    QTest::newRow("high nibble") << "measurement.1" << "barColourBelow" << QByteArray("\"Зеленый\"") << 31
                                 << QByteArray("10");
    QTest::newRow("point count") << "math.1" << "points" << QByteArray(R"([[0, 0], ["10", "20,5"]])") << 24
                                 << QByteArray("02");
    QTest::newRow("second point") << "math.1" << "points" << QByteArray(R"([[0, 0], ["10", "20,5"]])") << 30
                                  << QByteArray("00002041");
    // The page sends 0.0 past the count, whatever the table held.
    QTest::newRow("past the count") << "math.1" << "points" << QByteArray(R"([[0, 0], ["10", "20,5"]])") << 34
                                    << QByteArray("00000000");
    QTest::newRow("spinner") << "network" << "address" << QByteArray("17") << 0 << QByteArray("11");
    QTest::newRow("masked text") << "network" << "ip" << QByteArray("\"010.000.000.001\"") << 4
                                 << QByteArray("3031302e3030302e3030302e30303113");
    QTest::newRow("display channel group") << "display.channel" << "sound" << QByteArray("\"Вкл\"") << 7
                                           << QByteArray("01");
}

void TestConfigFile::handEditsEncodeAsThePageWould()
{
    QFETCH(QString, group);
    QFETCH(QString, field);
    QFETCH(QByteArray, value);
    QFETCH(int, offset);
    QFETCH(QByteArray, octets);
    const DeviceConfig original = factoryConfig();
    QJsonObject root = fileOf(original);
    setField(root, group, field, jsonValue(value));
    QString error;
    const auto edited = load(root, &error);
    QVERIFY2(edited, qPrintable(error));
    const ConfigGroup &g = *findConfigGroup(group);
    const QByteArray record = edited->groupRecord(g);
    QCOMPARE(record.mid(offset, octets.size() / 2).toHex(), octets);
    // Nothing outside the edited group moves.
    for (const ConfigGroup &other : configGroups()) {
        if (other.layout != g.layout || other.item != g.item)
            QCOMPARE(edited->groupRecord(other).toHex(), original.groupRecord(other).toHex());
    }
}

void TestConfigFile::realsShownRoundedStayExact_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("offset"); // of the held real, in the group's record
    QTest::addColumn<float>("held");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<float>("loaded");
    QTest::newRow("text as the file shows it") << "setpoint.1" << 4 << 0.0034f << "value"
                                               << QByteArray("\"0.003\"") << 0.0034f;
    QTest::newRow("change below the rounding") << "setpoint.1" << 4 << 0.0034f << "value"
                                               << QByteArray("\"0.0030\"") << 0.003f;
    QTest::newRow("another point edited") << "math.1" << 26 << 0.0004f << "points"
                                          << QByteArray(R"([["0.000", "0"], ["1", "2"]])") << 0.0004f;
}

void TestConfigFile::realsShownRoundedStayExact()
{
    QFETCH(QString, group);
    QFETCH(int, offset);
    QFETCH(float, held);
    QFETCH(QString, field);
    QFETCH(QByteArray, value);
    QFETCH(float, loaded);
    const ConfigGroup &g = *findConfigGroup(group);
    DeviceConfig original = factoryConfig();
    writeFloat(original.image, g.layout->recordOffset(g.item) + offset, held);
    QJsonObject root = fileOf(original);
    setField(root, group, field, jsonValue(value));
    QString error;
    const auto edited = load(root, &error);
    QVERIFY2(edited, qPrintable(error));
    QCOMPARE(readFloat(edited->groupRecord(g), offset), loaded);
    // A comparison tells apart what the rounding shows alike.
    QCOMPARE(compareGroups(original, *edited).isEmpty(), original.image == edited->image);
}

void TestConfigFile::badValueNamesFileGroupAndField_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("not a number") << "measurement.1" << "rangeHigh" << QByteArray("\"25O\"")
                                  << "Канал 1: ВПИ.Неверное значение";
    QTest::newRow("real out of range") << "measurement.3" << "coldJunctionCorrection" << QByteArray("30")
                                       << "Канал 3: Поправка XC. Значение должно быть от -20 до +20";
    QTest::newRow("not Windows-1251") << "math.2" << "units" << QByteArray("\"k✓\"")
                                      << "Канал 2: Ед. измерения: символ «✓» нельзя передать в прибор";
    QTest::newRow("text too long") << "measurement.1" << "units" << QByteArray("\"1234567\"")
                                   << "не длиннее 6 символов";
    QTest::newRow("no such item") << "measurement.1" << "signal" << QByteArray("\"Ток 4..21mA\"")
                                  << "нет пункта «Ток 4..21mA»";
    QTest::newRow("index and text differ") << "measurement.1" << "signal"
                                           << QByteArray(R"({"index": 13, "text": "Ток 4..20mA"})")
                                           << "номер пункта 13 и текст «Ток 4..20mA» не совпадают";
    QTest::newRow("index past the list") << "output.1" << "channel" << QByteArray("40")
                                         << "нет пункта с номером 40";
    QTest::newRow("not a list value") << "setpoint.1" << "enabled" << QByteArray("true")
                                      << "ожидается пункт списка";
    QTest::newRow("mask not filled") << "network" << "ip" << QByteArray("\"192.168.11.2\"") << "Неверный IP-адрес";
    QTest::newRow("port") << "network" << "port" << QByteArray("\"50\"") << "Неверный порт";
    QTest::newRow("IP group past 255") << "network" << "mask" << QByteArray("\"255.256.000.000\"")
                                       << "Неверная маска подсети";
    QTest::newRow("line break after the IP") << "network" << "ip" << QByteArray(R"("010.000.000.001\n")")
                                             << "Неверный IP-адрес";
    QTest::newRow("pad byte inside a text") << "measurement.1" << "units" << QByteArray(R"("м\u00003")")
                                            << "символ с кодом 0 нельзя передать в прибор";
    QTest::newRow("tab inside a text") << "math.1" << "units" << QByteArray(R"("м\t3")")
                                       << "символ с кодом 9 нельзя передать в прибор";
    QTest::newRow("line break inside a text") << "measurement.2" << "units" << QByteArray(R"("м\n")")
                                              << "символ с кодом 10 нельзя передать в прибор";
    QTest::newRow("address 0") << "network" << "address" << QByteArray("0") << "от 1 до 255";
    QTest::newRow("no points") << "math.1" << "points" << QByteArray("[]") << "от 1 до 32 точек";
    QTest::newRow("bad point") << "math.4" << "points" << QByteArray(R"([[1, 2], ["x", 1]])")
                               << "Канал 4: Неверное значение X в строке 2";
    QTest::newRow("unknown field") << "recording" << "speed" << QByteArray("1") << "неизвестное поле «speed»";
}

void TestConfigFile::badValueNamesFileGroupAndField()
{
    QFETCH(QString, group);
    QFETCH(QString, field);
    QFETCH(QByteArray, value);
    QFETCH(QString, message);
    QJsonObject root = fileOf(factoryConfig());
    setField(root, group, field, jsonValue(value));
    QString error;
    QVERIFY(!load(root, &error));
    QVERIFY2(error.startsWith(QStringLiteral("Файл «%1», группа %2 ").arg(kName, group)), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("«%1»").arg(field)), qPrintable(error));
    QVERIFY2(error.contains(message), qPrintable(error));
}

void TestConfigFile::badFileIsRefused_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");
    QTest::newRow("not JSON") << "cut" << "не JSON";
    QTest::newRow("other format") << "format" << "не файл конфигурации прибора";
    QTest::newRow("other version") << "version" << "версия формата 2 не поддерживается";
    QTest::newRow("version as text") << "version text" << "версия формата \"1\" не поддерживается (нужна 1)";
    QTest::newRow("no version") << "no version" << "нет версии формата";
    // A NUL would end the message there in a terminal.
    QTest::newRow("NUL in a key") << "key with NUL" << "неизвестный ключ «gr\\u0000oups»";
    QTest::newRow("no image") << "no image" << "нет образа настроек (image)";
    QTest::newRow("truncated image") << "short image" << "образ настроек (image): 1536 октетов вместо 1544";
    QTest::newRow("image not hex") << "image not hex" << "образ настроек (image): не шестнадцатеричная запись";
    QTest::newRow("unknown group") << "group" << "неизвестная группа «measurement.5»";
    QTest::newRow("misspelt key") << "Groups" << "неизвестный ключ «Groups»";
    QTest::newRow("identification") << "identification" << "идентификация (identification.raw)";
    // The parser would keep the later of two equal keys and drop the other.
    QTest::newRow("repeated key") << "repeat format" << "ключ «format» повторяется";
    QTest::newRow("repeated field") << "repeat rangeHigh"
                                    << "ключ «rangeHigh» повторяется в groups / measurement.1 / fields";
    QTest::newRow("repeated field, escaped")
        << "repeat rangeHig\\u0068" << "ключ «rangeHigh» повторяется в groups / measurement.1 / fields";
}

void TestConfigFile::badFileIsRefused()
{
    QFETCH(QString, damage);
    QFETCH(QString, message);
    QJsonObject root = fileOf(factoryConfig());
    QJsonArray image = root.value(QLatin1String("image")).toArray();
    if (damage == QLatin1String("format"))
        root.insert(QStringLiteral("format"), QStringLiteral("other"));
    else if (damage == QLatin1String("version"))
        root.insert(QStringLiteral("version"), 2);
    else if (damage == QLatin1String("version text"))
        root.insert(QStringLiteral("version"), QStringLiteral("1"));
    else if (damage == QLatin1String("no version"))
        root.remove(QStringLiteral("version"));
    else if (damage == QLatin1String("key with NUL"))
        root.insert(QStringLiteral("gr") + QChar(0) + QStringLiteral("oups"), QJsonObject());
    else if (damage == QLatin1String("no image"))
        root.remove(QStringLiteral("image"));
    else if (damage == QLatin1String("short image"))
        image.removeLast();
    else if (damage == QLatin1String("image not hex"))
        image.replace(3, image.at(3).toString().replace(0, 2, QStringLiteral("zz")));
    else if (damage == QLatin1String("group"))
        root.insert(QStringLiteral("groups"), QJsonObject{{QStringLiteral("measurement.5"), QJsonObject()}});
    else if (damage == QLatin1String("Groups"))
        root.insert(damage, root.take(QStringLiteral("groups")));
    else if (damage == QLatin1String("identification"))
        root.insert(QStringLiteral("identification"), QJsonObject{{QStringLiteral("raw"), QStringLiteral("0102")}});
    if (damage.contains(QLatin1String("image")) && root.contains(QLatin1String("image")))
        root.insert(QStringLiteral("image"), image);
    QByteArray text = QJsonDocument(root).toJson();
    if (damage == QLatin1String("cut"))
        text.chop(text.size() / 2);
    if (damage == QLatin1String("repeat format"))
        text.insert(text.indexOf('{') + 1, "\"format\": \"vexs-config\", ");
    if (damage.startsWith(QLatin1String("repeat range"))) {
        const qsizetype fields = text.indexOf("\"fields\": {", text.indexOf("\"measurement.1\""));
        text.insert(fields + 11, "\"" + damage.mid(7).toUtf8() + "\": \"300\", ");
    }
    QString error;
    QVERIFY(!configFromJson(text, kName, &error));
    QVERIFY2(error.startsWith(QStringLiteral("Файл «%1»: ").arg(kName)), qPrintable(error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(!error.contains(QChar(0)));
}

void TestConfigFile::brokenJsonNamesLineAndColumn_data()
{
    // Each text is broken at its "x", counted by hand as an editor shows it.
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("where");
    QTest::newRow("line 1") << QByteArray(R"({"format": x})") << "строке 1, столбце 12";
    // Two octets a Cyrillic letter, one column.
    QTest::newRow("Cyrillic before it") << QByteArray("{\n  \"program\": \"Тест\", \"version\": x\n}")
                                        << "строке 2, столбце 33";
    QTest::newRow("Windows line ends")
        << QByteArray("{\r\n  \"program\": \"Тест\", \"version\": x\r\n}") << "строке 2, столбце 33";
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF{\"format\": x}") << "строке 1, столбце 12";
    // Four octets, two UTF-16 units, one character.
    QTest::newRow("beyond the first plane") << QByteArray("{\"program\": \"😀\", \"version\": x}")
                                            << "строке 1, столбце 29";
}

void TestConfigFile::brokenJsonNamesLineAndColumn()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, where);
    QString error;
    QVERIFY(!configFromJson(text, kName, &error));
    QCOMPARE(error, QStringLiteral("Файл «%1»: не JSON (ошибка в %2)").arg(kName, where));
}

void TestConfigFile::octetsNoFieldShowsStillDiffer_data()
{
    QTest::addColumn<int>("at"); // in the image
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<QString>("field");
    QTest::newRow("point past the count") << 160 + 66 << QByteArray(4, '\0') << QByteArray(4, '\x11')
                                          << "math.1 / octets[66..69]: 00 00 00 00 -> 11 11 11 11";
    QTest::newRow("text after its pad") << 22 << QByteArray("k\0\0\0\0\0", 6) << QByteArray("k\0x\0\0\0", 6)
                                        << "measurement.1 / octets[24..24]: 00 -> 78";
    QTest::newRow("bits of a NaN") << 10 << QByteArray::fromHex("0000c07f") << QByteArray::fromHex("0000c0ff")
                                   << "measurement.1 / octets[13..13]: 7f -> ff";
}

void TestConfigFile::octetsNoFieldShowsStillDiffer()
{
    QFETCH(int, at);
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(QString, field);
    DeviceConfig one = factoryConfig();
    DeviceConfig two = one;
    one.image.replace(at, a.size(), a);
    two.image.replace(at, b.size(), b);
    const QList<ConfigDifference> differences = compareGroups(one, two);
    QCOMPARE(differences.size(), 1);
    QCOMPARE(differenceLine(differences[0]), field);
}

void TestConfigFile::comparisonNamesFieldsAndKeepsIdentificationApart()
{
    const DeviceConfig a = factoryConfig();
    QJsonObject root = fileOf(a);
    setField(root, QStringLiteral("measurement.2"), QStringLiteral("signal"), QStringLiteral("Ток 0..5mA"));
    setField(root, QStringLiteral("math.1"), QStringLiteral("points"),
             jsonValue(R"([["0", "0"], ["125", "61"], ["250", "100"], ["300", "110"]])"));
    QString error;
    std::optional<DeviceConfig> b = load(root, &error);
    QVERIFY2(b, qPrintable(error));
    // An octet no field names, and another serial number.
    b->image[displayLayout().imageOffset + 10] = '\x5A';
    b->identification.replace(6, 6, "001235");

    QStringList lines;
    for (const ConfigDifference &d : compareGroups(a, *b))
        lines << differenceLine(d);
    QCOMPARE(lines, QStringList({
                        "measurement.2 / signal: ТС Pt100 (-120..500 С) -> Ток 0..5mA",
                        "math.1 / points: 3 -> 4",
                        "math.1 / points[2].y: 60.000 -> 61.000",
                        "math.1 / points[4].x: — -> 300.000",
                        "math.1 / points[4].y: — -> 110.000",
                        "display.channel / reserved[8..15]: 00 00 00 00 00 00 00 00 -> 00 00 5a 00 00 00 00 00",
                    }));
    const QList<ConfigDifference> notes = compareIdentification(a, *b);
    QCOMPARE(notes.size(), 1);
    QCOMPARE(differenceLine(notes.first()), QStringLiteral("identification / serial: 001234 -> 001235"));

    // Octets that differ only in the sign of a zero differ.
    DeviceConfig plus = a, minus = a;
    writeFloat(plus.image, setpointLayout().imageOffset + 4, 0.0f);
    writeFloat(minus.image, setpointLayout().imageOffset + 4, -0.0f);
    QCOMPARE(compareGroups(plus, minus).size(), 1);
}

void TestConfigFile::writeSummarySaysWhatHappened_data()
{
    QTest::addColumn<bool>("verified"); // every group not kept read back equal
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("lines");
    const QString backupFailed =
        QStringLiteral("Резервная копия не сохранена (/ro): в прибор ничего не записано");
    QTest::newRow("all verified") << true << QString()
                                  << QStringList{"Записано и проверено групп: 24 из 24"};
    QTest::newRow("all verified, network kept")
        << true << QString()
        << QStringList{"Записано и проверено групп: 23 из 24", "Оставлены как в приборе: network"};
    QTest::newRow("backup failed, network kept")
        << false << backupFailed << QStringList{backupFailed, "Оставлены как в приборе: network"};
}

void TestConfigFile::writeSummarySaysWhatHappened()
{
    QFETCH(bool, verified);
    QFETCH(QString, error);
    QFETCH(QStringList, lines);
    const bool keepNetwork = QByteArray(QTest::currentDataTag()).contains("kept");
    WriteReport report;
    report.error = error;
    for (const ConfigGroup &g : configGroups()) {
        const bool kept = keepNetwork && g.id == QLatin1String("network");
        report.groups.append({&g, kept       ? GroupState::Kept
                                  : verified ? GroupState::Verified
                                             : GroupState::NotWritten,
                                  QString()});
    }
    QCOMPARE(report.summary().split(QLatin1Char('\n')), lines);
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_config_file.moc"
