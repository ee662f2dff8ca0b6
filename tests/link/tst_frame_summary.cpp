// What the traffic monitor says of a frame: hex, decoded fields and the
// outcome of a request judged from what came back.

#include "link/frame_summary.h"
#include "link/modbus.h"

#include <QTest>

using namespace vexs;

Q_DECLARE_METATYPE(vexs::FrameOutcome)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The octets with their CRC appended.
QByteArray framed(const char *text)
{
    QByteArray frame = hex(text);
    frames::appendCrc(frame);
    return frame;
}

QByteArray readReply(int count)
{
    QByteArray frame = hex("01 03");
    frame.append(char(2 * count));
    frame.append(QByteArray(2 * count, '\x5A'));
    frames::appendCrc(frame);
    return frame;
}

} // namespace

class TestFrameSummary : public QObject
{
    Q_OBJECT

private slots:
    void hexIsUppercaseBlankSeparated();
    void expectedLength_data();
    void expectedLength();
    void outcome_data();
    void outcome();
    void summary_data();
    void summary();
};

void TestFrameSummary::hexIsUppercaseBlankSeparated()
{
    QCOMPARE(traffic::hexText(frames::readRequest(1, FunctionReadHolding, 10012, 11)),
             QStringLiteral("01 03 27 1C 00 0B CF 7F"));
    QCOMPARE(traffic::hexText(QByteArray()), QString());
}

void TestFrameSummary::expectedLength_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("length");
    QTest::newRow("read holding 11") << frames::readRequest(1, 3, 10012, 11) << 27;
    QTest::newRow("read input 48") << frames::readRequest(1, 4, 0, 48) << 101;
    QTest::newRow("write 2") << frames::writeRequest(1, 100, 2, hex("00 01 00 02")) << 8;
    QTest::newRow("unknown function") << framed("01 06 00 01 00 03") << -1;
    QTest::newRow("read without its count") << hex("01 03 00") << -1;
}

void TestFrameSummary::expectedLength()
{
    QFETCH(QByteArray, request);
    QFETCH(int, length);
    QCOMPARE(frames::replySizeOf(request), length);
}

void TestFrameSummary::outcome_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<FrameOutcome>("outcome");
    const QByteArray read11 = frames::readRequest(1, 3, 10012, 11);
    const QByteArray good = readReply(11);
    QByteArray badCrc = good;
    badCrc[5] = char(badCrc[5] ^ 0x01);

    QTest::newRow("whole read reply") << read11 << good << FrameOutcome::Ok;
    QTest::newRow("nothing") << read11 << QByteArray() << FrameOutcome::NoReply;
    QTest::newRow("the exchange's blank") << read11 << failureReply() << FrameOutcome::NoLink;
    QTest::newRow("cut off") << read11 << good.left(20) << FrameOutcome::Short;
    QTest::newRow("one octet") << read11 << hex("01") << FrameOutcome::Short;
    QTest::newRow("one bit flipped") << read11 << badCrc << FrameOutcome::BadCrc;
    QTest::newRow("an octet beyond") << read11 << good + hex("00") << FrameOutcome::WrongLength;
    QTest::newRow("whole frame of 10 registers") << read11 << readReply(10)
                                                 << FrameOutcome::WrongLength;
    QTest::newRow("exception") << read11 << framed("01 83 02") << FrameOutcome::Exception;
    QTest::newRow("exception, bad CRC") << read11 << hex("01 83 02 00 00") << FrameOutcome::BadCrc;
    QTest::newRow("exception cut off") << read11 << hex("01 83 02") << FrameOutcome::Short;
    QTest::newRow("exception of another function") << read11 << framed("01 84 02")
                                                   << FrameOutcome::WrongLength;
    const QByteArray write = frames::writeRequest(1, 100, 2, hex("00 01 00 02"));
    QTest::newRow("write echo") << write << framed("01 10 00 64 00 02") << FrameOutcome::Ok;
    QTest::newRow("write echo cut off") << write << framed("01 10 00 64 00 02").left(7)
                                        << FrameOutcome::Short;
    QTest::newRow("write exception") << write << framed("01 90 04") << FrameOutcome::Exception;
    // What the request operations accept: the length and the CRC, nothing else.
    auto withOctet = [&](int at, char value) {
        QByteArray frame = good.left(good.size() - 2);
        frame[at] = value;
        frames::appendCrc(frame);
        return frame;
    };
    QTest::newRow("another address, whole") << read11 << withOctet(0, 7) << FrameOutcome::Ok;
    QTest::newRow("exception function, read's length") << read11 << withOctet(1, char(0x83))
                                                       << FrameOutcome::Ok;
    QTest::newRow("unknown function, intact") << framed("01 06 00 01 00 03")
                                              << framed("01 06 00 01 00 03") << FrameOutcome::Ok;
}

void TestFrameSummary::outcome()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(FrameOutcome, outcome);
    QCOMPARE(frames::judgeReply(request, reply), outcome);
}

void TestFrameSummary::summary_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("request");
    QTest::addColumn<QString>("text");
    QTest::newRow("read request") << frames::readRequest(1, 3, 10012, 11) << true
                                  << "Адрес 1, функция 0x03, регистр 10012, регистров 11";
    QTest::newRow("write request") << frames::writeRequest(7, 768, 2, hex("00 01 00 02")) << true
                                   << "Адрес 7, функция 0x10, регистр 768, регистров 2, байт 4";
    QTest::newRow("read reply") << readReply(11) << false << "Адрес 1, функция 0x03, байт 22";
    QTest::newRow("write reply") << framed("01 10 03 00 00 02") << false
                                 << "Адрес 1, функция 0x10, регистр 768, регистров 2";
    QTest::newRow("exception") << framed("01 83 02") << false
                               << "Адрес 1, функция 0x83, исключение 2 (недопустимый адрес данных)";
    QTest::newRow("exception 11") << framed("01 90 0B") << false
                                  << "Адрес 1, функция 0x90, исключение 11";
    QTest::newRow("unknown function") << framed("01 2B 0E 01") << true << "Адрес 1, функция 0x2B";
    QTest::newRow("one octet") << hex("01") << false << "Адрес 1";
    QTest::newRow("the exchange's blank") << failureReply() << false << "";
}

void TestFrameSummary::summary()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, request);
    QFETCH(QString, text);
    QCOMPARE(traffic::summaryText(request ? traffic::requestFields(frame)
                                          : traffic::replyFields(frame)),
             text);
}

QTEST_APPLESS_MAIN(TestFrameSummary)
#include "tst_frame_summary.moc"
