// The output and alarm setpoint pages against the simulated recorder, and
// how the bulk read fills them and the math sheets.
#include "service/output_test_group.h"
#include "settings/outputs_page.h"
#include "ui/controls.h"
#include "sim/recorder_model.h"
#include "tests/support/frame_fields.h"
#include "tests/support/window_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QtEndian>

#include <cstring>

using namespace vexs;
using namespace vexs::test;

namespace {

QString name(const char *prefix, int n)
{
    return QString::fromLatin1(prefix) + QString::number(n);
}

void putFloat(QByteArray &bytes, int offset, float value)
{
    quint32 raw;
    std::memcpy(&raw, &value, 4);
    qToLittleEndian(raw, bytes.data() + offset);
}


QStringList itemsOf(IControls &c, const QString &list)
{
    QStringList items;
    for (int i = 0; i < c.itemCount(list); ++i)
        items.append(c.itemText(list, i));
    return items;
}

int setpointRegister(int n)
{
    return 674 + 6 * n;
}

QByteArray setpointRecord(int on, int channel, int kind, int relay, float value, float zone)
{
    QByteArray r(12, '\0');
    r[0] = char(on);
    r[1] = char(channel);
    r[2] = char(kind);
    r[3] = char(relay);
    putFloat(r, 4, value);
    putFloat(r, 8, zone);
    return r;
}

} // namespace

class tst_outputs_setpoints : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void outputRows();
    void setpointRows();
    void outputReadWrite_data();
    void outputReadWrite();
    void outputFailures_data();
    void outputFailures();
    void setpointReadWrite_data();
    void setpointReadWrite();
    void setpointValidation_data();
    void setpointValidation();
    void setpointWriteMatchesPage();
    void bulkReadFillsPages();
};

void tst_outputs_setpoints::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void tst_outputs_setpoints::outputRows()
{
    WindowFixture fx({false, {}});
    IControls &c = fx.controls();
    for (int n = 1; n <= 4; ++n) {
        QCOMPARE(itemsOf(c, name("ComboBoxOutVkl", n)), QStringList({"Выкл", "Вкл"}));
        QCOMPARE(itemsOf(c, name("ComboBoxOutCan", n)),
                 QStringList({QString("Канал %1").arg(n), "Канал М1", "Канал М2", "Канал М3", "Канал М4"}));
        QCOMPARE(c.itemIndex(name("ComboBoxOutCan", n)), 0);
        QCOMPARE(c.text(name("StaticTextOutCan", n)), QString("Канал %1").arg(n));
        QCOMPARE(fx.button(name("ButtonReadNastrOut", n))->text(), QString("Считать"));
        QCOMPARE(fx.button(name("ButtonWriteNastrOut", n))->text(), QString("Записать"));
    }
    // Column captions, and the service group placed below the rows.
    auto *page = fx.window().findChild<OutputsPage *>();
    QVERIFY(page);
    QStringList captions;
    for (auto *label : page->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
        captions.append(label->text());
    QVERIFY(captions.contains("Вкл/Выкл"));
    QVERIFY(captions.contains("Канал"));
    auto *group = page->findChild<OutputTestGroup *>();
    QVERIFY(group);
    QCOMPARE(group->parentWidget(), page);
    fx.revealEverything();
    fx.window().selectNode(5);
    QVERIFY(QTest::qWaitForWindowExposed(&fx.window()));
    QTRY_VERIFY(group->isVisible());
    QVERIFY(group->geometry().top() >= fx.button("ButtonWriteNastrOut4")->geometry().bottom());
}

void tst_outputs_setpoints::setpointRows()
{
    WindowFixture fx({false, {}});
    IControls &c = fx.controls();
    QCOMPARE(c.text("StaticTextUstUst"), QString("Значение уставки"));
    QCOMPARE(c.text("StaticTextUstZona"), QString("Значение зоны возвр"));
    for (int n = 1; n <= 8; ++n) {
        QCOMPARE(itemsOf(c, name("ComboBoxUstVkl", n)), QStringList({"Выкл", "Вкл"}));
        QCOMPARE(itemsOf(c, name("ComboBoxUstCan", n)),
                 QStringList({"Канал 1", "Канал 2", "Канал 3", "Канал 4", "Канал М1", "Канал М2",
                              "Канал М3", "Канал М4"}));
        QCOMPARE(itemsOf(c, name("ComboBoxUstTypeUST", n)), QStringList({"Больше", "Меньше"}));
        QCOMPARE(itemsOf(c, name("ComboBoxUstSost", n)), QStringList({"Замкнуто", "Разомкнуто"}));
        QVERIFY(fx.window().findChild<QLineEdit *>(name("EditUstUst", n)));
        QVERIFY(fx.window().findChild<QLineEdit *>(name("EditUstZona", n)));
        QCOMPARE(fx.button(name("ButtonReadNastrUst", n))->text(), QString("Считать"));
        QCOMPARE(fx.button(name("ButtonWriteNastrUst", n))->text(), QString("Записать"));
    }
    QStringList labels;
    for (auto *label : fx.window().findChildren<QLabel *>())
        labels.append(label->text());
    for (const char *caption : {"Уставка 1", "Уставка 8", "Вкл/Выкл", "Выбор канала", "Вид уставки",
                                "Исх. сост. реле"})
        QVERIFY2(labels.contains(QString::fromUtf8(caption)), caption);
}

void tst_outputs_setpoints::outputReadWrite_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<int>("onIndex");
    QTest::addColumn<int>("sourceIndex");
    QTest::addColumn<QByteArray>("writtenBack");
    QTest::newRow("output 3, М3") << 3 << QByteArray("\x01\x03", 2) << 1 << 3 << QByteArray("\x01\x03", 2);
    QTest::newRow("output 3, source past the list")
        << 3 << QByteArray("\x00\x05", 2) << 0 << -1 << QByteArray("\x00\xFF", 2);
    QTest::newRow("output 1, switch past the list")
        << 1 << QByteArray("\x07\x00", 2) << -1 << 0 << QByteArray("\xFF\x00", 2);
    QTest::newRow("output 4, both past") << 4 << QByteArray("\xFE\xFE", 2) << -1 << -1
                                         << QByteArray("\xFF\xFF", 2);
}

void tst_outputs_setpoints::outputReadWrite()
{
    QFETCH(int, n);
    QFETCH(QByteArray, device);
    QFETCH(int, onIndex);
    QFETCH(int, sourceIndex);
    QFETCH(QByteArray, writtenBack);
    WindowFixture fx;
    IControls &c = fx.controls();
    const int reg = 675 + n;
    QVERIFY(fx.sim().model().setHoldingBytes(reg, device));
    const QByteArray others = fx.sim().model().holdingBytes(676, 4);
    const int other = n == 1 ? 2 : 1;
    c.setItemIndex(name("ComboBoxOutVkl", other), 1);
    c.setItemIndex(name("ComboBoxOutCan", other), 4);

    fx.click(name("ButtonReadNastrOut", n));
    QCOMPARE(fx.boxes.texts(), QStringList({"Выполнено"}));
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Info);
    QCOMPARE(fx.requests().size(), 1);
    QCOMPARE(functionOf(fx.requests()[0]), 0x03);
    QCOMPARE(firstOf(fx.requests()[0]), reg);
    QCOMPARE(countOf(fx.requests()[0]), 1);
    QCOMPARE(c.itemIndex(name("ComboBoxOutVkl", n)), onIndex);
    QCOMPARE(c.itemIndex(name("ComboBoxOutCan", n)), sourceIndex);
    QCOMPARE(c.itemIndex(name("ComboBoxOutVkl", other)), 1); // only row n changed
    QCOMPARE(c.itemIndex(name("ComboBoxOutCan", other)), 4);

    // The row written back unchanged; the device then holds what the row shows.
    QVERIFY(fx.sim().model().setHoldingBytes(reg, QByteArray("\x55\x55", 2)));
    fx.boxes.clear();
    fx.clearRequests();
    fx.click(name("ButtonWriteNastrOut", n));
    QCOMPARE(fx.boxes.texts(), QStringList({"Выполнено"}));
    QCOMPARE(fx.requests().size(), 1);
    QCOMPARE(functionOf(fx.requests()[0]), 0x10);
    QCOMPARE(firstOf(fx.requests()[0]), reg);
    QCOMPARE(countOf(fx.requests()[0]), 1);
    QCOMPARE(fx.sim().model().holdingBytes(reg, 1).toHex(' '), writtenBack.toHex(' '));
    QByteArray expectedOthers = others;
    expectedOthers.replace(2 * (n - 1), 2, writtenBack);
    QCOMPARE(fx.sim().model().holdingBytes(676, 4).toHex(' '), expectedOthers.toHex(' '));
}

void tst_outputs_setpoints::outputFailures_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("kind");
    QTest::newRow("read, no reply") << false << int(FaultRule::Silent);
    QTest::newRow("read, bad CRC") << false << int(FaultRule::BadCrc);
    QTest::newRow("write, no reply") << true << int(FaultRule::Silent);
    QTest::newRow("write, short reply") << true << int(FaultRule::Truncate);
}

void tst_outputs_setpoints::outputFailures()
{
    QFETCH(bool, write);
    QFETCH(int, kind);
    WindowFixture fx;
    IControls &c = fx.controls();
    FaultRule rule;
    rule.kind = FaultRule::Kind(kind);
    rule.amount = 1;
    fx.sim().faults().add(rule);
    c.setItemIndex("ComboBoxOutVkl2", 1);
    c.setItemIndex("ComboBoxOutCan2", 3);

    fx.click(write ? "ButtonWriteNastrOut2" : "ButtonReadNastrOut2");

    QCOMPARE(fx.boxes.firstLines(), QStringList({"Нет связи с прибором"}));
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Error);
    QCOMPARE(c.itemIndex("ComboBoxOutVkl2"), 1);
    QCOMPARE(c.itemIndex("ComboBoxOutCan2"), 3);
}

void tst_outputs_setpoints::setpointReadWrite_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<QList<int>>("indexes"); // Vkl, Can, TypeUST, Sost
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QByteArray>("writtenBack");
    const QByteArray eight = setpointRecord(1, 7, 1, 0, -12.5f, 0.25f);
    QTest::newRow("setpoint 8") << 8 << eight << QList<int>{1, 7, 1, 0} << "-12,500" << "0,250" << eight;
    QByteArray past = setpointRecord(0, 8, 1, 2, 123456.0f, 0.0f);
    QByteArray pastBack = past;
    pastBack[1] = char(0xFF);
    pastBack[3] = char(0xFF);
    QTest::newRow("setpoint 8, channel and relay past their lists")
        << 8 << past << QList<int>{0, -1, 1, -1} << "123456,000" << "0,000" << pastBack;
    const QByteArray one = setpointRecord(1, 4, 0, 1, 300.0f, 2.0f);
    QTest::newRow("setpoint 1") << 1 << one << QList<int>{1, 4, 0, 1} << "300,000" << "2,000" << one;
}

void tst_outputs_setpoints::setpointReadWrite()
{
    QFETCH(int, n);
    QFETCH(QByteArray, device);
    QFETCH(QList<int>, indexes);
    QFETCH(QString, value);
    QFETCH(QString, zone);
    QFETCH(QByteArray, writtenBack);
    WindowFixture fx;
    IControls &c = fx.controls();
    const int reg = setpointRegister(n);
    QVERIFY(fx.sim().model().setHoldingBytes(reg, device));
    const QByteArray area = fx.sim().model().holdingBytes(680, 48);

    fx.click(name("ButtonReadNastrUst", n));
    QCOMPARE(fx.boxes.texts(), QStringList({"Выполнено"}));
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Info);
    QCOMPARE(fx.requests().size(), 1);
    QCOMPARE(functionOf(fx.requests()[0]), 0x03);
    QCOMPARE(firstOf(fx.requests()[0]), reg);
    QCOMPARE(countOf(fx.requests()[0]), 6);
    QCOMPARE(QList<int>({c.itemIndex(name("ComboBoxUstVkl", n)), c.itemIndex(name("ComboBoxUstCan", n)),
                         c.itemIndex(name("ComboBoxUstTypeUST", n)), c.itemIndex(name("ComboBoxUstSost", n))}),
             indexes);
    QCOMPARE(c.text(name("EditUstUst", n)), value);
    QCOMPARE(c.text(name("EditUstZona", n)), zone);

    QVERIFY(fx.sim().model().setHoldingBytes(reg, QByteArray(12, char(0x55))));
    fx.boxes.clear();
    fx.clearRequests();
    fx.click(name("ButtonWriteNastrUst", n));
    QCOMPARE(fx.boxes.texts(), QStringList({"Выполнено"}));
    QCOMPARE(fx.requests().size(), 1);
    QCOMPARE(functionOf(fx.requests()[0]), 0x10);
    QCOMPARE(firstOf(fx.requests()[0]), reg);
    QCOMPARE(countOf(fx.requests()[0]), 6);
    // Only the setpoint's own six registers changed.
    QByteArray expected = area;
    expected.replace(12 * (n - 1), 12, writtenBack);
    QCOMPARE(fx.sim().model().holdingBytes(680, 48).toHex(' '), expected.toHex(' '));
}

void tst_outputs_setpoints::setpointValidation_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("message");
    QTest::newRow("setpoint empty") << 3 << "" << "1" << "Канал 3: Значение уставки.Неверное значение";
    QTest::newRow("setpoint 1e39") << 1 << "1e39" << "1" << "Канал 1: Значение уставки.Неверное значение";
    QTest::newRow("zone 1e39") << 8 << "5" << "1e39" << "Канал 8: Значение зоны возвр.Неверное значение";
    QTest::newRow("zone empty while off") << 2 << "5" << "" << "Канал 2: Значение зоны возвр.Неверное значение";
    QTest::newRow("setpoint checked first") << 5 << "x" << "y" << "Канал 5: Значение уставки.Неверное значение";
    QTest::newRow("two separators") << 4 << "1,5.2" << "0" << "Канал 4: Значение уставки.Неверное значение";
}

void tst_outputs_setpoints::setpointValidation()
{
    QFETCH(int, n);
    QFETCH(QString, value);
    QFETCH(QString, zone);
    QFETCH(QString, message);
    WindowFixture fx;
    IControls &c = fx.controls();
    c.setItemIndex(name("ComboBoxUstVkl", n), 0);
    c.setText(name("EditUstUst", n), value);
    c.setText(name("EditUstZona", n), zone);

    fx.click(name("ButtonWriteNastrUst", n));

    QCOMPARE(fx.boxes.texts(), QStringList({message}));
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Error);
    QVERIFY(fx.requests().isEmpty());
}

void tst_outputs_setpoints::setpointWriteMatchesPage()
{
    // Typed values with either separator land in the device as the page
    // shows them, and a read shows them again with the locale's separator.
    WindowFixture fx;
    IControls &c = fx.controls();
    c.setItemIndex("ComboBoxUstVkl6", 1);
    c.setItemIndex("ComboBoxUstCan6", 5);
    c.setItemIndex("ComboBoxUstTypeUST6", 1);
    c.setItemIndex("ComboBoxUstSost6", 1);
    c.setText("EditUstUst6", "12,5");
    c.setText("EditUstZona6", "0.75");

    fx.click("ButtonWriteNastrUst6");
    QCOMPARE(fx.boxes.texts(), QStringList({"Выполнено"}));
    QCOMPARE(fx.sim().model().holdingBytes(setpointRegister(6), 6).toHex(' '),
             setpointRecord(1, 5, 1, 1, 12.5f, 0.75f).toHex(' '));

    fx.click("ButtonReadNastrUst6");
    QCOMPARE(c.text("EditUstUst6"), QString("12,500"));
    QCOMPARE(c.text("EditUstZona6"), QString("0,750"));
}

namespace {

// The factory settings area with channel 3 and М4 switched off and values
// past the lists on every page under test.
QByteArray preparedArea()
{
    RecorderModel device;
    QByteArray area = device.settingsArea();
    area[40 * 2] = 0;              // channel 3 off
    area[160 + 298 * 3] = 0;       // М4 off
    area[160 + 298 * 1] = 1;       // М2 on
    area[160 + 298 * 1 + 24] = 40; // М2 count past the counter's range
    area[160 + 298 * 1 + 21] = 6;  // М2 operand B past its list
    area[1352 + 2 * 2] = 1;        // output 3 on
    area[1352 + 2 * 2 + 1] = 9;    // output 3 source past its list
    area.replace(1360 + 12 * 7, 12, setpointRecord(1, 6, 1, 0, 42.0f, 1.5f));
    area[1360 + 12 * 4 + 1] = 12;  // setpoint 5 channel past its list
    return area;
}

// What the three pages show for preparedArea() with channel 2's module missing.
void checkPagesShowPreparedArea(IControls &c)
{
    QCOMPARE(c.itemText("ComboBoxOutCan2", 0), QString("Канал 2 -нет"));
    QCOMPARE(c.itemText("ComboBoxOutCan3", 0), QString("Канал 3"));
    QCOMPARE(c.text("StaticTextOutCan2"), QString(" Канал 2 -нет"));
    QCOMPARE(c.text("StaticTextOutCan1"), QString(" Канал 1"));
    for (int m = 1; m <= 4; ++m) {
        for (const char *letter : {"A", "B", "C", "D"}) {
            const QString list = QString("ComboBoxMatCanZn%1%2").arg(letter).arg(m);
            QCOMPARE(itemsOf(c, list), QStringList({QString("%1=Канал 1").arg(letter),
                                                    QString("%1=Канал 2 -нет").arg(letter),
                                                    QString("%1=Канал 3").arg(letter),
                                                    QString("%1=Канал 4").arg(letter)}));
        }
    }
    for (int s = 1; s <= 8; ++s) {
        QCOMPARE(itemsOf(c, name("ComboBoxUstCan", s)),
                 QStringList({"Канал 1", "Канал 2 -нет", "Канал 3 -выкл", "Канал 4 -выкл", "Канал М1",
                              "Канал М2", "Канал М3 -выкл", "Канал М4 -выкл"}));
    }

    // Math sheets from their records.
    QCOMPARE(c.itemIndex("ComboBoxMatCanVkl1"), 1);
    QCOMPARE(c.itemIndex("ComboBoxMatCanFormula1"), 3);
    QCOMPARE(c.text("EditMatCanEd1"), QString("%"));
    QCOMPARE(c.position("UpDownMatCanKolCoeff1"), 3);
    QCOMPARE(c.rowCount("StringGridMatCanCoeff1"), 4);
    QCOMPARE(c.cell("StringGridMatCanCoeff1", 1, 2), QString("125,000"));
    QCOMPARE(c.cell("StringGridMatCanCoeff1", 2, 3), QString("100,000"));
    QCOMPARE(c.text("EditIndBarVPI_1"), QString("100,000"));
    QCOMPARE(c.position("UpDownMatCanKolCoeff2"), 32);
    QCOMPARE(c.rowCount("StringGridMatCanCoeff2"), 33);
    QCOMPARE(c.cell("StringGridMatCanCoeff2", 0, 32), QString("32"));
    QCOMPARE(c.cell("StringGridMatCanCoeff2", 1, 32), QString("0,000"));
    QCOMPARE(c.itemIndex("ComboBoxMatCanZnB2"), -1);
    QCOMPARE(c.text("EditMatCanK2_3"), QString("0,500"));
    QCOMPARE(c.text("EditMatCanEd4"), QString("кПа"));
    QCOMPARE(c.itemIndex("ComboBoxMatCanVkl4"), 0);

    // Outputs and setpoints.
    QCOMPARE(c.itemIndex("ComboBoxOutVkl1"), 1);
    QCOMPARE(c.itemIndex("ComboBoxOutCan2"), 1);
    QCOMPARE(c.itemIndex("ComboBoxOutVkl3"), 1);
    QCOMPARE(c.itemIndex("ComboBoxOutCan3"), -1);
    QCOMPARE(c.itemIndex("ComboBoxUstCan8"), 6);
    QCOMPARE(c.itemIndex("ComboBoxUstTypeUST8"), 1);
    QCOMPARE(c.text("EditUstUst8"), QString("42,000"));
    QCOMPARE(c.text("EditUstZona8"), QString("1,500"));
    QCOMPARE(c.itemIndex("ComboBoxUstCan5"), -1);
    QCOMPARE(c.text("EditUstUst1"), QString("200,000"));
}

} // namespace

void tst_outputs_setpoints::bulkReadFillsPages()
{
    // "Считать настройки прибора" fills the three pages from the image and
    // its label refresh reaches their lists.
    WindowFixture fx;
    fx.sim().model().setSettingsArea(preparedArea());
    fx.sim().model().setModuleMissing(2, true);

    fx.click("Button11");

    QCOMPARE(fx.controls().text("LabelInfo"), QString("Настройки успешно считаны"));
    checkPagesShowPreparedArea(fx.controls());
}

QTEST_MAIN(tst_outputs_setpoints)
#include "tst_outputs_setpoints.moc"
