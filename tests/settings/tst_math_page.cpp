// The math channel sheets against the simulated recorder: the five-chunk
// read and write, the point table and its counter, the write's validation
// order and messages, and the record as it lands in the device.
#include "settings/math_page.h"
#include "settings/record_layout.h"
#include "ui/controls.h"
#include "tests/support/frame_fields.h"
#include "tests/support/window_fixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QtEndian>

#include <cstring>

using namespace vexs;
using namespace vexs::test;

namespace {

constexpr int kRecordBytes = 298;
constexpr int kRecordRegisters = 149;

int firstRegisterOf(int m)
{
    return 80 + 149 * (m - 1);
}

QString name(const char *prefix, int m)
{
    return QString::fromLatin1(prefix) + QString::number(m);
}

void putFloat(QByteArray &bytes, int offset, float value)
{
    quint32 raw;
    std::memcpy(&raw, &value, 4);
    qToLittleEndian(raw, bytes.data() + offset);
}

float floatAt(const QByteArray &bytes, int offset)
{
    const quint32 raw = qFromLittleEndian<quint32>(bytes.constData() + offset);
    float value;
    std::memcpy(&value, &raw, 4);
    return value;
}

quint8 byteAt(const QByteArray &bytes, int offset)
{
    return static_cast<quint8>(bytes.at(offset));
}

// Request frames as the simulator logged them.

// A record with a value in every field, nothing the sheet would change when
// it shows and writes it back. X[i] = 10 i + 0.5, Y[i] = -i, for all 32 points.
QByteArray sampleRecord(int points)
{
    QByteArray r(kRecordBytes, '\0');
    r[0] = 1;
    r[1] = 4;
    r.replace(2, 6, QByteArray("\xEA\xE3\xF1/\xF1\xEC", 6)); // "кгс/см", all six bytes
    r[9] = 3;
    r[10] = 2;
    r[11] = char(0x01 + 16 * 2);
    putFloat(r, 12, -12.5f);
    putFloat(r, 16, 1300.25f);
    r[20] = 3;
    r[21] = 2;
    r[22] = 1;
    r[23] = 0;
    r[24] = char(points);
    for (int i = 1; i <= 32; ++i) {
        putFloat(r, 26 + 4 * (i - 1), 10.0f * i + 0.5f);
        putFloat(r, 154 + 4 * (i - 1), -float(i));
    }
    putFloat(r, 282, 1.0f);
    putFloat(r, 286, -0.5f);
    putFloat(r, 290, 0.125f);
    putFloat(r, 294, 1000.0f);
    return r;
}

QTableWidget *gridOf(WindowFixture &fx, int m)
{
    return fx.window().findChild<QTableWidget *>(name("StringGridMatCanCoeff", m));
}

// Fills every value control of sheet m with something valid.
void fillValidSheet(IControls &c, int m, int points)
{
    c.setText(name("EditIndBarNPI_", m), "0");
    c.setText(name("EditIndBarVPI_", m), "100");
    c.setPosition(name("UpDownMatCanKolCoeff", m), points);
    for (int row = 1; row <= points; ++row) {
        c.setCell(name("StringGridMatCanCoeff", m), 1, row, QString::number(row));
        c.setCell(name("StringGridMatCanCoeff", m), 2, row, QString::number(row * 2));
    }
    for (int k = 1; k <= 4; ++k)
        c.setText(QStringLiteral("EditMatCanK%1_%2").arg(k).arg(m), "1");
}

} // namespace

class tst_math_page : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sheetsAndControls_data();
    void sheetsAndControls();
    void startUpTable();
    void counterSizesTable_data();
    void counterSizesTable();
    void shrinkingKeepsHiddenPoints();
    void unitsEditLimitsTyping();
    void readInFiveChunks_data();
    void readInFiveChunks();
    void readFailureChangesNothing_data();
    void readFailureChangesNothing();
    void writeValidation_data();
    void writeValidation();
    void writeZeroesPointsAboveCount();
    void writeStopsAtFailedChunk();
    void readThenWriteGivesSameRecord();
};

void tst_math_page::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void tst_math_page::sheetsAndControls_data()
{
    QTest::addColumn<int>("m");
    for (int m = 1; m <= 4; ++m)
        QTest::addRow("М%d", m) << m;
}

void tst_math_page::sheetsAndControls()
{
    QFETCH(int, m);
    WindowFixture fx({false, {}});
    TformMain &w = fx.window();

    auto *tabs = w.findChild<QTabWidget *>("PageControl2");
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->widget(m - 1)->objectName(), name("TabSheet", 12 + m));
    QCOMPARE(tabs->tabText(m - 1), QString("Канал М%1").arg(m));
    QWidget *sheet = tabs->widget(m - 1);

    const QStringList colours = {"Красный", "Зеленый", "Синий"};
    const QList<QPair<QString, QStringList>> lists = {
        {"ComboBoxMatCanVkl", {"Выкл", "Вкл"}},
        {"ComboBoxMatCanFormula",
         {"Сумма A+B", "Вычитание A-B", "Среднее значение (A+B)/2", "Линеаризация A",
          "=A*K1+B*K2+C*K3+D*K4"}},
        {"ComboBoxMatCanZnA", {"A=Канал 1", "A=Канал 2", "A=Канал 3", "A=Канал 4"}},
        {"ComboBoxMatCanZnB", {"B=Канал 1", "B=Канал 2", "B=Канал 3", "B=Канал 4"}},
        {"ComboBoxMatCanZnC", {"C=Канал 1", "C=Канал 2", "C=Канал 3", "C=Канал 4"}},
        {"ComboBoxMatCanZnD", {"D=Канал 1", "D=Канал 2", "D=Канал 3", "D=Канал 4"}},
        {"ComboBoxMatCanZap", {"000000", "00000.0", "0000.00", "000.000", "00.0000", "0.00000"}},
        {"ComboBoxIndBarType_", colours},
        {"ComboBoxIndBarColorUstBolse_", colours},
        {"ComboBoxIndBarColorUstMense_", colours},
    };
    for (const auto &[prefix, items] : lists) {
        auto *combo = sheet->findChild<QComboBox *>(prefix + QString::number(m));
        QVERIFY2(combo, qPrintable(prefix));
        QVERIFY(!combo->isEditable());
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts.append(combo->itemText(i));
        QCOMPARE(texts, items);
        QCOMPARE(combo->currentIndex(), 0);
    }
    for (const char *prefix : {"EditMatCanEd", "EditIndBarNPI_", "EditIndBarVPI_", "EditMatCanK1_",
                               "EditMatCanK2_", "EditMatCanK3_", "EditMatCanK4_"})
        QVERIFY2(sheet->findChild<QLineEdit *>(name(prefix, m)), prefix);
    auto *read = sheet->findChild<QPushButton *>(name("ButtonReadNastrMatCan", m));
    auto *write = sheet->findChild<QPushButton *>(name("ButtonWriteNastrMatCan", m));
    QVERIFY(read && write);
    QCOMPARE(read->text(), QString("Считать"));
    QCOMPARE(write->text(), QString("Записать"));

    auto *counter = sheet->findChild<QSpinBox *>(name("UpDownMatCanKolCoeff", m));
    QVERIFY(counter);
    QCOMPARE(counter->minimum(), 1);
    QCOMPARE(counter->maximum(), 32);
    auto *counterEdit = counter->findChild<QLineEdit *>(name("Edit", 49 + m));
    QVERIFY(counterEdit);
    QVERIFY(counterEdit->isReadOnly());

    // The grid and the counter sit in " Линеаризация ", K1..K4 in " Коэффициенты ".
    QStringList boxes;
    for (auto *box : sheet->findChildren<QGroupBox *>())
        boxes.append(box->title());
    QVERIFY(boxes.contains(" Линеаризация "));
    QVERIFY(boxes.contains(" Коэффициенты "));
    auto *grid = sheet->findChild<QTableWidget *>(name("StringGridMatCanCoeff", m));
    QVERIFY(grid);
    QCOMPARE(grid->parentWidget()->findChild<QSpinBox *>(), counter);
    QCOMPARE(grid->columnCount(), 3);
    QCOMPARE(grid->columnWidth(0), 30);

    // Captions quoted by the messages are named on sheet М1.
    QCOMPARE(fx.controls().text("StaticTextMatCanNPI"), QString("Барграф 0%"));
    QCOMPARE(fx.controls().text("StaticTextMatCanVPI"), QString("Барграф 100%"));
    QCOMPARE(fx.controls().text("StaticTextMatCanEd"), QString("Ед. измерения"));
}

void tst_math_page::startUpTable()
{
    WindowFixture fx({false, {}});
    IControls &c = fx.controls();
    for (int m = 1; m <= 4; ++m) {
        const QString grid = name("StringGridMatCanCoeff", m);
        QCOMPARE(c.position(name("UpDownMatCanKolCoeff", m)), 1);
        QCOMPARE(c.text(name("Edit", 49 + m)), QString("1"));
        QCOMPARE(c.rowCount(grid), 2);
        QCOMPARE(QStringList({c.cell(grid, 0, 0), c.cell(grid, 1, 0), c.cell(grid, 2, 0)}),
                 QStringList({"№", "X", "Y"}));
        QCOMPARE(QStringList({c.cell(grid, 0, 1), c.cell(grid, 1, 1), c.cell(grid, 2, 1)}),
                 QStringList({"1", "0", "0"}));
    }

    // The counter already at 1 does not signal a change: the reset still
    // gives the table its row.
    QTableWidget *grid = gridOf(fx, 2);
    grid->setRowCount(0);
    auto *page = fx.window().findChild<MathChannelsPage *>();
    QVERIFY(page);
    page->resetTables();
    QCOMPARE(c.rowCount("StringGridMatCanCoeff2"), 2);
    QCOMPARE(c.cell("StringGridMatCanCoeff2", 0, 1), QString("1"));
    QCOMPARE(c.cell("StringGridMatCanCoeff2", 1, 1), QString("0"));
}

void tst_math_page::shrinkingKeepsHiddenPoints()
{
    WindowFixture fx({false, {}});
    IControls &c = fx.controls();
    const QString grid = name("StringGridMatCanCoeff", 2);
    const QString counter = name("UpDownMatCanKolCoeff", 2);
    c.setPosition(counter, 6);
    for (int row = 1; row <= 6; ++row) {
        c.setCell(grid, 1, row, QString::number(row));
        c.setCell(grid, 2, row, QString::number(10 * row));
    }
    c.setPosition(counter, 3);
    QCOMPARE(c.rowCount(grid), 4);
    // Typed over while hidden rows wait: row 2 keeps its new text.
    c.setCell(grid, 1, 2, "22");
    c.setPosition(counter, 5);
    QCOMPARE(c.rowCount(grid), 6);
    QCOMPARE(QStringList({c.cell(grid, 1, 2), c.cell(grid, 1, 4), c.cell(grid, 2, 5)}),
             QStringList({"22", "4", "50"}));
    QCOMPARE(c.cell(grid, 0, 5), QString("5"));
    c.setPosition(counter, 6);
    QCOMPARE(c.cell(grid, 2, 6), QString("60"));

    // A point read from the device comes back exact after it was hidden.
    QByteArray record(mathChannelLayout().recordSize, '\0');
    record[24] = 6;
    putFloat(record, 26 + 4 * 4, 0.0125f); // X of point 5, shown 0,013
    decodeRecord(c, mathChannelLayout(), 2, record);
    c.setPosition(counter, 3);
    c.setPosition(counter, 6);
    const EncodeResult back = encodeRecord(c, mathChannelLayout(), 2, QString());
    QVERIFY2(back.ok(), qPrintable(back.error));
    QCOMPARE(back.bytes.mid(26 + 4 * 4, 4).toHex(), record.mid(26 + 4 * 4, 4).toHex());
}

void tst_math_page::counterSizesTable_data()
{
    QTest::addColumn<bool>("byArrows");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("steps"); // arrows: steps from start; code: the value set
    QTest::addColumn<int>("points");
    QTest::newRow("code 5") << false << 1 << 5 << 5;
    QTest::newRow("code 0 stops at 1") << false << 7 << 0 << 1;
    QTest::newRow("code 40 stops at 32") << false << 1 << 40 << 32;
    QTest::newRow("arrow up") << true << 3 << 1 << 4;
    QTest::newRow("arrow down") << true << 3 << -2 << 1;
    QTest::newRow("arrow past 32") << true << 31 << 3 << 32;
}

void tst_math_page::counterSizesTable()
{
    QFETCH(bool, byArrows);
    QFETCH(int, start);
    QFETCH(int, steps);
    QFETCH(int, points);
    WindowFixture fx({false, {}});
    IControls &c = fx.controls();
    const QString grid = "StringGridMatCanCoeff3";
    c.setPosition("UpDownMatCanKolCoeff3", start);
    for (int row = 1; row <= start; ++row) {
        c.setCell(grid, 1, row, QString("x%1").arg(row));
        c.setCell(grid, 2, row, QString("y%1").arg(row));
    }

    auto *counter = fx.window().findChild<QSpinBox *>("UpDownMatCanKolCoeff3");
    if (byArrows)
        counter->stepBy(steps);
    else
        c.setPosition("UpDownMatCanKolCoeff3", steps);

    QCOMPARE(c.position("UpDownMatCanKolCoeff3"), points);
    QCOMPARE(c.text("Edit52"), QString::number(points));
    QCOMPARE(c.rowCount(grid), points + 1);
    QCOMPARE(c.cell(grid, 0, 0), QString("№"));
    QCOMPARE(c.cell(grid, 1, 0), QString("X"));
    QCOMPARE(c.cell(grid, 2, 0), QString("Y"));
    for (int row = 1; row <= points; ++row) {
        QCOMPARE(c.cell(grid, 0, row), QString::number(row));
        // Values typed earlier stay; new rows start empty.
        QCOMPARE(c.cell(grid, 1, row), row <= start ? QString("x%1").arg(row) : QString());
        QCOMPARE(c.cell(grid, 2, row), row <= start ? QString("y%1").arg(row) : QString());
    }
    // Header and numbers are fixed; X and Y are edited in place.
    QTableWidget *table = gridOf(fx, 3);
    QVERIFY(!(table->item(0, 1)->flags() & Qt::ItemIsEditable));
    QVERIFY(!(table->item(1, 0)->flags() & Qt::ItemIsEditable));
    QVERIFY(table->editTriggers() & QAbstractItemView::DoubleClicked);
    QVERIFY(table->editTriggers() & QAbstractItemView::AnyKeyPressed);
    // Other sheets are not touched.
    QCOMPARE(c.rowCount("StringGridMatCanCoeff1"), 2);
}

void tst_math_page::unitsEditLimitsTyping()
{
    WindowFixture fx({false, {}});
    auto *edit = fx.window().findChild<QLineEdit *>("EditMatCanEd1");
    QVERIFY(edit);
    edit->setFocus();
    QTest::keyClicks(edit, "abcdefg");
    QCOMPARE(edit->text(), QString("abcde"));

    // A six-character text from the device is shown whole and may be edited
    // without growing.
    fx.controls().setText("EditMatCanEd1", "кгс/см");
    QCOMPARE(edit->text(), QString("кгс/см"));
    edit->setCursorPosition(6);
    QTest::keyClick(edit, Qt::Key_Z);
    QCOMPARE(edit->text(), QString("кгс/см"));
    edit->setSelection(0, 1);
    QTest::keyClicks(edit, "G");
    QCOMPARE(edit->text(), QString("Gгс/см"));
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "xy");
    QCOMPARE(edit->text(), QString("Gгс/с"));
}

void tst_math_page::readInFiveChunks_data()
{
    QTest::addColumn<int>("m");
    QTest::addColumn<int>("countByte");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("operandByte"); // operand A
    QTest::newRow("М1, 5 points") << 1 << 5 << 5 << 3;
    QTest::newRow("М4, count 40, operand past the list") << 4 << 40 << 32 << 4;
    QTest::newRow("М2, count 0") << 2 << 0 << 1 << 0xFF;
}

void tst_math_page::readInFiveChunks()
{
    QFETCH(int, m);
    QFETCH(int, countByte);
    QFETCH(int, points);
    QFETCH(int, operandByte);
    WindowFixture fx;
    IControls &c = fx.controls();
    QByteArray record = sampleRecord(countByte);
    record[20] = char(operandByte);
    record[11] = char(0x2F); // low nibble past the colour list, high nibble 2
    QVERIFY(fx.sim().model().setHoldingBytes(firstRegisterOf(m), record));
    const QString grid = name("StringGridMatCanCoeff", m);
    c.setCell(grid, 1, 1, "old");

    fx.click(name("ButtonReadNastrMatCan", m));

    QCOMPARE(fx.boxes.texts(), QStringList({"Выполнено"}));
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Info);
    const QList<QByteArray> requests = fx.requests();
    QCOMPARE(requests.size(), 5);
    const int first = firstRegisterOf(m);
    const int starts[] = {first, first + 33, first + 66, first + 99, first + 132};
    const int counts[] = {33, 33, 33, 33, 17};
    for (int j = 0; j < 5; ++j) {
        QCOMPARE(functionOf(requests[j]), 0x03);
        QCOMPARE(firstOf(requests[j]), starts[j]);
        QCOMPARE(countOf(requests[j]), counts[j]);
    }

    QCOMPARE(c.itemIndex(name("ComboBoxMatCanVkl", m)), 1);
    QCOMPARE(c.itemIndex(name("ComboBoxMatCanFormula", m)), 4);
    QCOMPARE(c.text(name("EditMatCanEd", m)), QString("кгс/см"));
    QCOMPARE(c.itemIndex(name("ComboBoxMatCanZap", m)), 3);
    QCOMPARE(c.itemIndex(name("ComboBoxIndBarType_", m)), 2);
    QCOMPARE(c.itemIndex(name("ComboBoxIndBarColorUstBolse_", m)), -1);
    QCOMPARE(c.itemIndex(name("ComboBoxIndBarColorUstMense_", m)), 2);
    QCOMPARE(c.text(name("EditIndBarNPI_", m)), QString("-12,500"));
    QCOMPARE(c.text(name("EditIndBarVPI_", m)), QString("1300,250"));
    QCOMPARE(c.itemIndex(name("ComboBoxMatCanZnA", m)), operandByte < 4 ? operandByte : -1);
    QCOMPARE(c.itemIndex(name("ComboBoxMatCanZnB", m)), 2);
    QCOMPARE(c.itemIndex(name("ComboBoxMatCanZnC", m)), 1);
    QCOMPARE(c.itemIndex(name("ComboBoxMatCanZnD", m)), 0);
    QCOMPARE(c.position(name("UpDownMatCanKolCoeff", m)), points);
    QCOMPARE(c.rowCount(grid), points + 1);
    for (int row = 1; row <= points; ++row) {
        QCOMPARE(c.cell(grid, 0, row), QString::number(row));
        QCOMPARE(c.cell(grid, 1, row), QString("%1,500").arg(10 * row));
        QCOMPARE(c.cell(grid, 2, row), QString("-%1,000").arg(row));
    }
    QCOMPARE(c.text(QString("EditMatCanK1_%1").arg(m)), QString("1,000"));
    QCOMPARE(c.text(QString("EditMatCanK2_%1").arg(m)), QString("-0,500"));
    QCOMPARE(c.text(QString("EditMatCanK3_%1").arg(m)), QString("0,125"));
    QCOMPARE(c.text(QString("EditMatCanK4_%1").arg(m)), QString("1000,000"));
    // Only sheet m was filled.
    const int other = m == 1 ? 2 : 1;
    QCOMPARE(c.text(name("EditIndBarNPI_", other)), QString());
}

void tst_math_page::readFailureChangesNothing_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("no reply") << int(FaultRule::Silent);
    QTest::newRow("bad CRC") << int(FaultRule::BadCrc);
    QTest::newRow("short reply") << int(FaultRule::Truncate);
}

void tst_math_page::readFailureChangesNothing()
{
    QFETCH(int, kind);
    WindowFixture fx;
    IControls &c = fx.controls();
    QVERIFY(fx.sim().model().setHoldingBytes(80, sampleRecord(7)));
    FaultRule rule;
    rule.kind = FaultRule::Kind(kind);
    rule.amount = 2;
    rule.function = 0x03;
    rule.firstRegister = 146; // the third chunk of М1
    rule.times = 1;
    fx.sim().faults().add(rule);
    c.setText("EditMatCanEd1", "ед");
    c.setText("EditIndBarNPI_1", "5");
    c.setItemIndex("ComboBoxMatCanFormula1", 2);
    c.setCell("StringGridMatCanCoeff1", 1, 1, "keep");

    fx.click("ButtonReadNastrMatCan1");

    QCOMPARE(fx.boxes.firstLines(), QStringList({"Нет связи с прибором"}));
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Error);
    const QList<QByteArray> requests = fx.requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(firstOf(requests.last()), 146);
    QCOMPARE(c.text("EditMatCanEd1"), QString("ед"));
    QCOMPARE(c.text("EditIndBarNPI_1"), QString("5"));
    QCOMPARE(c.itemIndex("ComboBoxMatCanFormula1"), 2);
    QCOMPARE(c.itemIndex("ComboBoxMatCanVkl1"), 0);
    QCOMPARE(c.position("UpDownMatCanKolCoeff1"), 1);
    QCOMPARE(c.rowCount("StringGridMatCanCoeff1"), 2);
    QCOMPARE(c.cell("StringGridMatCanCoeff1", 1, 1), QString("keep"));
}

void tst_math_page::writeValidation_data()
{
    QTest::addColumn<int>("m");
    QTest::addColumn<QString>("control"); // an edit, or "X<row>" / "Y<row>" for a cell
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("control2");
    QTest::addColumn<QString>("text2");
    QTest::addColumn<QString>("message");
    const QString none;
    QTest::newRow("bar 0% empty") << 1 << "EditIndBarNPI_1" << "" << none << none
                                  << "Канал 1: Барграф 0%.Неверное значение";
    QTest::newRow("bar 100% text, М2") << 2 << "EditIndBarVPI_2" << "abc" << none << none
                                       << "Канал 2: Барграф 100%.Неверное значение";
    QTest::newRow("bar limits before the table")
        << 3 << "EditIndBarVPI_3" << "1,2,3" << "X1" << "" << "Канал 3: Барграф 100%.Неверное значение";
    QTest::newRow("empty X in row 2") << 1 << "X2" << "" << none << none
                                      << "Канал 1: Неверное значение X в строке 2";
    QTest::newRow("every X before any Y")
        << 1 << "Y1" << "y" << "X3" << "1e39" << "Канал 1: Неверное значение X в строке 3";
    QTest::newRow("Y in row 3") << 4 << "Y3" << "--1" << none << none
                                << "Канал 4: Неверное значение Y в строке 3";
    QTest::newRow("table before K") << 1 << "EditMatCanK1_1" << "" << "Y2" << ""
                                    << "Канал 1: Неверное значение Y в строке 2";
    QTest::newRow("K1 too large") << 1 << "EditMatCanK1_1" << "1e39" << none << none
                                  << "Канал 1: K1 Неверное значение";
    QTest::newRow("K3 before K4") << 2 << "EditMatCanK4_2" << "" << "EditMatCanK3_2" << "k"
                                  << "Канал 2: K3 Неверное значение";
    QTest::newRow("units outside the code page")
        << 1 << "EditMatCanEd1" << "℃" << "EditIndBarNPI_1" << ""
        << "Канал 1: Ед. измерения: символ «℃» нельзя передать в прибор";
}

void tst_math_page::writeValidation()
{
    QFETCH(int, m);
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QString, control2);
    QFETCH(QString, text2);
    QFETCH(QString, message);
    WindowFixture fx;
    IControls &c = fx.controls();
    fillValidSheet(c, m, 3);
    auto set = [&](const QString &target, const QString &value) {
        if (target.isEmpty())
            return;
        if (target.size() == 2 && (target[0] == 'X' || target[0] == 'Y'))
            c.setCell(name("StringGridMatCanCoeff", m), target[0] == 'X' ? 1 : 2,
                      target.mid(1).toInt(), value);
        else
            c.setText(target, value);
    };
    set(control, text);
    set(control2, text2);

    fx.click(name("ButtonWriteNastrMatCan", m));

    QCOMPARE(fx.boxes.texts(), QStringList({message}));
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Error);
    QVERIFY(fx.requests().isEmpty());
}

void tst_math_page::writeZeroesPointsAboveCount()
{
    WindowFixture fx;
    IControls &c = fx.controls();
    // The device holds a long table that the write must overwrite.
    QByteArray old(kRecordBytes, char(0x55));
    QVERIFY(fx.sim().model().setHoldingBytes(80, old));
    const QByteArray neighbour = fx.sim().model().holdingBytes(229, kRecordRegisters);
    const QByteArray measurement = fx.sim().model().holdingBytes(0, 80);

    const QString grid = "StringGridMatCanCoeff1";
    c.setItemIndex("ComboBoxMatCanVkl1", 1);
    c.setItemIndex("ComboBoxMatCanFormula1", 3);
    c.setText("EditMatCanEd1", "°C");
    c.setItemIndex("ComboBoxMatCanZap1", 2);
    c.setItemIndex("ComboBoxIndBarType_1", 1);
    c.setItemIndex("ComboBoxIndBarColorUstBolse_1", 2);
    c.setItemIndex("ComboBoxIndBarColorUstMense_1", 1);
    c.setText("EditIndBarNPI_1", "-50");
    c.setText("EditIndBarVPI_1", "150.5");
    c.setItemIndex("ComboBoxMatCanZnA1", 1);
    c.setItemIndex("ComboBoxMatCanZnB1", 2);
    c.setItemIndex("ComboBoxMatCanZnC1", 3);
    c.setItemIndex("ComboBoxMatCanZnD1", 0);
    c.setPosition("UpDownMatCanKolCoeff1", 6);
    for (int row = 1; row <= 6; ++row) {
        c.setCell(grid, 1, row, QString("%1,5").arg(row));
        c.setCell(grid, 2, row, QString("-%1.25").arg(row));
    }
    c.setPosition("UpDownMatCanKolCoeff1", 3);
    // Whatever the grid still holds past the count is not sent.
    QTableWidget *table = gridOf(fx, 1);
    table->setRowCount(33);
    for (int row = 4; row <= 32; ++row) {
        table->setItem(row, 1, new QTableWidgetItem("stale"));
        table->setItem(row, 2, new QTableWidgetItem("99"));
    }
    c.setText("EditMatCanK1_1", "1");
    c.setText("EditMatCanK2_1", "0,5");
    c.setText("EditMatCanK3_1", "-2");
    c.setText("EditMatCanK4_1", "0.001");

    fx.click("ButtonWriteNastrMatCan1");

    QCOMPARE(fx.boxes.texts(), QStringList({"Выполнено"}));
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Info);
    const QList<QByteArray> requests = fx.requests();
    QCOMPARE(requests.size(), 5);
    const int starts[] = {80, 113, 146, 179, 212};
    const int counts[] = {33, 33, 33, 33, 17};
    for (int j = 0; j < 5; ++j) {
        QCOMPARE(functionOf(requests[j]), 0x10);
        QCOMPARE(firstOf(requests[j]), starts[j]);
        QCOMPARE(countOf(requests[j]), counts[j]);
    }

    QByteArray expected(kRecordBytes, '\0');
    expected[0] = 1;
    expected[1] = 3;
    expected.replace(2, 6, QByteArray("\xB0" "C\0\0\0\0", 6));
    expected[9] = 2;
    expected[10] = 1;
    expected[11] = char(2 + 16 * 1);
    putFloat(expected, 12, -50.0f);
    putFloat(expected, 16, 150.5f);
    expected.replace(20, 5, QByteArray("\x01\x02\x03\x00\x03", 5));
    for (int i = 1; i <= 3; ++i) {
        putFloat(expected, 26 + 4 * (i - 1), i + 0.5f);
        putFloat(expected, 154 + 4 * (i - 1), -(i + 0.25f));
    }
    putFloat(expected, 282, 1.0f);
    putFloat(expected, 286, 0.5f);
    putFloat(expected, 290, -2.0f);
    putFloat(expected, 294, 0.001f);
    const QByteArray written = fx.sim().model().holdingBytes(80, kRecordRegisters);
    QCOMPARE(written.toHex(' '), expected.toHex(' '));
    for (int i = 4; i <= 32; ++i) {
        QCOMPARE(floatAt(written, 26 + 4 * (i - 1)), 0.0f);
        QCOMPARE(floatAt(written, 154 + 4 * (i - 1)), 0.0f);
    }
    // The neighbouring records are untouched.
    QCOMPARE(fx.sim().model().holdingBytes(229, kRecordRegisters), neighbour);
    QCOMPARE(fx.sim().model().holdingBytes(0, 80), measurement);
}

void tst_math_page::writeStopsAtFailedChunk()
{
    WindowFixture fx;
    IControls &c = fx.controls();
    const QByteArray before(kRecordBytes, char(0x55));
    QVERIFY(fx.sim().model().setHoldingBytes(firstRegisterOf(2), before));
    fillValidSheet(c, 2, 2);
    FaultRule rule;
    rule.kind = FaultRule::Silent;
    rule.function = 0x10;
    rule.firstRegister = firstRegisterOf(2) + 66; // the third chunk, lost unprocessed
    fx.sim().faults().add(rule);

    fx.click("ButtonWriteNastrMatCan2");

    QCOMPARE(fx.boxes.firstLines(), QStringList({"Нет связи с прибором"}));
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Error);
    QCOMPARE(fx.requests().size(), 3);
    // The two accepted chunks stay written; the rest is as it was.
    const QByteArray after = fx.sim().model().holdingBytes(firstRegisterOf(2), kRecordRegisters);
    QCOMPARE(byteAt(after, 0), quint8(0));      // ComboBoxMatCanVkl2 at "Выкл"
    QCOMPARE(floatAt(after, 16), 100.0f);       // bar graph 100 %
    QCOMPARE(after.mid(132), before.mid(132));
}

void tst_math_page::readThenWriteGivesSameRecord()
{
    // What the sheet shows after a read is what it writes back; list bytes
    // the lists cannot hold come back as 0xFF, reserved bytes as zeros.
    WindowFixture fx;
    QByteArray record = sampleRecord(4);
    record[8] = char(0x77);  // reserved
    record[25] = char(0x66); // reserved
    record[22] = char(9);    // operand C past its list
    record[9] = char(6);     // decimal places past the list
    QVERIFY(fx.sim().model().setHoldingBytes(firstRegisterOf(3), record));
    fx.click("ButtonReadNastrMatCan3");
    QCOMPARE(fx.boxes.texts(), QStringList({"Выполнено"}));
    QCOMPARE(fx.controls().itemIndex("ComboBoxMatCanZnC3"), -1);
    QCOMPARE(fx.controls().itemIndex("ComboBoxMatCanZap3"), -1);

    QVERIFY(fx.sim().model().setHoldingBytes(firstRegisterOf(3), QByteArray(kRecordBytes, '\0')));
    fx.boxes.clear();
    fx.click("ButtonWriteNastrMatCan3");
    QCOMPARE(fx.boxes.texts(), QStringList({"Выполнено"}));

    QByteArray expected = record;
    expected[8] = 0;
    expected[25] = 0;
    expected[22] = char(0xFF);
    expected[9] = char(0xFF);
    for (int i = 5; i <= 32; ++i) {
        putFloat(expected, 26 + 4 * (i - 1), 0.0f);
        putFloat(expected, 154 + 4 * (i - 1), 0.0f);
    }
    QCOMPARE(fx.sim().model().holdingBytes(firstRegisterOf(3), kRecordRegisters).toHex(' '),
             expected.toHex(' '));
}

QTEST_MAIN(tst_math_page)
#include "tst_math_page.moc"
