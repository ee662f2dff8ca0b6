// The measurement channels page against the simulated recorder: what a
// column write puts on the wire, the validations that keep a write from
// being sent, reads into one column, and the units edit's typing limit.
#include "link/modbus.h"
#include "settings/encodings.h"
#include "settings/record_layout.h"
#include "ui/controls.h"
#include "tests/support/window_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace vexs;
using namespace vexs::test;

namespace {

struct Request
{
    int function = -1;
    int first = -1;
    int count = -1;
    QByteArray data; // writes only
};

Request parse(const QByteArray &frame)
{
    Request r;
    if (frame.size() < 8)
        return r;
    auto byte = [&frame](int i) { return int(quint8(frame.at(i))); };
    r.function = byte(1);
    r.first = byte(2) * 256 + byte(3);
    r.count = byte(4) * 256 + byte(5);
    if (r.function == FunctionWriteMultiple && frame.size() > 7)
        r.data = frame.mid(7, byte(6));
    return r;
}

QString can(const char *prefix, int n)
{
    return composedName(QString::fromLatin1(prefix), n);
}

struct ColumnValues
{
    int vkl, type, xc, rrr, sqr, mast;
    QString corr, npi, vpi, popravka, units;
    int zap, filtr, barType, bolse, mense;
    QString barNpi, barVpi;
};

void setColumn(IControls &c, int n, const ColumnValues &v)
{
    c.setItemIndex(can("ComboBoxCanVkl", n), v.vkl);
    c.setItemIndex(can("ComboBoxCanTypeGrad", n), v.type);
    c.setItemIndex(can("ComboBoxCanVklXC", n), v.xc);
    c.setItemIndex(can("ComboBoxCanRRR", n), v.rrr);
    c.setItemIndex(can("ComboBoxCanVklSqr", n), v.sqr);
    c.setItemIndex(can("ComboBoxCanVklMast", n), v.mast);
    c.setText(can("EditCanCorrXC", n), v.corr);
    c.setText(can("EditCanNPI", n), v.npi);
    c.setText(can("EditCanVPI", n), v.vpi);
    c.setText(can("EditCanPopravka", n), v.popravka);
    c.setText(can("EditCanEd", n), v.units);
    c.setItemIndex(can("ComboBoxCanZap", n), v.zap);
    c.setItemIndex(can("ComboBoxCanFiltr", n), v.filtr);
    c.setItemIndex(can("ComboBoxIndBarType", n), v.barType);
    c.setItemIndex(can("ComboBoxIndBarColorUstBolse", n), v.bolse);
    c.setItemIndex(can("ComboBoxIndBarColorUstMense", n), v.mense);
    c.setText(can("EditIndBarNPI", n), v.barNpi);
    c.setText(can("EditIndBarVPI", n), v.barVpi);
}

ColumnValues readColumn(IControls &c, int n)
{
    return {c.itemIndex(can("ComboBoxCanVkl", n)),
            c.itemIndex(can("ComboBoxCanTypeGrad", n)),
            c.itemIndex(can("ComboBoxCanVklXC", n)),
            c.itemIndex(can("ComboBoxCanRRR", n)),
            c.itemIndex(can("ComboBoxCanVklSqr", n)),
            c.itemIndex(can("ComboBoxCanVklMast", n)),
            c.text(can("EditCanCorrXC", n)),
            c.text(can("EditCanNPI", n)),
            c.text(can("EditCanVPI", n)),
            c.text(can("EditCanPopravka", n)),
            c.text(can("EditCanEd", n)),
            c.itemIndex(can("ComboBoxCanZap", n)),
            c.itemIndex(can("ComboBoxCanFiltr", n)),
            c.itemIndex(can("ComboBoxIndBarType", n)),
            c.itemIndex(can("ComboBoxIndBarColorUstBolse", n)),
            c.itemIndex(can("ComboBoxIndBarColorUstMense", n)),
            c.text(can("EditIndBarNPI", n)),
            c.text(can("EditIndBarVPI", n))};
}

QString describe(const ColumnValues &v)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 [%7] [%8] [%9] [%10] [%11] %12 %13 %14 %15 %16 [%17] [%18]")
        .arg(v.vkl).arg(v.type).arg(v.xc).arg(v.rrr).arg(v.sqr).arg(v.mast)
        .arg(v.corr, v.npi, v.vpi, v.popravka, v.units)
        .arg(v.zap).arg(v.filtr).arg(v.barType).arg(v.bolse).arg(v.mense)
        .arg(v.barNpi, v.barVpi);
}

// A column that every check accepts: 1.5 correction, "°C" units, colour
// "Синий" for greater and "Зеленый" for less.
ColumnValues validColumn()
{
    return {1, 14, 1, 1, 0, 1,
            QStringLiteral("1,5"), QStringLiteral("-20"), QStringLiteral("100.25"), QStringLiteral("0"),
            QStringLiteral("°C"),
            3, 9, 2, 2, 1,
            QStringLiteral("0"), QStringLiteral("1000")};
}

// What validColumn() must put on the wire.
QByteArray validRecord()
{
    return hexBytes("01 0E 01 01 00 01"
                    "00 00 C0 3F" // 1.5
                    "00 00 A0 C1" // -20
                    "00 80 C8 42" // 100.25
                    "00 00 00 00" // 0
                    "B0 43 00 00 00 00" // "°C" in Windows-1251, zero padded
                    "03 09 02 12"
                    "00 00 00 00"
                    "00 00 7A 44"); // 1000
}

QStringList itemsOf(TformMain &w, const QString &name)
{
    QStringList items;
    auto *combo = w.findChild<QComboBox *>(name);
    if (!combo)
        return {QStringLiteral("<missing>")};
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

} // namespace

class tst_measurement_page : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listItems_data();
    void listItems();
    void captionsAndButtons();
    void writeSendsTheRecord_data();
    void writeSendsTheRecord();
    void refusedWriteSendsNothing_data();
    void refusedWriteSendsNothing();
    void writeThenReadRoundTrip();
    void readKeepsOddBytes();
    void failedExchanges_data();
    void failedExchanges();
    void unitsTypingLimit();

private:
    std::unique_ptr<WindowFixture> m_fx;
};

void tst_measurement_page::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void tst_measurement_page::init()
{
    m_fx = std::make_unique<WindowFixture>();
    m_fx->revealEverything();
    m_fx->window().selectNode(3);
}

void tst_measurement_page::cleanup()
{
    m_fx.reset();
}

void tst_measurement_page::listItems_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QStringList>("items");

    const QStringList onOff{"Выкл", "Вкл"};
    const QStringList colours{"Красный", "Зеленый", "Синий"};
    QTest::newRow("on") << "ComboBoxCanVkl" << onOff;
    QTest::newRow("type") << "ComboBoxCanTypeGrad"
                          << QStringList{"ТС 50П (-120..500 С)",      "ТС 100П (-120..500 С)",
                                         "ТС Pt50 (-120..500 С)",     "ТС Pt100 (-120..500 С)",
                                         "ТС 50М (-50..180 С)",       "ТС 100М (-50..180 С)",
                                         "Термопара S (0..1600 С)",   "Термопара K (0..1300 С)",
                                         "Термопара L (-50..800 С)",  "Термопара B (500..1800 С)",
                                         "Термопара A1 (0..2200 С)",  "Термопара J (-100..1000)",
                                         "Термопара N (0..1300 С)",   "Ток 0..5mA",
                                         "Ток 4..20mA",               "Ток 20..4mA",
                                         "Напряжение 0..10mV",        "Напряжение 0..100mV",
                                         "Напряжение 0..1V",          "Пирометр PK15",
                                         "Пирометр PK20",             "Пирометр PC20"};
    QTest::newRow("compensation") << "ComboBoxCanVklXC" << onOff;
    QTest::newRow("wiring") << "ComboBoxCanRRR" << QStringList{"4х", "3х"};
    QTest::newRow("root") << "ComboBoxCanVklSqr" << onOff;
    QTest::newRow("scaling") << "ComboBoxCanVklMast" << onOff;
    QTest::newRow("decimals") << "ComboBoxCanZap"
                              << QStringList{"000000", "00000.0", "0000.00", "000.000", "00.0000", "0.00000"};
    QTest::newRow("filter") << "ComboBoxCanFiltr"
                            << QStringList{"1 сек", "2 сек", "3 сек", "4 сек", "5 сек",
                                           "6 сек", "7 сек", "8 сек", "9 сек", "10 сек"};
    QTest::newRow("bar") << "ComboBoxIndBarType" << colours;
    QTest::newRow("greater") << "ComboBoxIndBarColorUstBolse" << colours;
    QTest::newRow("less") << "ComboBoxIndBarColorUstMense" << colours;
}

void tst_measurement_page::listItems()
{
    QFETCH(QString, prefix);
    QFETCH(QStringList, items);
    for (int n = 1; n <= 4; ++n) {
        const QString name = composedName(prefix, n);
        QCOMPARE(itemsOf(m_fx->window(), name), items);
        auto *combo = m_fx->window().findChild<QComboBox *>(name);
        QVERIFY2(!combo->isEditable(), qPrintable(name));
        QCOMPARE(combo->currentIndex(), 0); // first item when the window opens
    }
}

void tst_measurement_page::captionsAndButtons()
{
    TformMain &w = m_fx->window();
    IControls &c = m_fx->controls();
    for (int n = 1; n <= 4; ++n) {
        QCOMPARE(c.text(can("StaticTextCan", n)), QStringLiteral("Канал %1").arg(n));
        QCOMPARE(m_fx->button(can("ButtonReadNastrCan", n))->text(), QStringLiteral("Считать"));
        QCOMPARE(m_fx->button(can("ButtonWriteNastrCan", n))->text(), QStringLiteral("Записать "));
        for (const char *edit : {"EditCanCorrXC", "EditCanNPI", "EditCanVPI", "EditCanPopravka", "EditCanEd",
                                 "EditIndBarNPI", "EditIndBarVPI"}) {
            auto *e = w.findChild<QLineEdit *>(can(edit, n));
            QVERIFY2(e, edit);
            QCOMPARE(e->text(), QString());
        }
    }
    // The captions that validation messages quote.
    const QList<QPair<const char *, QString>> labels = {
        {label::CanCorrXC, "Поправка XC"}, {label::CanNPI, "НПИ"},       {label::CanVPI, "ВПИ"},
        {label::CanPopravka, "Смещение 0"}, {label::CanEd, "Ед. измерения"},
        {label::CanBarNPI, "Барграф 0%"},  {label::CanBarVPI, "Барграф 100%"},
    };
    for (const auto &[name, caption] : labels) {
        auto *l = w.findChild<QLabel *>(QString::fromLatin1(name));
        QVERIFY2(l, name);
        QCOMPARE(l->text(), caption);
    }
    // The page fits the space beside the tree.
    QWidget *page = w.findChild<QWidget *>(QStringLiteral("TabSheet3"));
    QVERIFY(page);
    QVERIFY2(page->minimumSizeHint().width() <= 880 && page->minimumSizeHint().height() <= 545,
             qPrintable(QStringLiteral("%1x%2").arg(page->minimumSizeHint().width()).arg(page->minimumSizeHint().height())));
}

void tst_measurement_page::writeSendsTheRecord_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("correction");
    QTest::addColumn<QByteArray>("correctionBytes");

    QTest::newRow("channel 3, 1,5") << 3 << "1,5" << hexBytes("00 00 C0 3F");
    QTest::newRow("channel 1, 20,0 accepted") << 1 << "20,0" << hexBytes("00 00 A0 41");
    QTest::newRow("channel 2, 20.0 accepted") << 2 << "20.0" << hexBytes("00 00 A0 41");
    QTest::newRow("channel 4, -20 accepted") << 4 << "-20" << hexBytes("00 00 A0 C1");
}

void tst_measurement_page::writeSendsTheRecord()
{
    QFETCH(int, channel);
    QFETCH(QString, correction);
    QFETCH(QByteArray, correctionBytes);

    ColumnValues v = validColumn();
    v.corr = correction;
    setColumn(m_fx->controls(), channel, v);
    QByteArray expected = validRecord();
    expected.replace(6, 4, correctionBytes);

    m_fx->click(can("ButtonWriteNastrCan", channel));

    QCOMPARE(m_fx->boxes.texts(), QStringList{"Выполнено"});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Info);
    const QList<QByteArray> sent = m_fx->requests();
    QCOMPARE(sent.size(), 1);
    const Request r = parse(sent.first());
    QCOMPARE(r.function, int(FunctionWriteMultiple));
    QCOMPARE(r.first, 20 * (channel - 1));
    QCOMPARE(r.count, 20);
    QCOMPARE(r.data.toHex(' '), expected.toHex(' '));
    QCOMPARE(m_fx->sim().model().holdingBytes(20 * (channel - 1), 20).toHex(' '), expected.toHex(' '));
}

void tst_measurement_page::refusedWriteSendsNothing_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("correction out of range")
        << "EditCanCorrXC" << "20,01" << "Канал 3: Поправка XC. Значение должно быть от -20 до +20";
    QTest::newRow("correction below range")
        << "EditCanCorrXC" << "-20.5" << "Канал 3: Поправка XC. Значение должно быть от -20 до +20";
    QTest::newRow("correction not a number") << "EditCanCorrXC" << "1,5x" << "Канал 3: Поправка XC.Неверное значение";
    QTest::newRow("empty lower limit") << "EditCanNPI" << "" << "Канал 3: НПИ.Неверное значение";
    QTest::newRow("upper limit beyond single precision")
        << "EditCanVPI" << "1e39" << "Канал 3: ВПИ.Неверное значение";
    QTest::newRow("offset not a number") << "EditCanPopravka" << "abc" << "Канал 3: Смещение 0.Неверное значение";
    QTest::newRow("bar 0% empty") << "EditIndBarNPI" << " " << "Канал 3: Барграф 0%.Неверное значение";
    QTest::newRow("bar 100% two separators") << "EditIndBarVPI" << "1,2.3" << "Канал 3: Барграф 100%.Неверное значение";
    QTest::newRow("units outside the code page")
        << "EditCanEd" << "м³" << "Канал 3: Ед. измерения: символ «³» нельзя передать в прибор";
}

void tst_measurement_page::refusedWriteSendsNothing()
{
    QFETCH(QString, edit);
    QFETCH(QString, text);
    QFETCH(QString, message);

    setColumn(m_fx->controls(), 3, validColumn());
    m_fx->controls().setText(composedName(edit, 3), text);
    m_fx->click(QStringLiteral("ButtonWriteNastrCan3"));

    QCOMPARE(m_fx->boxes.texts(), QStringList{message});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    QVERIFY(m_fx->requests().isEmpty());
}

void tst_measurement_page::writeThenReadRoundTrip()
{
    IControls &c = m_fx->controls();
    const ColumnValues written = validColumn();
    setColumn(c, 2, written);
    m_fx->click(QStringLiteral("ButtonWriteNastrCan2"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{"Выполнено"});

    // The device now holds what the page showed: reading it into a spoiled
    // column gives the same values back, reals in the page's own format.
    setColumn(c, 2, {0, 0, 0, 0, 1, 0, "7", "7", "7", "7", "x", 0, 0, 0, 0, 0, "7", "7"});
    m_fx->boxes.clear();
    m_fx->clearRequests();
    m_fx->click(QStringLiteral("ButtonReadNastrCan2"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{"Выполнено"});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Info);
    const Request r = parse(m_fx->requests().value(0));
    QCOMPARE(r.function, int(FunctionReadHolding));
    QCOMPARE(r.first, 20);
    QCOMPARE(r.count, 20);

    ColumnValues expected = written;
    expected.corr = "1,500";
    expected.npi = "-20,000";
    expected.vpi = "100,250";
    expected.popravka = "0,000";
    expected.barNpi = "0,000";
    expected.barVpi = "1000,000";
    QCOMPARE(describe(readColumn(c, 2)), describe(expected));
    // Other columns are not touched by a column read.
    QCOMPARE(c.text(QStringLiteral("EditCanCorrXC1")), QString());
}

void tst_measurement_page::readKeepsOddBytes()
{
    // Signal type 30 has no item, the units fill all six bytes, colours 0x12.
    QByteArray record = validRecord();
    record[1] = char(30);
    record.replace(22, 6, "ABCDEF");
    QVERIFY(m_fx->sim().model().setHoldingBytes(60, record));

    m_fx->click(QStringLiteral("ButtonReadNastrCan4"));
    IControls &c = m_fx->controls();
    QCOMPARE(c.itemIndex(QStringLiteral("ComboBoxCanTypeGrad4")), -1);
    QCOMPARE(c.text(QStringLiteral("EditCanEd4")), QStringLiteral("ABCDEF"));
    QCOMPARE(c.itemText(QStringLiteral("ComboBoxIndBarColorUstBolse4"), c.itemIndex(QStringLiteral("ComboBoxIndBarColorUstBolse4"))),
             QStringLiteral("Синий"));
    QCOMPARE(c.itemText(QStringLiteral("ComboBoxIndBarColorUstMense4"), c.itemIndex(QStringLiteral("ComboBoxIndBarColorUstMense4"))),
             QStringLiteral("Зеленый"));

    // Written back unchanged: no type (0xFF) and the whole six-character text.
    m_fx->clearRequests();
    m_fx->boxes.clear();
    m_fx->click(QStringLiteral("ButtonWriteNastrCan4"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{"Выполнено"});
    QByteArray expected = record;
    expected[1] = char(0xFF);
    QCOMPARE(parse(m_fx->requests().value(0)).data.toHex(' '), expected.toHex(' '));
}

void tst_measurement_page::failedExchanges_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("cause"); // the box's second line begins so

    const QString read = QStringLiteral("ButtonReadNastrCan1");
    const QString write = QStringLiteral("ButtonWriteNastrCan1");
    QTest::newRow("read, no answer") << read << int(FaultRule::Silent) << "Нет ответа за 500 мс";
    QTest::newRow("read, short answer") << read << int(FaultRule::Truncate) << "Ответ неполный (получено байт: 43)";
    QTest::newRow("read, long answer") << read << int(FaultRule::Pad) << "Ответ другой длины";
    QTest::newRow("read, bad CRC") << read << int(FaultRule::BadCrc) << "Ответ с ошибкой CRC";
    QTest::newRow("write, no answer") << write << int(FaultRule::Silent) << "Нет ответа за 500 мс";
    QTest::newRow("write, bad CRC") << write << int(FaultRule::BadCrc) << "Ответ с ошибкой CRC";
    // A refusal is the recorder's answer, not a cable to check.
    QTest::newRow("write, refused") << write << int(FaultRule::Refuse)
                                    << "Прибор ответил исключением 2 (недопустимый адрес данных)";
}

void tst_measurement_page::failedExchanges()
{
    QFETCH(QString, button);
    QFETCH(int, fault);
    QFETCH(QString, cause);

    IControls &c = m_fx->controls();
    setColumn(c, 1, validColumn());
    const QString before = describe(readColumn(c, 1));
    FaultRule rule;
    rule.kind = FaultRule::Kind(fault);
    rule.amount = 2;
    m_fx->sim().faults().add(rule);

    m_fx->click(button);
    QCOMPARE(m_fx->boxes.boxes.size(), 1);
    QVERIFY2(m_fx->boxes.lastText().startsWith(QStringLiteral("Нет связи с прибором\n") + cause),
             qPrintable(m_fx->boxes.lastText()));
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    QCOMPARE(describe(readColumn(c, 1)), before);
}

void tst_measurement_page::unitsTypingLimit()
{
    auto *edit = m_fx->window().findChild<QLineEdit *>(QStringLiteral("EditCanEd2"));
    QVERIFY(edit);
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("abcdefg"));
    QCOMPARE(edit->text(), QStringLiteral("abcde"));

    // A six-character text from the device stays whole, and typing cannot
    // make it longer or replace it at full length.
    m_fx->controls().setText(QStringLiteral("EditCanEd2"), QStringLiteral("ABCDEF"));
    QCOMPARE(edit->text(), QStringLiteral("ABCDEF"));
    edit->end(false);
    QTest::keyClicks(edit, QStringLiteral("G"));
    QCOMPARE(edit->text(), QStringLiteral("ABCDEF"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QStringLiteral("ABCDE"));
    QTest::keyClicks(edit, QStringLiteral("X"));
    QCOMPARE(edit->text(), QStringLiteral("ABCDE"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, QStringLiteral("Z"));
    QCOMPARE(edit->text(), QStringLiteral("ABCDZ"));
}

QTEST_MAIN(tst_measurement_page)
#include "tst_measurement_page.moc"
