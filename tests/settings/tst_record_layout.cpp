#include "settings/encodings.h"
#include "settings/image_fill.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "settings/value_controls.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <stdexcept>

using namespace vexs;

namespace {

const QString kGrid = QStringLiteral("StringGridMatCanCoeff");
const QString kCount = QStringLiteral("UpDownMatCanKolCoeff");

constexpr auto kAsTheWindow = ValueControls::Holding::AsTheWindow;

// The window's controls but one, for a page that lacks a control it should
// have: the fault must surface, not be skipped.
class LackingOne : public ValueControls
{
public:
    explicit LackingOne(QString name) : ValueControls(kAsTheWindow), m_name(std::move(name)) {}
    void setItemIndex(const QString &name, int index) override
    {
        if (name == m_name)
            throw MissingControl(name);
        ValueControls::setItemIndex(name, index);
    }

private:
    QString m_name;
};

QString controlOf(const BlockLayout &b, const char *prefix, int item)
{
    return b.controlName(QString::fromLatin1(prefix), item);
}

// Valid page contents for the reals of an item, so that a test can spoil one.
void fillValidReals(IControls &fc, const BlockLayout &b, int item)
{
    for (const Field &f : b.fields) {
        if (f.kind == FieldKind::Real)
            fc.setText(b.controlName(f.prefix, item), QStringLiteral("1"));
        if (f.kind == FieldKind::PointsX || f.kind == FieldKind::PointsY) {
            for (int row = 1; row <= kTablePoints; ++row)
                fc.setCell(b.controlName(f.prefix, item), f.kind == FieldKind::PointsX ? 1 : 2, row,
                           QString::number(row));
        }
    }
}

// A real that the edits show exactly, so that decode + encode gives the same
// bytes: at most 6 significant digits and, in fixed form, at most 3 decimals.
float shownExactly(QRandomGenerator &rng)
{
    const int mantissa = rng.bounded(-999999, 1000000);
    if (rng.bounded(4) == 0)
        return QByteArray::number(mantissa).append('e').append(QByteArray::number(rng.bounded(1, 33))).toFloat();
    static const double scale[] = {1.0, 10.0, 100.0, 1000.0};
    return QByteArray::number(mantissa / scale[rng.bounded(4)], 'f', 3).toFloat();
}

char randomByte(QRandomGenerator &rng)
{
    return char(rng.bounded(256));
}

// A random record of one item and the bytes its encode must give after a
// decode onto the controls: list bytes the list cannot hold come back as 0xFF,
// reserved bytes as zeros, table points past the count as 0.0, text after
// the first pad byte as pad bytes.
struct RandomRecord
{
    QByteArray record;
    QByteArray expected;
};

RandomRecord randomRecord(QRandomGenerator &rng, const IControls &fc, const BlockLayout &b, int item)
{
    RandomRecord r{QByteArray(b.recordSize, '\0'), QByteArray(b.recordSize, '\0')};
    auto listByte = [&](const QString &name) {
        const int count = fc.itemCount(name);
        // Mostly valid indexes, some past the end.
        return rng.bounded(3) == 0 ? rng.bounded(256) : rng.bounded(count);
    };
    auto held = [&](const QString &name, int index) { return index < fc.itemCount(name) ? index : -1; };
    int points = 0;

    for (const Field &f : b.fields) {
        const QString name = b.controlName(f.prefix, item);
        switch (f.kind) {
        case FieldKind::Switch:
        case FieldKind::Selection: {
            const int v = listByte(name);
            r.record[f.offset] = char(v);
            r.expected[f.offset] = char(held(name, v) & 0xFF);
            break;
        }
        case FieldKind::NibblePair: {
            const QString high = b.controlName(f.prefix2, item);
            const int lo = rng.bounded(3) == 0 ? rng.bounded(16) : std::min(15, listByte(name));
            const int hi = rng.bounded(3) == 0 ? rng.bounded(16) : std::min(15, listByte(high));
            r.record[f.offset] = char(lo + 16 * hi);
            // An unselected half (-1) keeps to its own bits when the other
            // half is selected.
            const int heldLo = held(name, lo), heldHi = held(high, hi);
            r.expected[f.offset] = char((heldLo < 0) != (heldHi < 0)
                                            ? (heldLo & 0x0F) | ((heldHi & 0x0F) << 4)
                                            : (heldLo + 16 * heldHi) & 0xFF);
            break;
        }
        case FieldKind::Spinner: {
            const int v = rng.bounded(256);
            r.record[f.offset] = char(v);
            r.expected[f.offset] = char(std::clamp(v, f.min, f.max));
            if (f.prefix == kCount)
                points = std::clamp(v, f.min, f.max);
            break;
        }
        case FieldKind::Real: {
            float v = shownExactly(rng);
            if (f.range) // a value the write accepts
                v = QByteArray::number(rng.bounded(-20000, 20001) / 1000.0, 'f', 3).toFloat();
            writeFloat(r.record, f.offset, v);
            writeFloat(r.expected, f.offset, v);
            break;
        }
        case FieldKind::Text: {
            const int length = rng.bounded(f.width + 1);
            for (int i = 0; i < f.width; ++i) {
                char c = f.pad;
                if (i < length) {
                    do
                        c = randomByte(rng);
                    while (c == f.pad);
                }
                r.expected[f.offset + i] = c;
                // Whatever follows the first pad byte is not part of the text.
                r.record[f.offset + i] = i > length ? randomByte(rng) : c;
            }
            break;
        }
        case FieldKind::Reserved:
            for (int i = 0; i < f.width; ++i)
                r.record[f.offset + i] = randomByte(rng);
            break;
        case FieldKind::PointsX:
        case FieldKind::PointsY:
            for (int row = 1; row <= kTablePoints; ++row) {
                const int at = f.offset + 4 * (row - 1);
                if (row <= points) {
                    const float v = shownExactly(rng);
                    writeFloat(r.record, at, v);
                    writeFloat(r.expected, at, v);
                } else {
                    for (int i = 0; i < 4; ++i)
                        r.record[at + i] = randomByte(rng);
                }
            }
            break;
        }
    }
    return r;
}

} // namespace

Q_DECLARE_METATYPE(const vexs::BlockLayout *)
Q_DECLARE_METATYPE(std::optional<QByteArray>)

class TestRecordLayout : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::system()); }

    void blockGeometry_data();
    void blockGeometry();
    void fieldsTileEveryRecord();
    void blocksTileTheImage();
    void everyMessageFieldIsNamed();
    void controlNames();

    void measurementWrite();
    void measurementMessages_data();
    void measurementMessages();
    void validationOrder_data();
    void validationOrder();
    void nibblePairBothWays_data();
    void nibblePairBothWays();
    void byteOutsideListReadsBackAsNoSelection();
    void mathTableSendsOnlyCountedPoints();
    void mathTableCellMessages_data();
    void mathTableCellMessages();
    void mathTableFillFollowsSpinner_data();
    void mathTableFillFollowsSpinner();
    void otherBlockMessages_data();
    void otherBlockMessages();
    void displayGroupsUseTheirByteRanges();
    void misuseIsRefused();

    void roundTripThroughTheImage_data();
    void roundTripThroughTheImage();
    void fillPropagatesMissingControl();

    void settingsImage();
    void absentChannels_data();
    void absentChannels();
};

void TestRecordLayout::blockGeometry_data()
{
    QTest::addColumn<const BlockLayout *>("block");
    QTest::addColumn<int>("imageOffset");
    QTest::addColumn<int>("recordSize");
    QTest::addColumn<QList<int>>("firstRegisters");
    QTest::newRow("measurement") << &measurementChannelLayout() << 0 << 40 << QList<int>{0, 20, 40, 60};
    QTest::newRow("math") << &mathChannelLayout() << 160 << 298 << QList<int>{80, 229, 378, 527};
    QTest::newRow("output") << &outputLayout() << 1352 << 2 << QList<int>{676, 677, 678, 679};
    QTest::newRow("setpoint") << &setpointLayout() << 1360 << 12
                              << QList<int>{680, 686, 692, 698, 704, 710, 716, 722};
    QTest::newRow("recording") << &recordingLayout() << 1456 << 16 << QList<int>{728};
    QTest::newRow("display") << &displayLayout() << 1472 << 16 << QList<int>{736};
    QTest::newRow("network") << &networkLayout() << 1488 << 56 << QList<int>{744};
}

void TestRecordLayout::blockGeometry()
{
    QFETCH(const BlockLayout *, block);
    QFETCH(int, imageOffset);
    QFETCH(int, recordSize);
    QFETCH(QList<int>, firstRegisters);
    QCOMPARE(block->imageOffset, imageOffset);
    QCOMPARE(block->recordSize, recordSize);
    QCOMPARE(block->recordCount, firstRegisters.size());
    QCOMPARE(block->registerCount(), recordSize / 2);
    for (int item = 1; item <= block->recordCount; ++item)
        QCOMPARE(block->firstRegister(item), firstRegisters[item - 1]);
}

void TestRecordLayout::fieldsTileEveryRecord()
{
    for (const BlockLayout *b : settingsBlocks()) {
        QList<int> owner(b->recordSize, 0);
        for (const Field &f : b->fields) {
            QVERIFY2(f.offset >= 0 && f.offset + f.width <= b->recordSize, qPrintable(b->name));
            for (int i = f.offset; i < f.offset + f.width; ++i)
                ++owner[i];
        }
        for (int i = 0; i < b->recordSize; ++i)
            QVERIFY2(owner[i] == 1, qPrintable(b->name + " byte " + QString::number(i)));
    }
}

void TestRecordLayout::blocksTileTheImage()
{
    int next = 0;
    for (const BlockLayout *b : settingsBlocks()) {
        QCOMPARE(b->imageOffset, next);
        next += b->recordSize * b->recordCount;
    }
    QCOMPARE(next, SettingsImage::Size);
}

void TestRecordLayout::everyMessageFieldIsNamed()
{
    QStringList labels;
    for (const LabelCaption &l : messageLabels())
        labels << QString::fromLatin1(l.name);
    for (const BlockLayout *b : settingsBlocks()) {
        for (const Field &f : b->fields) {
            if (f.kind == FieldKind::Real || f.kind == FieldKind::Text) {
                QVERIFY2(labels.contains(f.label) || (f.label.isEmpty() && !f.caption.isEmpty()),
                         qPrintable(f.prefix));
            }
            if (f.kind == FieldKind::NibblePair || f.kind == FieldKind::PointsX
                || f.kind == FieldKind::PointsY)
                QVERIFY2(!f.prefix2.isEmpty(), qPrintable(f.prefix));
        }
    }
}

void TestRecordLayout::controlNames()
{
    QCOMPARE(controlOf(measurementChannelLayout(), "ComboBoxIndBarType", 3),
             QStringLiteral("ComboBoxIndBarType3"));
    QCOMPARE(controlOf(mathChannelLayout(), "ComboBoxIndBarType_", 2),
             QStringLiteral("ComboBoxIndBarType_2"));
    QCOMPARE(controlOf(recordingLayout(), "ComboBoxRegArhVkl5", 1), QStringLiteral("ComboBoxRegArhVkl5"));
}

void TestRecordLayout::measurementWrite()
{
    const BlockLayout &b = measurementChannelLayout();
    ValueControls fc(kAsTheWindow);
    fillValidReals(fc, b, 3);
    fc.setText(QStringLiteral("EditCanCorrXC3"), QStringLiteral("1,5"));
    fc.setText(QStringLiteral("EditCanEd3"), QStringLiteral("°С"));
    fc.setItemIndex(QStringLiteral("ComboBoxCanTypeGrad3"), 21);
    const EncodeResult r = encodeRecord(fc, b, 3, QStringLiteral("Канал 3: "));
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.bytes.size(), 40);
    QCOMPARE(b.firstRegister(3), 40);
    QCOMPARE(r.bytes.mid(6, 4), QByteArray::fromHex("0000c03f"));
    QCOMPARE(r.bytes.mid(22, 6), QByteArray::fromHex("b0d100000000"));
    QCOMPARE(quint8(r.bytes[1]), quint8(21));
}

void TestRecordLayout::measurementMessages_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString range = QStringLiteral("Канал 2: Поправка XC. Значение должно быть от -20 до +20");
    const QString corrBad = QStringLiteral("Канал 2: Поправка XC.Неверное значение");
    QTest::newRow("correction 20,0") << "EditCanCorrXC" << "20,0" << "";
    QTest::newRow("correction 20.0") << "EditCanCorrXC" << "20.0" << "";
    QTest::newRow("correction -20") << "EditCanCorrXC" << "-20" << "";
    QTest::newRow("correction 20,01") << "EditCanCorrXC" << "20,01" << range;
    QTest::newRow("correction -20.01") << "EditCanCorrXC" << "-20.01" << range;
    QTest::newRow("correction 1e39") << "EditCanCorrXC" << "1e39" << corrBad;
    QTest::newRow("correction text") << "EditCanCorrXC" << "abc" << corrBad;
    QTest::newRow("lower limit empty") << "EditCanNPI" << "" << "Канал 2: НПИ.Неверное значение";
    QTest::newRow("upper limit text") << "EditCanVPI" << "1..2" << "Канал 2: ВПИ.Неверное значение";
    QTest::newRow("no range on limits") << "EditCanVPI" << "1e30" << "";
    QTest::newRow("offset") << "EditCanPopravka" << "-" << "Канал 2: Смещение 0.Неверное значение";
    QTest::newRow("bar 0%") << "EditIndBarNPI" << "" << "Канал 2: Барграф 0%.Неверное значение";
    QTest::newRow("bar 100%") << "EditIndBarVPI" << "x" << "Канал 2: Барграф 100%.Неверное значение";
    QTest::newRow("units outside the code page")
        << "EditCanEd" << "✓C" << "Канал 2: Ед. измерения: символ «✓» нельзя передать в прибор";
}

void TestRecordLayout::measurementMessages()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QString, message);
    const BlockLayout &b = measurementChannelLayout();
    ValueControls fc(kAsTheWindow);
    fillValidReals(fc, b, 2);
    fc.setText(composedName(control, 2), text);
    const EncodeResult r = encodeRecord(fc, b, 2, QStringLiteral("Канал 2: "));
    QCOMPARE(r.error, message);
    QCOMPARE(r.ok(), message.isEmpty());
}

void TestRecordLayout::validationOrder_data()
{
    // Two spoiled fields: the message is that of the one the page checks first.
    QTest::addColumn<const BlockLayout *>("block");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("message");
    const BlockLayout *meas = &measurementChannelLayout();
    const BlockLayout *math = &mathChannelLayout();
    const BlockLayout *ust = &setpointLayout();
    QTest::newRow("correction before lower limit")
        << meas << "EditCanCorrXC" << "EditCanNPI" << "Канал 1: Поправка XC.Неверное значение";
    QTest::newRow("units before zero offset")
        << meas << "EditCanEd" << "EditCanPopravka"
        << "Канал 1: Ед. измерения: символ «✓» нельзя передать в прибор";
    QTest::newRow("math units before bar limits")
        << math << "EditMatCanEd" << "EditIndBarNPI_"
        << "Канал 1: Ед. измерения: символ «✓» нельзя передать в прибор";
    QTest::newRow("math bar limit before table")
        << math << "EditIndBarVPI_" << "X1" << "Канал 1: Барграф 100%.Неверное значение";
    QTest::newRow("every X before any Y") << math << "Y1" << "X5" << "Канал 1: Неверное значение X в строке 5";
    QTest::newRow("table before coefficients") << math << "K1" << "Y2" << "Канал 1: Неверное значение Y в строке 2";
    QTest::newRow("K3 before K4") << math << "EditMatCanK4_" << "EditMatCanK3_" << "Канал 1: K3 Неверное значение";
    QTest::newRow("setpoint value before zone")
        << ust << "EditUstZona" << "EditUstUst" << "Канал 1: Значение уставки.Неверное значение";
}

void TestRecordLayout::validationOrder()
{
    QFETCH(const BlockLayout *, block);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, message);
    ValueControls fc(kAsTheWindow);
    fillValidReals(fc, *block, 1);
    if (block == &mathChannelLayout())
        fc.setPosition(QStringLiteral("UpDownMatCanKolCoeff1"), 8);
    const QString grid = QStringLiteral("StringGridMatCanCoeff1");
    for (const QString &spoil : {first, second}) {
        if (spoil.startsWith(QLatin1Char('X')))
            fc.setCell(grid, 1, spoil.mid(1).toInt(), QStringLiteral("?"));
        else if (spoil.startsWith(QLatin1Char('Y')))
            fc.setCell(grid, 2, spoil.mid(1).toInt(), QStringLiteral("?"));
        else if (spoil == QLatin1String("K1"))
            fc.setText(QStringLiteral("EditMatCanK1_1"), QStringLiteral("?"));
        else if (spoil.endsWith(QLatin1String("Ed")))
            fc.setText(composedName(spoil, 1), QStringLiteral("✓"));
        else
            fc.setText(composedName(spoil, 1), QStringLiteral("?"));
    }
    QCOMPARE(encodeRecord(fc, *block, 1, QStringLiteral("Канал 1: ")).error, message);
}

void TestRecordLayout::nibblePairBothWays_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("low"); // item indexes shown, -1 for none
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("written");
    // Setpoint greater: "Синий" (2), setpoint less: "Зеленый" (1).
    QTest::newRow("both shown") << 0x12 << 2 << 1 << 0x12;
    // A half past the three colours must not change the colour shown in
    // the other half when the page writes.
    QTest::newRow("low past the list") << 0x2F << -1 << 2 << 0x2F;
    QTest::newRow("high past the list") << 0xF1 << 1 << -1 << 0xF1;
}

void TestRecordLayout::nibblePairBothWays()
{
    QFETCH(int, byte);
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(int, written);
    for (const BlockLayout *b : {&measurementChannelLayout(), &mathChannelLayout()}) {
        ValueControls fc(kAsTheWindow);
        fillValidReals(fc, *b, 4);
        const Field &f = *std::find_if(b->fields.begin(), b->fields.end(),
                                       [](const Field &x) { return x.kind == FieldKind::NibblePair; });
        QByteArray record(b->recordSize, '\0');
        record[f.offset] = char(byte);
        decodeRecord(fc, *b, 4, record);
        QCOMPARE(fc.itemIndex(b->controlName(f.prefix, 4)), low);
        QCOMPARE(fc.itemIndex(b->controlName(f.prefix2, 4)), high);
        const EncodeResult r = encodeRecord(fc, *b, 4, QString());
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(quint8(r.bytes[f.offset]), quint8(written));
    }
}

void TestRecordLayout::byteOutsideListReadsBackAsNoSelection()
{
    const BlockLayout &b = measurementChannelLayout();
    ValueControls fc(kAsTheWindow);
    QByteArray record(40, '\0');
    record[1] = 30; // signal type past the 22 items
    decodeRecord(fc, b, 1, record);
    QCOMPARE(fc.itemIndex(QStringLiteral("ComboBoxCanTypeGrad1")), -1);
    const EncodeResult r = encodeRecord(fc, b, 1, QString());
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(quint8(r.bytes[1]), quint8(0xFF));
}

void TestRecordLayout::mathTableSendsOnlyCountedPoints()
{
    const BlockLayout &b = mathChannelLayout();
    ValueControls fc(kAsTheWindow);
    fillValidReals(fc, b, 1);
    // Rows left over from a longer table still hold numbers.
    for (int row = 1; row <= kTablePoints; ++row) {
        fc.setCell(kGrid + "1", 1, row, QStringLiteral("7"));
        fc.setCell(kGrid + "1", 2, row, QStringLiteral("8"));
    }
    fc.setCell(kGrid + "1", 1, 2, QStringLiteral("2,5"));
    fc.setCell(kGrid + "1", 2, 3, QStringLiteral("-3.25"));
    fc.setPosition(kCount + "1", 3);
    const EncodeResult r = encodeRecord(fc, b, 1, QStringLiteral("Канал 1: "));
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(quint8(r.bytes[24]), quint8(3));
    QCOMPARE(readFloat(r.bytes, 26), 7.0f);
    QCOMPARE(readFloat(r.bytes, 30), 2.5f);
    QCOMPARE(readFloat(r.bytes, 154 + 8), -3.25f);
    QCOMPARE(r.bytes.mid(26 + 12, 29 * 4), QByteArray(29 * 4, '\0'));
    QCOMPARE(r.bytes.mid(154 + 12, 29 * 4), QByteArray(29 * 4, '\0'));
}

void TestRecordLayout::mathTableCellMessages_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty X in row 2") << 1 << 2 << "Канал 1: Неверное значение X в строке 2";
    QTest::newRow("bad Y in row 3") << 2 << 3 << "Канал 1: Неверное значение Y в строке 3";
    QTest::newRow("empty X past the count") << 1 << 4 << "";
    QTest::newRow("empty Y in the last row") << 2 << 32 << "";
}

void TestRecordLayout::mathTableCellMessages()
{
    QFETCH(int, column);
    QFETCH(int, row);
    QFETCH(QString, message);
    const BlockLayout &b = mathChannelLayout();
    ValueControls fc(kAsTheWindow);
    fillValidReals(fc, b, 1);
    fc.setPosition(kCount + "1", 3);
    fc.setCell(kGrid + "1", column, row, column == 1 ? QString() : QStringLiteral("1,2,3"));
    QCOMPARE(encodeRecord(fc, b, 1, QStringLiteral("Канал 1: ")).error, message);
}

void TestRecordLayout::mathTableFillFollowsSpinner_data()
{
    QTest::addColumn<int>("countByte");
    QTest::addColumn<int>("rows");
    QTest::newRow("0 gives one row") << 0 << 1;
    QTest::newRow("5") << 5 << 5;
    QTest::newRow("32") << 32 << 32;
    QTest::newRow("40 gives 32 rows") << 40 << 32;
}

void TestRecordLayout::mathTableFillFollowsSpinner()
{
    QFETCH(int, countByte);
    QFETCH(int, rows);
    const BlockLayout &b = mathChannelLayout();
    ValueControls fc(kAsTheWindow);
    for (int row = 1; row <= kTablePoints; ++row) {
        fc.setCell(kGrid + "2", 1, row, QStringLiteral("old"));
        fc.setCell(kGrid + "2", 2, row, QStringLiteral("old"));
    }
    QByteArray record(298, '\0');
    record[24] = char(countByte);
    for (int j = 1; j <= kTablePoints; ++j) {
        writeFloat(record, 26 + 4 * (j - 1), float(j));
        writeFloat(record, 154 + 4 * (j - 1), -float(j));
    }
    decodeRecord(fc, b, 2, record);
    QCOMPARE(fc.position(kCount + "2"), rows);
    for (int j = 1; j <= kTablePoints; ++j) {
        const QString x = j <= rows ? formatReal(float(j)) : QStringLiteral("old");
        const QString y = j <= rows ? formatReal(-float(j)) : QStringLiteral("old");
        QCOMPARE(fc.cell(kGrid + "2", 1, j), x);
        QCOMPARE(fc.cell(kGrid + "2", 2, j), y);
    }
}

void TestRecordLayout::otherBlockMessages_data()
{
    QTest::addColumn<const BlockLayout *>("block");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("message");
    QTest::newRow("math bar 0%") << &mathChannelLayout() << 2 << "Канал 2: " << "EditIndBarNPI_2"
                                 << "Канал 2: Барграф 0%.Неверное значение";
    QTest::newRow("math K2") << &mathChannelLayout() << 1 << "Канал 1: " << "EditMatCanK2_1"
                             << "Канал 1: K2 Неверное значение";
    QTest::newRow("setpoint value") << &setpointLayout() << 3 << "Канал 3: " << "EditUstUst3"
                                    << "Канал 3: Значение уставки.Неверное значение";
    QTest::newRow("setpoint zone 1e39") << &setpointLayout() << 8 << "Канал 8: " << "EditUstZona8"
                                        << "Канал 8: Значение зоны возвр.Неверное значение";
    QTest::newRow("recording correction") << &recordingLayout() << 1 << "" << "EditRegCorr"
                                          << "Поправка, ед.изм.Неверное значение";
    QTest::newRow("network text") << &networkLayout() << 1 << "" << "EditRsPort"
                                  << "Порт: символ «✓» нельзя передать в прибор";
}

void TestRecordLayout::otherBlockMessages()
{
    QFETCH(const BlockLayout *, block);
    QFETCH(int, item);
    QFETCH(QString, prefix);
    QFETCH(QString, control);
    QFETCH(QString, message);
    ValueControls fc(kAsTheWindow);
    fillValidReals(fc, *block, item);
    fc.setText(control, control.startsWith(QLatin1String("EditRs")) ? QStringLiteral("50✓") : QStringLiteral("1e39"));
    QCOMPARE(encodeRecord(fc, *block, item, prefix).error, message);
}

void TestRecordLayout::displayGroupsUseTheirByteRanges()
{
    const BlockLayout &b = displayLayout();
    ValueControls fc(kAsTheWindow);
    fc.setItemIndex(QStringLiteral("ComboBoxIndCan"), 5);

    // The display mode read gets registers 736..739 and leaves the channel alone.
    decodeRecord(fc, b, 1, QByteArray::fromHex("0103010203030100"), kDisplayModeBytes);
    QCOMPARE(fc.itemIndex(QStringLiteral("ComboBoxIndPeriod")), 3);
    QCOMPARE(fc.itemIndex(QStringLiteral("ComboBoxIndLightB")), 3);
    QCOMPARE(fc.itemIndex(QStringLiteral("ComboBoxIndCan")), 5);

    // The display channel write keeps the image's bytes for registers 740..743.
    const QByteArray base = QByteArray::fromHex("a0a1a2a3a4a5a6a7b8b9babbbcbdbebf");
    const EncodeResult r = encodeRecord(fc, b, 1, QString(), base, kDisplayChannelBytes);
    QVERIFY(r.ok());
    QCOMPARE(r.bytes, QByteArray::fromHex("a0a1a2a3a4a50500b8b9babbbcbdbebf"));
    // Without a base the reserved bytes go out as zeros.
    QCOMPARE(encodeRecord(fc, b, 1, QString()).bytes.mid(8), QByteArray(8, '\0'));
}

void TestRecordLayout::misuseIsRefused()
{
    const BlockLayout &b = measurementChannelLayout();
    ValueControls fc(kAsTheWindow);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, decodeRecord(fc, b, 1, QByteArray(39, '\0')));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, decodeRecord(fc, b, 5, QByteArray(40, '\0')));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, decodeRecord(fc, b, 0, QByteArray(40, '\0')));
    // A range that cuts the real at 6..9.
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                             decodeRecord(fc, b, 1, QByteArray(40, '\0'), ByteRange{0, 8}));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                             encodeRecord(fc, b, 1, QString(), QByteArray(12, '\0')));
    LackingOne lacking(QStringLiteral("ComboBoxCanTypeGrad2"));
    QVERIFY_THROWS_EXCEPTION(MissingControl, decodeRecord(lacking, b, 2, QByteArray(40, '\0')));
}

void TestRecordLayout::roundTripThroughTheImage_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 25; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

// A random image filled onto the pages and written back block by block gives
// the image again, except where the pages cannot hold a byte.
void TestRecordLayout::roundTripThroughTheImage()
{
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    ValueControls fc(kAsTheWindow);

    QByteArray image(SettingsImage::Size, '\0');
    QByteArray expected(SettingsImage::Size, '\0');
    for (const BlockLayout *b : settingsBlocks()) {
        for (int item = 1; item <= b->recordCount; ++item) {
            const RandomRecord r = randomRecord(rng, fc, *b, item);
            image.replace(b->recordOffset(item), b->recordSize, r.record);
            expected.replace(b->recordOffset(item), b->recordSize, r.expected);
        }
    }
    SettingsImage settings;
    settings.replaceAll(image);
    FillPagesFromImage(fc, settings);

    for (const BlockLayout *b : settingsBlocks()) {
        for (int item = 1; item <= b->recordCount; ++item) {
            const EncodeResult r = encodeRecord(fc, *b, item, QString());
            QVERIFY2(r.ok(), qPrintable(r.error));
            const QByteArray want = expected.mid(b->recordOffset(item), b->recordSize);
            if (r.bytes != want) {
                for (int i = 0; i < b->recordSize; ++i) {
                    if (r.bytes[i] != want[i])
                        qWarning("%s %d byte %d: got %02x, want %02x", qPrintable(b->name), item, i,
                                 quint8(r.bytes[i]), quint8(want[i]));
                }
            }
            QCOMPARE(r.bytes, want);
        }
    }
}

void TestRecordLayout::fillPropagatesMissingControl()
{
    ValueControls fc(kAsTheWindow);
    FillPagesFromImage(fc, SettingsImage());

    LackingOne partial(QStringLiteral("ComboBoxRsBaud"));
    QVERIFY_THROWS_EXCEPTION(MissingControl, FillPagesFromImage(partial, SettingsImage()));
}

void TestRecordLayout::settingsImage()
{
    SettingsImage image;
    QCOMPARE(image.bytes(), QByteArray(SettingsImage::Size, '\0'));

    QByteArray area(SettingsImage::Size, '\0');
    for (int i = 0; i < area.size(); ++i)
        area[i] = char(i * 7 + i / 256);
    image.replaceAll(area);
    QCOMPARE(image.bytes(), area);
    QCOMPARE(image.record(mathChannelLayout(), 2), area.mid(458, 298));
    QCOMPARE(image.record(networkLayout(), 1), area.mid(1488, 56));
    QCOMPARE(image.record(setpointLayout(), 8), area.mid(1444, 12));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, image.record(setpointLayout(), 9));

    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, image.replaceAll(QByteArray(1536, '\0')));
    QCOMPARE(image.bytes(), area);
}

void TestRecordLayout::absentChannels_data()
{
    QTest::addColumn<std::optional<QByteArray>>("data");
    QTest::addColumn<QList<bool>>("absent");
    QByteArray data(96, '\0');
    QTest::newRow("all installed") << std::optional(data) << QList<bool>{false, false, false, false};
    data[9 + 14] = char(0xFF);
    QTest::newRow("channel 2 absent") << std::optional(data) << QList<bool>{false, true, false, false};
    data[9 + 42] = char(0xFF);
    data[9] = char(0xFE);
    QTest::newRow("channels 2 and 4 absent") << std::optional(data) << QList<bool>{false, true, false, true};
    QTest::newRow("no answer") << std::optional<QByteArray>() << QList<bool>{false, false, false, false};
    QTest::newRow("wrong length") << std::optional(QByteArray(94, char(0xFF)))
                                  << QList<bool>{false, false, false, false};
}

void TestRecordLayout::absentChannels()
{
    QFETCH(std::optional<QByteArray>, data);
    QFETCH(QList<bool>, absent);
    const auto got = vexs::absentChannels(data);
    QCOMPARE(QList<bool>(got.begin(), got.end()), absent);
}

QTEST_GUILESS_MAIN(TestRecordLayout)
#include "tst_record_layout.moc"
