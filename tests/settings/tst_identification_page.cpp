// The identification page against the simulated recorder: the factory write
// and the read round trip, the refusals that send nothing, and replies that
// must leave the page as it was.
#include "link/modbus.h"
#include "settings/identification.h"
#include "ui/controls.h"
#include "tests/support/window_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <memory>

using namespace vexs;
using namespace vexs::test;

namespace {

const QString kDate = QStringLiteral("DateEdit2");
const QString kSerial = QStringLiteral("MaskEditManufSN");

QString kit(int i)
{
    return composedName(QStringLiteral("ComboBoxManuf"), i);
}

// Everything the page shows, as one comparable text.
QString pageState(IControls &c)
{
    QStringList parts;
    parts << c.date(kDate).toString(Qt::ISODate) << QLatin1Char('[') + c.text(kSerial) + QLatin1Char(']');
    for (int i = 1; i <= 6; ++i)
        parts << QString::number(c.itemIndex(kit(i)));
    for (const char *v : {"StaticTextVerProc", "StaticTextVerInd", "StaticTextVerDac"})
        parts << c.text(QString::fromLatin1(v));
    return parts.join(QLatin1Char(' '));
}

// Identification registers 10012..10022 as the device would hold them.
QByteArray identBlock(const QByteArray &dateDigits, const QByteArray &serial, const QByteArray &kitBytes,
                      const QByteArray &versions)
{
    return dateDigits + serial + kitBytes + QByteArray(1, '\0') + versions;
}

} // namespace

class tst_identification_page : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startState();
    void writeReadRoundTrip();
    void refusedWriteSendsNothing_data();
    void refusedWriteSendsNothing();
    void writeWithoutAnswer();
    void leadingBlanksReachTheDevice();
    void readShowsBoardVersions();
    void readThatChangesNothing_data();
    void readThatChangesNothing();
    void impossibleDateKeepsTheDate();

private:
    void fillPage(const QDate &date, const QString &serial, const QList<int> &kitIndexes);
    std::unique_ptr<WindowFixture> m_fx;
};

void tst_identification_page::init()
{
    m_fx = std::make_unique<WindowFixture>();
}

void tst_identification_page::cleanup()
{
    m_fx.reset();
}

void tst_identification_page::fillPage(const QDate &date, const QString &serial, const QList<int> &kitIndexes)
{
    IControls &c = m_fx->controls();
    c.setDate(kDate, date);
    c.setText(kSerial, serial);
    for (int i = 1; i <= 6; ++i)
        c.setItemIndex(kit(i), kitIndexes.value(i - 1));
}

void tst_identification_page::startState()
{
    TformMain &w = m_fx->window();
    IControls &c = m_fx->controls();
    QCOMPARE(c.text(kSerial), QStringLiteral("      "));
    QVERIFY(c.date(kDate).isNull());
    QVERIFY(!c.isShown(QStringLiteral("ButtonWriteManuf")));
    QVERIFY(!c.isShown(QStringLiteral("GroupBoxInfo")));
    QVERIFY(c.isShown(QStringLiteral("ButtonReadManuf")));
    QCOMPARE(m_fx->button(QStringLiteral("ButtonReadManuf"))->text(), QStringLiteral("Считать"));
    QCOMPARE(m_fx->button(QStringLiteral("ButtonWriteManuf"))->text(), QStringLiteral("Записать"));
    QCOMPARE(c.text(QStringLiteral("StaticText51")), QStringLiteral("Дата изготовления:"));
    QCOMPARE(c.text(QStringLiteral("StaticText55")), QStringLiteral("Серийный номер:"));
    auto *edit = w.findChild<QLineEdit *>(kSerial);
    QCOMPARE(edit->maxLength(), 6);

    const QList<QStringList> items = {
        {"[0] Невзрывозащищенное", "[Е] Взрывозащищенное"},
        {"[1] Количество аналоговых входов: один", "[2] Количество аналоговых входов: два",
         "[3] Количество аналоговых входов: три", "[4] Количество аналоговых входов: четыре"},
        {"[0] Преобразователи в комплекте отсутствуют",
         "[B] Тип преобразовытеля в комплекте: КРЛ-1-01-03-220В(0-10)мГн",
         "[C] Тип преобразовытеля в комплекте: КРЛ-1-02-03-220В(+-10)мГн"},
        {"[3] Интерфейсы: RS-485, USB", "[4] Интерфейсы: RS-485, USB, Ethernet"},
        {"[0] Преобразователи в комплекте отсутствуют", "[1] Количество преобразователей в комплекте: один",
         "[2] Количество преобразователей в комплекте: два", "[3] Количество преобразователей в комплекте: три",
         "[4] Количество преобразователей в комплекте: четыре"},
        {"[0] Наличие поверки ЦСМ: без поверки", "[1] Наличие поверки ЦСМ: с поверкой"},
    };
    for (int i = 1; i <= 6; ++i) {
        auto *list = w.findChild<QComboBox *>(kit(i));
        QVERIFY(list);
        QVERIFY(!list->isEditable());
        QStringList texts;
        for (int k = 0; k < list->count(); ++k)
            texts << list->itemText(k);
        QCOMPARE(texts, items[i - 1]);
        QCOMPARE(list->currentIndex(), 0);
    }
    auto *box = w.findChild<QWidget *>(QStringLiteral("GroupBox22"));
    QVERIFY(box);
    QCOMPARE(box->property("title").toString(), QStringLiteral(" ВЕКС310Т2 "));
}

void tst_identification_page::writeReadRoundTrip()
{
    m_fx->revealEverything();
    IControls &c = m_fx->controls();
    fillPage(QDate(2009, 3, 5), QStringLiteral("001234"), {1, 3, 2, 1, 4, 1});

    m_fx->click(QStringLiteral("ButtonWriteManuf"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{"Заводские установки записаны"});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Info);
    const QList<QByteArray> sent = m_fx->requests();
    QCOMPARE(sent.size(), 1);
    const QByteArray expected = QByteArray("050309001234") + hexBytes("01 03 02 01 04 01");
    // Address, function 0x10, register 10012 (0x271C), 9 registers, 18 bytes.
    QCOMPARE(sent.first().left(7).toHex(' '), hexBytes("01 10 27 1C 00 09 12").toHex(' '));
    QCOMPARE(sent.first().mid(7, 18), expected);
    QCOMPARE(sent.first().at(7 + 14), char(2)); // kit option 3, third item
    QCOMPARE(m_fx->sim().model().identification().left(18), expected);

    // The page spoiled, then read back: the leading zeros survive.
    fillPage(QDate(2020, 1, 1), QStringLiteral("999999"), {0, 0, 0, 0, 0, 0});
    m_fx->boxes.clear();
    m_fx->clearRequests();
    m_fx->click(QStringLiteral("ButtonReadManuf"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{"Заводские установки считаны"});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Info);
    QCOMPARE(m_fx->requests().value(0).left(6).toHex(' '), hexBytes("01 03 27 1C 00 0B").toHex(' '));
    // The century is the workstation's.
    QCOMPARE(c.date(kDate), QDate(QDate::currentDate().year() / 100 * 100 + 9, 3, 5));
    QCOMPARE(c.text(kSerial), QStringLiteral("001234"));
    for (int i = 1; i <= 6; ++i)
        QCOMPARE(c.itemIndex(kit(i)), QList<int>({1, 3, 2, 1, 4, 1})[i - 1]);
}

void tst_identification_page::refusedWriteSendsNothing_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("kind");

    // Typed digits and unfilled positions: only six digits make a serial.
    QTest::newRow("short serial") << QDate(2009, 3, 5) << "1234"
                                  << "Ошибка записи заводских установок" << int(CapturedBoxes::Error);
    QTest::newRow("five digits") << QDate(2009, 3, 5) << "12345"
                                 << "Ошибка записи заводских установок" << int(CapturedBoxes::Error);
    QTest::newRow("empty serial") << QDate(2009, 3, 5) << ""
                                  << "Ошибка в серийном номере " << int(CapturedBoxes::ErrorNoIcon);
    QTest::newRow("no date") << QDate() << "001234" << "Не задана дата изготовления" << int(CapturedBoxes::Error);
    // Its year would come back in this century.
    const int century = QDate::currentDate().year() / 100 * 100;
    QTest::newRow("date of the last century")
        << QDate(century - 1, 3, 5) << "001234"
        << QStringLiteral("Год должен быть от %1 до %2").arg(century).arg(century + 99) << int(CapturedBoxes::Error);
}

void tst_identification_page::refusedWriteSendsNothing()
{
    QFETCH(QDate, date);
    QFETCH(QString, serial);
    QFETCH(QString, message);
    QFETCH(int, kind);

    m_fx->revealEverything();
    fillPage(date, serial, {0, 1, 2, 0, 1, 0});
    const QByteArray before = m_fx->sim().model().identification();
    m_fx->click(QStringLiteral("ButtonWriteManuf"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{message});
    QCOMPARE(int(m_fx->boxes.lastKind()), kind);
    QVERIFY(m_fx->requests().isEmpty());
    QCOMPARE(m_fx->sim().model().identification(), before);
}

void tst_identification_page::leadingBlanksReachTheDevice()
{
    m_fx->revealEverything();
    fillPage(QDate(2009, 3, 5), QStringLiteral("  1234"), {0, 0, 0, 0, 0, 0});
    m_fx->click(QStringLiteral("ButtonWriteManuf"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{"Заводские установки записаны"});
    QCOMPARE(m_fx->sim().model().identification().mid(6, 6), QByteArray("  1234"));
}

void tst_identification_page::writeWithoutAnswer()
{
    m_fx->revealEverything();
    fillPage(QDate(2009, 3, 5), QStringLiteral("001234"), {0, 0, 0, 0, 0, 0});
    m_fx->sim().faults().add(FaultRule{FaultRule::Silent});
    m_fx->click(QStringLiteral("ButtonWriteManuf"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{"Ошибка записи заводских установок"});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
}

void tst_identification_page::readShowsBoardVersions()
{
    // The versions are filled even while their group is hidden.
    QVERIFY(m_fx->sim().model().setHoldingBytes(
        10012, identBlock("311205", "000777", hexBytes("00 00 00 00 00 00"), hexBytes("17 69 00"))));
    m_fx->click(QStringLiteral("ButtonReadManuf"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{"Заводские установки считаны"});
    IControls &c = m_fx->controls();
    QCOMPARE(c.text(QStringLiteral("StaticTextVerProc")), QStringLiteral("2.3"));
    QCOMPARE(c.text(QStringLiteral("StaticTextVerInd")), QStringLiteral("10.5"));
    QCOMPARE(c.text(QStringLiteral("StaticTextVerDac")), QStringLiteral("0.0"));
    QCOMPARE(c.date(kDate), QDate(QDate::currentDate().year() / 100 * 100 + 5, 12, 31));
}

void tst_identification_page::readThatChangesNothing_data()
{
    QTest::addColumn<int>("fault"); // -1: none
    QTest::addColumn<QByteArray>("dateDigits");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("kind");

    const QString readError = QStringLiteral("Ошибка чтения заводских установок");
    QTest::newRow("no answer") << int(FaultRule::Silent) << QByteArray("050309") << readError << int(CapturedBoxes::Error);
    QTest::newRow("short answer") << int(FaultRule::Truncate) << QByteArray("050309") << readError
                                  << int(CapturedBoxes::Error);
    QTest::newRow("long answer") << int(FaultRule::Pad) << QByteArray("050309") << readError
                                 << int(CapturedBoxes::Error);
    QTest::newRow("bad CRC") << int(FaultRule::BadCrc) << QByteArray("050309") << readError
                             << int(CapturedBoxes::Error);
    QTest::newRow("letter in the month") << -1 << QByteArray("05x309") << "'x' is not a valid integer value"
                                         << int(CapturedBoxes::Report);
    QTest::newRow("blank in the year") << -1 << QByteArray("0503 9") << "' ' is not a valid integer value"
                                       << int(CapturedBoxes::Report);
    QTest::newRow("zero byte in the day") << -1 << QByteArray("\0005" "0309", 6) << "'#0' is not a valid integer value"
                                          << int(CapturedBoxes::Report);
}

void tst_identification_page::readThatChangesNothing()
{
    QFETCH(int, fault);
    QFETCH(QByteArray, dateDigits);
    QFETCH(QString, message);
    QFETCH(int, kind);

    m_fx->revealEverything();
    fillPage(QDate(2011, 7, 14), QStringLiteral("123456"), {1, 1, 1, 1, 1, 1});
    IControls &c = m_fx->controls();
    c.setText(QStringLiteral("StaticTextVerProc"), QStringLiteral("1.1"));
    const QString before = pageState(c);

    QVERIFY(m_fx->sim().model().setHoldingBytes(
        10012, identBlock(dateDigits, "654321", hexBytes("00 02 00 00 03 00"), hexBytes("17 18 19"))));
    if (fault >= 0) {
        FaultRule rule;
        rule.kind = FaultRule::Kind(fault);
        rule.amount = 2;
        m_fx->sim().faults().add(rule);
    }
    m_fx->click(QStringLiteral("ButtonReadManuf"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{message});
    QCOMPARE(int(m_fx->boxes.lastKind()), kind);
    QCOMPARE(pageState(c), before);
}

void tst_identification_page::impossibleDateKeepsTheDate()
{
    fillPage(QDate(2011, 7, 14), QStringLiteral("123456"), {0, 0, 0, 0, 0, 0});
    QVERIFY(m_fx->sim().model().setHoldingBytes(
        10012, identBlock("310209", "654321", hexBytes("01 02 01 01 03 01"), hexBytes("17 18 19"))));
    m_fx->click(QStringLiteral("ButtonReadManuf"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{"Заводские установки считаны"});
    IControls &c = m_fx->controls();
    QCOMPARE(c.date(kDate), QDate(2011, 7, 14));
    QCOMPARE(c.text(kSerial), QStringLiteral("654321"));
    QCOMPARE(c.itemIndex(kit(5)), 3);
}

QTEST_MAIN(tst_identification_page)
#include "tst_identification_page.moc"
