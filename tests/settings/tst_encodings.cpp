#include "settings/encodings.h"

#include <QLocale>
#include <QTest>

#include <cmath>
#include <limits>
#include <stdexcept>

using namespace vexs;

namespace {

const QLocale kRussian(QLocale::Russian, QLocale::Russia);
const QLocale kC(QLocale::C);

float floatOf(const char *hex)
{
    return readFloat(QByteArray::fromHex(hex), 0);
}

} // namespace

class TestEncodings : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(kRussian); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::system()); }

    void normalizeDecimalSeparator_data();
    void normalizeDecimalSeparator();
    void padding();
    void bytesToStringKeepsZeros();

    void formatReal_data();
    void formatReal();
    void formatRealFollowsLocale();
    void parseReal_data();
    void parseReal();
    void shownRealsParseBack_data();
    void shownRealsParseBack();
    void formatGeneral_data();
    void formatGeneral();

    void littleEndian_data();
    void littleEndian();
    void accessPastTheEndThrows();

    void cp1251RoundTrip_data();
    void cp1251RoundTrip();
    void cp1251RefusesWhatItCannotCarry_data();
    void cp1251RefusesWhatItCannotCarry();
    void cp1251EveryByteSurvives();

    void decodeTextField_data();
    void decodeTextField();
    void encodeTextField_data();
    void encodeTextField();

    void versionText_data();
    void versionText();
    void digitTexts();
};

void TestEncodings::normalizeDecimalSeparator_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("comma kept, ru") << kRussian << "20,5" << "20,5";
    QTest::newRow("point to comma, ru") << kRussian << "20.5" << "20,5";
    QTest::newRow("every one replaced, ru") << kRussian << "1.2,3." << "1,2,3,";
    QTest::newRow("comma to point, C") << kC << "20,5" << "20.5";
    QTest::newRow("others unchanged") << kRussian << " -1e5 x" << " -1e5 x";
    QTest::newRow("empty") << kC << "" << "";
}

void TestEncodings::normalizeDecimalSeparator()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QLocale::setDefault(locale);
    QCOMPARE(NormalizeDecimalSeparator(text), expected);
}

void TestEncodings::padding()
{
    QCOMPARE(PadRight(QStringLiteral("ab"), 5, QLatin1Char('_')), QStringLiteral("ab___"));
    QCOMPARE(PadRight(QStringLiteral("abcdef"), 5, QLatin1Char('_')), QStringLiteral("abcdef"));
    QCOMPARE(PadLeft(QStringLiteral("7"), 2, QLatin1Char('0')), QStringLiteral("07"));
    QCOMPARE(PadLeft(QStringLiteral("123"), 2, QLatin1Char('0')), QStringLiteral("123"));
    QCOMPARE(PadRight(QByteArray("ab"), 4, '\0'), QByteArray("ab\0\0", 4));
    QCOMPARE(PadRight(QByteArray("abcde"), 4, '\x13'), QByteArray("abcde"));
}

void TestEncodings::bytesToStringKeepsZeros()
{
    const unsigned char raw[] = {0x00, 0x41, 0x00, 0xFF, 0x00};
    const QByteArray s = BytesToString(raw, 5);
    QCOMPARE(s.size(), 5);
    QCOMPARE(s, QByteArray::fromHex("004100ff00"));
    QCOMPARE(BytesToString(raw, 0), QByteArray());
}

void TestEncodings::formatReal_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("00 00 80 3F") << floatOf("0000803f") << "1,000";
    QTest::newRow("00 00 A0 C1") << floatOf("0000a0c1") << "-20,000";
    QTest::newRow("12.5") << 12.5f << "12,500";
    QTest::newRow("12345.678") << 12345.678f << "12345,700";
    QTest::newRow("123.4567 to 3 decimals") << 123.4567f << "123,457";
    QTest::newRow("99999.95 carries") << 99999.95f << "100000,000";
    QTest::newRow("six integer digits") << 999999.0f << "999999,000";
    QTest::newRow("rounds up to seven digits") << 999999.6f << "1E+6";
    QTest::newRow("seven integer digits") << 12345678.0f << "1,23457E+7";
    QTest::newRow("negative exponent form") << -1.5e10f << "-1,5E+10";
    QTest::newRow("largest float") << std::numeric_limits<float>::max() << "3,40282E+38";
    QTest::newRow("0.1") << 0.1f << "0,100";
    QTest::newRow("0.0005 rounds up") << 0.0005f << "0,001";
    QTest::newRow("tiny") << 1e-10f << "0,000";
    QTest::newRow("tiny negative has no sign") << -0.0004f << "0,000";
    QTest::newRow("negative zero") << -0.0f << "0,000";
    QTest::newRow("zero") << 0.0f << "0,000";
    QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << "NAN";
    QTest::newRow("+inf") << std::numeric_limits<float>::infinity() << "INF";
    QTest::newRow("-inf") << -std::numeric_limits<float>::infinity() << "-INF";
}

void TestEncodings::formatReal()
{
    QFETCH(float, value);
    QFETCH(QString, expected);
    QCOMPARE(vexs::formatReal(value), expected);
}

void TestEncodings::formatRealFollowsLocale()
{
    QLocale::setDefault(kC);
    QCOMPARE(vexs::formatReal(12.5f), QStringLiteral("12.500"));
    QCOMPARE(vexs::formatReal(1234567.0f), QStringLiteral("1.23457E+6"));
    // No group separator even in a locale that has one.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(vexs::formatReal(123456.0f), QStringLiteral("123456.000"));
}

void TestEncodings::parseReal_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<float>("expected");
    for (const QLocale &l : {kRussian, kC}) {
        const QString n = l == kC ? QStringLiteral("C: ") : QStringLiteral("ru: ");
        QTest::newRow(qPrintable(n + "20,0")) << l << "20,0" << true << 20.0f;
        QTest::newRow(qPrintable(n + "20.0")) << l << "20.0" << true << 20.0f;
        QTest::newRow(qPrintable(n + "blanks trimmed")) << l << "  -12.5 " << true << -12.5f;
        QTest::newRow(qPrintable(n + "exponent")) << l << "1,5E+7" << true << 1.5e7f;
        QTest::newRow(qPrintable(n + "empty")) << l << "" << false << 0.0f;
        QTest::newRow(qPrintable(n + "blanks only")) << l << "   " << false << 0.0f;
        QTest::newRow(qPrintable(n + "garbage")) << l << "abc" << false << 0.0f;
        QTest::newRow(qPrintable(n + "trailing garbage")) << l << "12,5x" << false << 0.0f;
        QTest::newRow(qPrintable(n + "two separators")) << l << "1.000,5" << false << 0.0f;
        QTest::newRow(qPrintable(n + "1e39")) << l << "1e39" << false << 0.0f;
        QTest::newRow(qPrintable(n + "-1e39")) << l << "-1e39" << false << 0.0f;
        QTest::newRow(qPrintable(n + "1e400")) << l << "1e400" << false << 0.0f;
        QTest::newRow(qPrintable(n + "inf")) << l << "inf" << false << 0.0f;
        QTest::newRow(qPrintable(n + "nan")) << l << "nan" << false << 0.0f;
        QTest::newRow(qPrintable(n + "1e-50, no float but 0")) << l << "1e-50" << false << 0.0f;
        QTest::newRow(qPrintable(n + "1e-40, a small float")) << l << "1e-40" << true << 1e-40f;
        QTest::newRow(qPrintable(n + "-0")) << l << "-0" << true << -0.0f;
        QTest::newRow(qPrintable(n + "largest float")) << l << "3.4028234e38" << true
                                                       << std::numeric_limits<float>::max();
    }
    QTest::newRow("ru: group separator refused") << kRussian << QStringLiteral("1\u00a0000") << false
                                                 << 0.0f;
    QTest::newRow("ru: blank inside refused") << kRussian << "1 000" << false << 0.0f;
    QTest::newRow("20,01 is a single") << kRussian << "20,01" << true << 20.01f;
}

void TestEncodings::parseReal()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(float, expected);
    QLocale::setDefault(locale);
    const auto value = vexs::parseReal(text);
    QCOMPARE(value.has_value(), valid);
    if (valid)
        QCOMPARE(*value, expected);
}

void TestEncodings::shownRealsParseBack_data()
{
    QTest::addColumn<float>("value");
    QTest::newRow("-20") << -20.0f;
    QTest::newRow("123.456") << 123.456f;
    QTest::newRow("999999") << 999999.0f;
    QTest::newRow("1.23457e7") << 1.23457e7f;
    QTest::newRow("-4.5e-2") << -0.045f;
    QTest::newRow("3e38") << 3e38f;
}

// What an edit shows must be accepted unchanged when written back.
void TestEncodings::shownRealsParseBack()
{
    QFETCH(float, value);
    for (const QLocale &l : {kRussian, kC}) {
        QLocale::setDefault(l);
        const auto parsed = vexs::parseReal(vexs::formatReal(value));
        QVERIFY2(parsed.has_value(), qPrintable(vexs::formatReal(value)));
        QCOMPARE(*parsed, value);
    }
}

void TestEncodings::formatGeneral_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("1.5e-6") << 1.5e-6 << "1,5E-6";
    QTest::newRow("threshold fixed") << 0.00001 << "0,00001";
    QTest::newRow("below threshold") << 0.0000099 << "9,9E-6";
    QTest::newRow("no trailing zeros") << 2.5 << "2,5";
    QTest::newRow("integer") << -1234.0 << "-1234";
    QTest::newRow("15 integer digits") << 999999999999999.0 << "999999999999999";
    QTest::newRow("16 integer digits") << 1e15 << "1E+15";
    QTest::newRow("big") << 1.25e20 << "1,25E+20";
    QTest::newRow("single 0.1 widened") << double(0.1f) << "0,100000001490116";
    QTest::newRow("a third") << 1.0 / 3.0 << "0,333333333333333";
    QTest::newRow("NaN") << std::nan("") << "NAN";
}

void TestEncodings::formatGeneral()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(vexs::formatGeneral(value), expected);
}

void TestEncodings::littleEndian_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("isFloat");
    QTest::addColumn<double>("value");
    QTest::newRow("1.0") << QByteArray::fromHex("0000803f") << true << 1.0;
    QTest::newRow("-20.0") << QByteArray::fromHex("0000a0c1") << true << -20.0;
    QTest::newRow("1.5") << QByteArray::fromHex("0000c03f") << true << 1.5;
    QTest::newRow("1950") << QByteArray::fromHex("9e07") << false << 1950.0;
    QTest::newRow("-4") << QByteArray::fromHex("fcff") << false << -4.0;
    QTest::newRow("-32768") << QByteArray::fromHex("0080") << false << -32768.0;
}

void TestEncodings::littleEndian()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, isFloat);
    QFETCH(double, value);
    // At an odd offset inside a larger payload, neighbours untouched.
    QByteArray payload = QByteArray(1, '\xAA') + QByteArray(bytes.size(), '\0') + QByteArray(1, '\xBB');
    if (isFloat) {
        writeFloat(payload, 1, float(value));
        QCOMPARE(double(readFloat(payload, 1)), value);
    } else {
        writeInt16(payload, 1, qint16(value));
        QCOMPARE(double(readInt16(payload, 1)), value);
    }
    QCOMPARE(payload.mid(1, bytes.size()), bytes);
    QCOMPARE(payload.front(), '\xAA');
    QCOMPARE(payload.back(), '\xBB');
}

void TestEncodings::accessPastTheEndThrows()
{
    QByteArray four(4, '\0');
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, readFloat(four, 1));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, writeFloat(four, -1, 1.0f));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, readInt16(four, 3));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, writeInt16(four, 4, 1));
    QCOMPARE(four, QByteArray(4, '\0'));
}

void TestEncodings::cp1251RoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << "V=5" << QByteArray("V=5");
    QTest::newRow("cyrillic") << QStringLiteral("АЯая") << QByteArray::fromHex("c0dfe0ff");
    QTest::newRow("yo") << QStringLiteral("Ёё") << QByteArray::fromHex("a8b8");
    QTest::newRow("degree") << QStringLiteral("°С") << QByteArray::fromHex("b0d1");
    QTest::newRow("euro, numero") << QStringLiteral("€№") << QByteArray::fromHex("88b9");
    QTest::newRow("ukrainian") << QStringLiteral("ЇїҐґ") << QByteArray::fromHex("afbfa5b4");
    QTest::newRow("zero byte") << QString(QChar(0)) << QByteArray(1, '\0');
}

void TestEncodings::cp1251RoundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const auto encoded = toCp1251(text);
    QVERIFY(encoded.has_value());
    QCOMPARE(*encoded, bytes);
    QCOMPARE(fromCp1251(bytes), text);
    QVERIFY(firstCharacterNotInCp1251(text).isEmpty());
}

void TestEncodings::cp1251RefusesWhatItCannotCarry_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("offending");
    QTest::newRow("check mark") << QStringLiteral("ок✓") << QStringLiteral("✓");
    QTest::newRow("CJK") << QStringLiteral("a中b") << QStringLiteral("中");
    QTest::newRow("latin with accent") << QStringLiteral("é") << QStringLiteral("é");
    QTest::newRow("outside the BMP") << QStringLiteral("x😀") << QStringLiteral("😀");
}

void TestEncodings::cp1251RefusesWhatItCannotCarry()
{
    QFETCH(QString, text);
    QFETCH(QString, offending);
    QVERIFY(!toCp1251(text).has_value());
    QCOMPARE(firstCharacterNotInCp1251(text), offending);
    QVERIFY(!vexs::encodeTextField(text, 6, '\0').has_value());
}

void TestEncodings::cp1251EveryByteSurvives()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const QString text = fromCp1251(all);
    QCOMPARE(text.size(), 256);
    const auto back = toCp1251(text);
    QVERIFY(back.has_value());
    QCOMPARE(*back, all);
}

void TestEncodings::decodeTextField_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("width");
    QTest::addColumn<char>("pad");
    QTest::addColumn<QString>("expected");
    QTest::newRow("units: two chars, four zeros")
        << QByteArray::fromHex("b0d100000000") << 6 << '\0' << QStringLiteral("°С");
    QTest::newRow("units: six chars") << QByteArray::fromHex("ecc0e2eff0ee") << 6 << '\0'
                                      << QStringLiteral("мАвпро");
    QTest::newRow("units: empty") << QByteArray(6, '\0') << 6 << '\0' << QString();
    QTest::newRow("units: text after the zero ignored")
        << QByteArray("ab\0cde", 6) << 6 << '\0' << QStringLiteral("ab");
    QTest::newRow("network: padded") << QByteArray("192.168.011.002\x13") << 16 << '\x13'
                                     << QStringLiteral("192.168.011.002");
    QTest::newRow("network: 16 bytes, a zero among them")
        << QByteArray("192.168\0001.002xyz", 16) << 16 << '\x13'
        << QStringLiteral("192.168") + QChar(0) + QStringLiteral("1.002xyz");
    QTest::newRow("network: zeros are characters") << QByteArray(4, '\0') << 4 << '\x13'
                                                   << QString(4, QChar(0));
    QTest::newRow("network: port") << QByteArray("5000") << 4 << '\x13' << QStringLiteral("5000");
    QTest::newRow("longer than width") << QByteArray("abcdefgh") << 6 << '\0'
                                       << QStringLiteral("abcdef");
}

void TestEncodings::decodeTextField()
{
    QFETCH(QByteArray, field);
    QFETCH(int, width);
    QFETCH(char, pad);
    QFETCH(QString, expected);
    QCOMPARE(vexs::decodeTextField(field, width, pad), expected);
}

void TestEncodings::encodeTextField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<char>("pad");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("units: two chars") << QStringLiteral("°С") << 6 << '\0'
                                      << QByteArray::fromHex("b0d100000000");
    QTest::newRow("units: empty") << QString() << 6 << '\0' << QByteArray(6, '\0');
    QTest::newRow("units: five chars") << QStringLiteral("кгс/м") << 6 << '\0'
                                       << QByteArray::fromHex("eae3f12fec00");
    QTest::newRow("units: cut to width") << QStringLiteral("abcdefg") << 6 << '\0'
                                         << QByteArray("abcdef");
    QTest::newRow("network: ip") << QStringLiteral("192.168.011.002") << 16 << '\x13'
                                 << QByteArray("192.168.011.002\x13");
    QTest::newRow("network: port fills") << QStringLiteral("5000") << 4 << '\x13'
                                         << QByteArray("5000");
    QTest::newRow("network: short") << QStringLiteral("1") << 4 << '\x13'
                                    << QByteArray("1\x13\x13\x13");
}

void TestEncodings::encodeTextField()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(char, pad);
    QFETCH(QByteArray, expected);
    const auto bytes = vexs::encodeTextField(text, width, pad);
    QVERIFY(bytes.has_value());
    QCOMPARE(*bytes, expected);
}

void TestEncodings::versionText_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("expected");
    QTest::newRow("23") << 23 << "2.3";
    QTest::newRow("105") << 105 << "10.5";
    QTest::newRow("0") << 0 << "0.0";
    QTest::newRow("255") << 255 << "25.5";
}

void TestEncodings::versionText()
{
    QFETCH(int, version);
    QFETCH(QString, expected);
    QCOMPARE(vexs::versionText(quint8(version)), expected);
}

void TestEncodings::digitTexts()
{
    QCOMPARE(digitTextValue("09"), std::optional<int>(9));
    QCOMPARE(digitTextValue("001234"), std::optional<int>(1234));
    QVERIFY(!digitTextValue("1a").has_value());
    QVERIFY(!digitTextValue(" 1").has_value());
    QVERIFY(!digitTextValue("").has_value());
    QCOMPARE(digitText(5, 2), QByteArray("05"));
    QCOMPARE(digitText(2009, 2), QByteArray("09"));
    QCOMPARE(digitText(1234, 6), QByteArray("001234"));
    QCOMPARE(digitText(-3, 2), QByteArray("00"));
}

QTEST_GUILESS_MAIN(TestEncodings)
#include "tst_encodings.moc"
