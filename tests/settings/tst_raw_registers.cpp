// Raw registers: the views of known octets, the ranges and words refused
// before anything is sent, a write judged by its read-back against the
// simulator's slave with faults, and the page's question before a write.

#include "service/registers_page.h"
#include "settings/raw_registers.h"
#include "ui/controls.h"
#include "tests/service/page_harness.h"

#include <QTest>

#include <limits>

using namespace vexs;
using namespace vexs::test;

Q_DECLARE_METATYPE(vexs::raw::View)
Q_DECLARE_METATYPE(vexs::raw::Order)
Q_DECLARE_METATYPE(vexs::raw::Verdict)

namespace {

using raw::Order;
using raw::View;

constexpr int kNoFault = -1;

} // namespace

class tst_raw_registers : public QObject
{
    Q_OBJECT
private slots:
    void views_data();
    void views();
    void refusals_data();
    void refusals();
    void words_data();
    void words();
    void writeJudgedByReadBack_data();
    void writeJudgedByReadBack();
    void pageAsksBeforeWriting_data();
    void pageAsksBeforeWriting();
    void pageReads();
};

void tst_raw_registers::views_data()
{
    QTest::addColumn<QByteArray>("octets"); // from register 100, in wire order
    QTest::addColumn<View>("view");
    QTest::addColumn<Order>("order");
    QTest::addColumn<QString>("point");
    QTest::addColumn<QStringList>("shown"); // "register count value"

    QTest::newRow("hex is the word whatever the order")
        << QByteArray::fromHex("3035fffe") << View::Hex << Order::Swapped << "."
        << QStringList{"100 1 0x3035", "101 1 0xFFFE"};
    QTest::newRow("u16, device") << QByteArray::fromHex("3412") << View::U16 << Order::Device << "."
                                 << QStringList{"100 1 4660"};
    QTest::newRow("u16, swapped") << QByteArray::fromHex("3412") << View::U16 << Order::Swapped << "."
                                  << QStringList{"100 1 13330"};
    QTest::newRow("i16 negative, device") << QByteArray::fromHex("feff0080") << View::I16 << Order::Device
                                          << "." << QStringList{"100 1 -2", "101 1 -32768"};
    QTest::newRow("i16 negative, swapped") << QByteArray::fromHex("fffe") << View::I16 << Order::Swapped
                                           << "." << QStringList{"100 1 -2"};
    QTest::newRow("u32, device") << QByteArray::fromHex("78563412ffffffff") << View::U32 << Order::Device
                                 << "." << QStringList{"100 2 305419896", "102 2 4294967295"};
    QTest::newRow("i32, swapped") << QByteArray::fromHex("12345678fffffffe") << View::I32 << Order::Swapped
                                  << "." << QStringList{"100 2 305419896", "102 2 -2"};
    QTest::newRow("float, device") << QByteArray::fromHex("0000803fcdcccc3d000020c0") << View::Float
                                   << Order::Device << "." << QStringList{"100 2 1", "102 2 0.1", "104 2 -2.5"};
    QTest::newRow("float, swapped, decimal comma")
        << QByteArray::fromHex("3f800000c0200000") << View::Float << Order::Swapped << ","
        << QStringList{"100 2 1", "102 2 -2,5"};
    QTest::newRow("odd register after a float not shown")
        << QByteArray::fromHex("0000803f1234") << View::Float << Order::Device << "." << QStringList{"100 2 1"};
    // Cyrillic and the degree sign from Windows-1251; what could steer a
    // terminal is escaped, and so is the escape character.
    QTest::newRow("text") << QByteArray::fromHex("d2e5f1f2b04300135c98") << View::Text << Order::Swapped << "."
                          << QStringList{QString::fromUtf8(R"(100 5 Тест°C\x00\x13\\\x98)")};
    QTest::newRow("nothing") << QByteArray() << View::Text << Order::Device << "." << QStringList();
}

void tst_raw_registers::views()
{
    QFETCH(QByteArray, octets);
    QFETCH(View, view);
    QFETCH(Order, order);
    QFETCH(QString, point);
    QFETCH(QStringList, shown);
    QStringList got;
    QStringList octetsShown;
    for (const raw::Shown &s : raw::show(octets, 100, view, order, point.front())) {
        got << QStringLiteral("%1 %2 %3").arg(s.reg).arg(s.registers).arg(s.value);
        octetsShown << s.octets;
    }
    QCOMPARE(got, shown);
    // Every value stands beside the octets it was made of.
    const int step = view == View::Text ? 1 : raw::isWide(view) ? 4 : 2;
    QCOMPARE(octetsShown.join(QLatin1Char(' ')), raw::octetText(octets.left(octets.size() / step * step)));
}

void tst_raw_registers::refusals_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<View>("view");
    QTest::addColumn<QString>("refusal"); // empty: accepted

    const QString tooMany = QStringLiteral("Количество регистров должно быть от 1 до 125");
    const QString firstOutside = QStringLiteral("Первый регистр должен быть от 0 до 65535");
    QTest::newRow("read one") << false << qint64(0) << qint64(1) << View::Hex << "";
    QTest::newRow("read the last register") << false << qint64(65535) << qint64(1) << View::Hex << "";
    QTest::newRow("read 125 up to the last") << false << qint64(65411) << qint64(125) << View::U16 << "";
    QTest::newRow("read past the last") << false << qint64(65412) << qint64(125) << View::Hex
                                        << "Регистры 65412..65536 выходят за последний регистр 65535";
    QTest::newRow("read none") << false << qint64(10012) << qint64(0) << View::Hex << tooMany;
    QTest::newRow("read 126") << false << qint64(0) << qint64(126) << View::Hex << tooMany;
    QTest::newRow("read a count past 64 bits")
        << false << qint64(0) << std::numeric_limits<qint64>::max() << View::Hex << tooMany;
    QTest::newRow("read before 0") << false << qint64(-1) << qint64(1) << View::Hex << firstOutside;
    QTest::newRow("read from past 65535") << false << qint64(65536) << qint64(1) << View::Hex << firstOutside;
    QTest::newRow("read float of an odd count")
        << false << qint64(10012) << qint64(3) << View::Float
        << "Значение float занимает два регистра: количество должно быть чётным";
    QTest::newRow("read u32 of an even count") << false << qint64(10012) << qint64(2) << View::U32 << "";
    QTest::newRow("read text of an odd count") << false << qint64(10012) << qint64(3) << View::Text << "";
    QTest::newRow("write 123") << true << qint64(0) << qint64(123) << View::Hex << "";
    QTest::newRow("write 124") << true << qint64(0) << qint64(124) << View::Hex
                               << "За один запрос можно записать не более 123 регистров, значений: 124";
    QTest::newRow("write nothing") << true << qint64(0) << qint64(0) << View::Hex << "Нет значений для записи";
    QTest::newRow("write the last register") << true << qint64(65535) << qint64(1) << View::Hex << "";
    QTest::newRow("write past the last") << true << qint64(65535) << qint64(2) << View::Hex
                                         << "Регистры 65535..65536 выходят за последний регистр 65535";
}

void tst_raw_registers::refusals()
{
    QFETCH(bool, write);
    QFETCH(qint64, first);
    QFETCH(qint64, count);
    QFETCH(View, view);
    QFETCH(QString, refusal);
    QCOMPARE(write ? raw::writeRefusal(first, count) : raw::readRefusal(first, count, view), refusal);
}

void tst_raw_registers::words_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("octets");
    QTest::addColumn<QString>("refusal");

    const QString forms = QStringLiteral("нужно число от 0 до 65535 или от 0x0 до 0xFFFF");
    QTest::newRow("decimal") << "1 2 65535" << QByteArray::fromHex("00010002ffff") << "";
    QTest::newRow("hex and separators") << " 0x0001,0XfFfE;\t0x1 " << QByteArray::fromHex("0001fffe0001") << "";
    QTest::newRow("empty") << "  " << QByteArray() << "";
    QTest::newRow("past 16 bits") << "1 65536" << QByteArray() << "Значение 65536 не помещается в 16 бит: " + forms;
    QTest::newRow("hex past 16 bits") << "0x10000" << QByteArray() << "Значение 0x10000 не помещается в 16 бит: " + forms;
    QTest::newRow("past 64 bits") << "99999999999999999999999" << QByteArray()
                                  << "Значение 99999999999999999999999 не помещается в 16 бит: " + forms;
    QTest::newRow("negative") << "-1" << QByteArray() << "«-1» — не значение регистра: " + forms;
    QTest::newRow("sign") << "+5" << QByteArray() << "«+5» — не значение регистра: " + forms;
    QTest::newRow("prefix alone") << "0x" << QByteArray() << "«0x» — не значение регистра: " + forms;
    QTest::newRow("hex digits without prefix") << "12ab" << QByteArray() << "«12ab» — не значение регистра: " + forms;
    QTest::newRow("other digits") << QString::fromUtf8("１２") << QByteArray()
                                  << QString::fromUtf8("«１２» — не значение регистра: ") + forms;
}

void tst_raw_registers::words()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, octets);
    QFETCH(QString, refusal);
    const raw::Words words = raw::parseWords(text);
    QCOMPARE(words.refusal, refusal);
    QCOMPARE(raw::wordOctets(words.words), octets);
}

void tst_raw_registers::writeJudgedByReadBack_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("function"); // the fault's; -1 every request
    QTest::addColumn<raw::Verdict>("verdict");
    QTest::addColumn<bool>("acknowledged");
    QTest::addColumn<QString>("text");

    using raw::Verdict;
    QTest::newRow("acknowledged") << kNoFault << -1 << Verdict::Verified << true
                                  << "Записано и проверено чтением: регистры 100..101";
    // The simulator carries out a write whose reply it spoils.
    QTest::newRow("carried out, reply spoilt")
        << int(FaultRule::BadCrc) << 0x10 << Verdict::Verified << false
        << "Записано и проверено чтением: регистры 100..101\nПрибор не подтвердил запись: ответ с ошибкой CRC";
    QTest::newRow("lost on the line")
        << int(FaultRule::Silent) << 0x10 << Verdict::Differs << false
        << "Прочитано не то, что записано: регистр 100: записано 0xA55A, прочитано 0x";
    QTest::newRow("read-back refused")
        << int(FaultRule::Refuse) << 0x03 << Verdict::Unverified << true
        << "Запись подтверждена, но не проверена: чтение не удалось: прибор ответил исключением 2";
    QTest::newRow("silent recorder") << int(FaultRule::Silent) << -1 << Verdict::NoLink << false
                                     << "Нет связи с прибором\nНет ответа за 500 мс\n" + raw::kStateUnknown;
}

void tst_raw_registers::writeJudgedByReadBack()
{
    QFETCH(int, fault);
    QFETCH(int, function);
    QFETCH(raw::Verdict, verdict);
    QFETCH(bool, acknowledged);
    QFETCH(QString, text);
    PageHarness<RegistersPage> h;
    const QByteArray before = h.link.model.holdingBytes(100, 2);
    if (fault != kNoFault) {
        FaultRule rule{FaultRule::Kind(fault)};
        rule.function = function;
        rule.amount = 2;
        h.link.faults.add(rule);
    }
    const raw::WriteCheck check = raw::writeAndReadBack(h.modbus, h.link, 100, {0xA55A, 0x5AA5});
    QCOMPARE(raw::verdictOf(check), verdict);
    QCOMPARE(check.acknowledged(), acknowledged);
    QVERIFY2(raw::verdictText(check).startsWith(text), qPrintable(raw::verdictText(check)));
    // The write, then always the read of the same registers.
    QCOMPARE(h.link.sent.size(), 2);
    QCOMPARE(h.link.sent[1].frame, frames::readRequest(1, 0x03, 100, 2));
    const bool carriedOut = verdict != raw::Verdict::Differs && verdict != raw::Verdict::NoLink;
    QCOMPARE(h.link.model.holdingBytes(100, 2), carriedOut ? QByteArray::fromHex("a55a5aa5") : before);
}

void tst_raw_registers::pageAsksBeforeWriting_data()
{
    QTest::addColumn<QString>("values"); // from register 100
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QStringList>("boxes"); // the first line of each
    QTest::addColumn<int>("requests");

    const QString question = QStringLiteral("Записать в регистры 100..101 прибора с адресом 1?");
    QTest::newRow("confirmed") << "0x1234 65535" << true
                               << QStringList{question, "Записано и проверено чтением: регистры 100..101"} << 2;
    QTest::newRow("declined") << "0x1234 65535" << false << QStringList{question} << 0;
    QTest::newRow("past 16 bits") << "70000" << true
                                  << QStringList{"Значение 70000 не помещается в 16 бит: нужно число от 0 до "
                                                 "65535 или от 0x0 до 0xFFFF"}
                                  << 0;
}

void tst_raw_registers::pageAsksBeforeWriting()
{
    QFETCH(QString, values);
    QFETCH(bool, answer);
    QFETCH(QStringList, boxes);
    QFETCH(int, requests);
    PageHarness<RegistersPage> h;
    const QByteArray before = h.link.model.holdingBytes(100, 2);
    int written = 0;
    h.page->written = [&written](const raw::WriteCheck &) { ++written; };
    h.controls.setPosition(QStringLiteral("UpDownRegsWriteFirst"), 100);
    h.controls.setText(QStringLiteral("EditRegsValues"), values);
    h.boxes.answer = answer;
    h.page->ButtonRegsWriteClick();
    QCOMPARE(h.boxes.firstLines(), boxes);
    QCOMPARE(h.link.sent.size(), requests);
    QCOMPARE(written, requests > 0 ? 1 : 0);
    if (boxes.size() > 1 || !answer) {
        // The question shows the data and the whole request before it goes.
        QByteArray request = QByteArray::fromHex("01100064000204" "1234ffff");
        frames::appendCrc(request);
        QVERIFY(h.boxes.boxes[0].text.contains("Данные: 12 34 FF FF\nЗапрос (функция 0x10): "
                                               + raw::octetText(request)));
        QCOMPARE(h.link.sent.value(0).frame, requests ? request : QByteArray());
    }
    QCOMPARE(h.link.model.holdingBytes(100, 2), requests ? QByteArray::fromHex("1234ffff") : before);
}

void tst_raw_registers::pageReads()
{
    PageHarness<RegistersPage> h;
    IControls &c = h.controls;
    const QString grid = QStringLiteral("StringGridRegs");
    c.setPosition(QStringLiteral("UpDownRegsFirst"), 10012);
    c.setPosition(QStringLiteral("UpDownRegsCount"), 6);
    c.setItemIndex(QStringLiteral("ComboBoxRegsView"), int(View::Text));
    h.page->ButtonRegsReadClick();
    QVERIFY(h.boxes.boxes.isEmpty());
    QCOMPARE(h.link.sent.size(), 1);
    QCOMPARE(h.link.sent[0].frame, frames::readRequest(1, 0x03, 10012, 6));
    QCOMPARE(c.rowCount(grid), 2);
    QCOMPARE(c.cell(grid, 0, 1), QStringLiteral("10012..10017"));
    QCOMPARE(c.cell(grid, 2, 1), QStringLiteral("050309001234"));

    // 32-bit values of an odd count: refused, nothing sent, the table kept.
    c.setItemIndex(QStringLiteral("ComboBoxRegsView"), int(View::U32));
    c.setPosition(QStringLiteral("UpDownRegsCount"), 3);
    h.page->ButtonRegsReadClick();
    QCOMPARE(h.boxes.lastKind(), CapturedBoxes::Error);
    QCOMPARE(h.link.sent.size(), 1);
    QCOMPARE(c.rowCount(grid), 2);

    // Input registers; a read without a reply empties the table.
    c.setItemIndex(QStringLiteral("ComboBoxRegsFunction"), 1);
    c.setItemIndex(QStringLiteral("ComboBoxRegsView"), int(View::Hex));
    c.setPosition(QStringLiteral("UpDownRegsFirst"), 0);
    h.link.faults.add(FaultRule{FaultRule::Silent});
    h.page->ButtonRegsReadClick();
    QCOMPARE(h.link.sent.last().frame, frames::readRequest(1, 0x04, 0, 3));
    QCOMPARE(h.boxes.firstLines().last(), QStringLiteral("Нет связи с прибором"));
    QCOMPARE(c.rowCount(grid), 1);
}

QTEST_MAIN(tst_raw_registers)
#include "tst_raw_registers.moc"
