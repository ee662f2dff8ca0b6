// CRC and frame layouts against published check values and the recorder's
// own request examples; reply validation with valid and malformed variants.
#include "link/crc.h"
#include "link/modbus.h"

#include <QTest>

using namespace vexs;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Records requests and answers with a fixed reply.
struct ScriptedExchange : IExchange
{
    QList<QByteArray> requests;
    QByteArray reply;
    QByteArray exchange(int, const QByteArray &request) override
    {
        requests.append(request);
        return reply;
    }
};

struct Settings : ILinkSettings
{
    quint8 address = 1;
    quint8 slaveAddress() const override { return address; }
    int interfaceIndex() const override { return 0; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return 4; }
};

QByteArray withCrc(QByteArray frame)
{
    frames::appendCrc(frame);
    return frame;
}

} // namespace

class tst_frames : public QObject
{
    Q_OBJECT
private slots:
    void crc_data();
    void crc();
    void reflectedCrcWidths_data();
    void reflectedCrcWidths();
    void requestFrames_data();
    void requestFrames();
    void readReplyValidation_data();
    void readReplyValidation();
    void writeReplyValidation_data();
    void writeReplyValidation();
    void writeWithWrongDataLengthSendsNothing();
    void addressIsReadAtEveryRequest();
};

void tst_frames::crc_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("crc");
    QTest::newRow("check value") << QByteArray("123456789") << 0x4B37;
    QTest::newRow("read ident request") << hex("01 03 27 1C 00 0B") << 0x7FCF;
    QTest::newRow("live request") << hex("01 04 00 00 00 30") << 0x1EF0;
    QTest::newRow("empty") << QByteArray() << 0xFFFF;
}

void tst_frames::crc()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, crc);
    QCOMPARE(int(Crc16Modbus(bytes)), crc);
    // A frame followed by its CRC, low byte first, checks to zero.
    QCOMPARE(int(Crc16Modbus(withCrc(bytes))), 0);
}

void tst_frames::reflectedCrcWidths_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<quint32>("poly");
    QTest::addColumn<bool>("finalXor");
    QTest::addColumn<quint32>("check");
    // Published check values over "123456789" of reflected CRCs whose
    // initial value is all ones.
    QTest::newRow("CRC-8/ROHC") << 1 << quint32(0xE0) << false << quint32(0xD0);
    QTest::newRow("CRC-16/X-25") << 2 << quint32(0x8408) << true << quint32(0x906E);
    QTest::newRow("CRC-32") << 4 << quint32(0xEDB88320) << true << quint32(0xCBF43926);
}

void tst_frames::reflectedCrcWidths()
{
    QFETCH(int, width);
    QFETCH(quint32, poly);
    QFETCH(bool, finalXor);
    QFETCH(quint32, check);
    const QByteArray text("123456789");
    QCOMPARE(ReflectedCrc(reinterpret_cast<const quint8 *>(text.constData()), 9, width, poly,
                          finalXor),
             check);
}

void tst_frames::requestFrames_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("identification read")
        << frames::readRequest(1, FunctionReadHolding, 10012, 11) << hex("01 03 27 1C 00 0B CF 7F");
    QTest::newRow("live record read")
        << frames::readRequest(1, FunctionReadInput, 0, 48) << hex("01 04 00 00 00 30 F0 1E");
    QTest::newRow("calibration command, channel 3 step 6")
        << frames::writeRequest(1, 10001, 3, hex("03 06 00 00 00 00"))
        << hex("01 10 27 11 00 03 06 03 06 00 00 00 00 8F 57");
    QTest::newRow("pen to about 5 %")
        << frames::writeRequest(1, 10005, 1, hex("9E 07")) << hex("01 10 27 15 00 01 02 9E 07 DA 35");
    // 128 registers: the byte-count octet holds only the low 8 bits of 256.
    const QByteArray big = frames::writeRequest(1, 0, 128, QByteArray(256, '\x11'));
    QTest::newRow("byte count wraps") << big.left(7) << hex("01 10 00 00 00 80 00");
}

void tst_frames::requestFrames()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

void tst_frames::readReplyValidation_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    const QByteArray good = withCrc(hex("01 03 04 00 01 00 02"));
    QTest::newRow("valid") << 2 << good << true;
    QTest::newRow("other slave's address, good CRC") << 2 << withCrc(hex("07 03 04 00 01 00 02"))
                                                    << true;
    QTest::newRow("byte count and function not compared")
        << 2 << withCrc(hex("01 04 09 00 01 00 02")) << true;
    QTest::newRow("count 0 expects 5 octets") << 0 << withCrc(hex("01 03 00")) << true;
    QTest::newRow("bad CRC") << 2 << QByteArray(good).replace(3, 1, "\x7f") << false;
    QTest::newRow("truncated") << 2 << good.left(good.size() - 1) << false;
    QTest::newRow("extra octet") << 2 << good + '\0' << false;
    QTest::newRow("exception reply") << 2 << withCrc(hex("01 83 02")) << false;
    QTest::newRow("nothing") << 2 << QByteArray() << false;
    QTest::newRow("failure marker") << 2 << QByteArray(" ") << false;
}

void tst_frames::readReplyValidation()
{
    QFETCH(int, count);
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    ScriptedExchange exchange;
    exchange.reply = reply;
    Settings settings;
    ModbusMaster master(exchange, settings);
    const QByteArray got = master.ReadHoldingRegisters(0, quint16(count), 100);
    QCOMPARE(exchange.requests.size(), 1);
    if (accepted)
        QCOMPARE(got, reply);
    else
        QCOMPARE(got, QByteArray(" "));
}

void tst_frames::writeReplyValidation_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    const QByteArray good = withCrc(hex("01 10 27 11 00 03"));
    QTest::newRow("valid") << good << true;
    QTest::newRow("echo not compared") << withCrc(hex("09 10 00 00 00 01")) << true;
    QTest::newRow("bad CRC") << QByteArray(good).replace(6, 1, "\x00") << false;
    QTest::newRow("7 octets") << good.left(7) << false;
    QTest::newRow("9 octets") << good + 'x' << false;
    QTest::newRow("exception") << withCrc(hex("01 90 02")) << false;
}

void tst_frames::writeReplyValidation()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    ScriptedExchange exchange;
    exchange.reply = reply;
    Settings settings;
    ModbusMaster master(exchange, settings);
    const QByteArray got = master.WriteMultipleRegisters(10001, 3, hex("03 06 00 00 00 00"), 8000);
    QCOMPARE(got, accepted ? reply : QByteArray(" "));
}

void tst_frames::writeWithWrongDataLengthSendsNothing()
{
    ScriptedExchange exchange;
    exchange.reply = withCrc(hex("01 10 00 00 00 02"));
    Settings settings;
    ModbusMaster master(exchange, settings);
    QCOMPARE(master.WriteMultipleRegisters(0, 2, QByteArray(5, '\0'), 100), QByteArray(" "));
    QCOMPARE(master.WriteMultipleRegisters(0, 2, QByteArray(3, '\0'), 100), QByteArray(" "));
    QVERIFY(exchange.requests.isEmpty());
}

void tst_frames::addressIsReadAtEveryRequest()
{
    ScriptedExchange exchange;
    Settings settings;
    ModbusMaster master(exchange, settings);
    master.ReadInputRegisters(0, 48, 100);
    settings.address = 0xF7;
    master.ReadInputRegisters(0, 48, 100);
    QCOMPARE(quint8(exchange.requests[0][0]), quint8(1));
    QCOMPARE(quint8(exchange.requests[1][0]), quint8(0xF7));
}

QTEST_APPLESS_MAIN(tst_frames)
#include "tst_frames.moc"
