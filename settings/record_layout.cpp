#include "settings/record_layout.h"

#include "settings/encodings.h"
#include "ui/controls.h"
#include "ui/texts.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>

namespace vexs {

namespace {

Field field(int offset, int width, FieldKind kind, const char *control = "")
{
    Field f;
    f.offset = offset;
    f.width = width;
    f.kind = kind;
    f.prefix = QString::fromLatin1(control);
    return f;
}

BlockLayout block(const char *name, int imageOffset, int recordSize, int recordCount, bool numbered)
{
    BlockLayout b;
    b.name = QString::fromLatin1(name);
    b.imageOffset = imageOffset;
    b.recordSize = recordSize;
    b.recordCount = recordCount;
    b.numbered = numbered;
    return b;
}

Field sw(int offset, const char *control)
{
    Field f = field(offset, 1, FieldKind::Switch, control);
    f.items = offOnItems();
    return f;
}

Field sel(int offset, const char *control, QStringList items)
{
    Field f = field(offset, 1, FieldKind::Selection, control);
    f.items = std::move(items);
    return f;
}

Field spinner(int offset, const char *control)
{
    return field(offset, 1, FieldKind::Spinner, control);
}

Field nibbles(int offset, const char *low, const char *high, QStringList lowItems,
              QStringList highItems)
{
    Field f = field(offset, 1, FieldKind::NibblePair, low);
    f.prefix2 = high;
    f.items = std::move(lowItems);
    f.items2 = std::move(highItems);
    return f;
}

// The texts of the lists; a list shown on several pages is built once here.
QStringList utf8Items(std::initializer_list<const char *> texts)
{
    QStringList items;
    for (const char *t : texts)
        items << QString::fromUtf8(t);
    return items;
}

QStringList colourItems()
{
    return utf8Items({"Красный", "Зеленый", "Синий"});
}

QStringList decimalsItems()
{
    return utf8Items({"000000", "00000.0", "0000.00", "000.000", "00.0000", "0.00000"});
}

QStringList signalItems()
{
    return utf8Items({
        "ТС 50П (-120..500 С)",      "ТС 100П (-120..500 С)",     "ТС Pt50 (-120..500 С)",
        "ТС Pt100 (-120..500 С)",    "ТС 50М (-50..180 С)",       "ТС 100М (-50..180 С)",
        "Термопара S (0..1600 С)",   "Термопара K (0..1300 С)",   "Термопара L (-50..800 С)",
        "Термопара B (500..1800 С)", "Термопара A1 (0..2200 С)",  "Термопара J (-100..1000)",
        "Термопара N (0..1300 С)",   "Ток 0..5mA",                "Ток 4..20mA",
        "Ток 20..4mA",               "Напряжение 0..10mV",        "Напряжение 0..100mV",
        "Напряжение 0..1V",          "Пирометр PK15",             "Пирометр PK20",
        "Пирометр PC20"});
}

QStringList filterItems()
{
    QStringList items;
    for (int s = 1; s <= 10; ++s)
        items << QString::number(s) + QStringLiteral(" сек");
    return items;
}

QStringList operandItems(const char *letter)
{
    QStringList items;
    for (int k = 1; k <= 4; ++k)
        items << QLatin1String(letter) + QStringLiteral("=Канал ") + QString::number(k);
    return items;
}

// Measurement channels 1..4, then math channels М1..М4.
QStringList allChannelItems()
{
    QStringList items;
    for (int k = 1; k <= 4; ++k)
        items << QStringLiteral("Канал ") + QString::number(k);
    for (int m = 1; m <= 4; ++m)
        items << QStringLiteral("Канал М") + QString::number(m);
    return items;
}

Field real(int offset, const char *control, const char *labelName)
{
    Field f = field(offset, 4, FieldKind::Real, control);
    f.label = labelName;
    return f;
}

Field namedReal(int offset, const char *control, const char *name)
{
    Field f = field(offset, 4, FieldKind::Real, control);
    f.fixedName = name;
    return f;
}

Field text(int offset, int width, const char *control, char pad)
{
    Field f = field(offset, width, FieldKind::Text, control);
    f.pad = pad;
    return f;
}

Field reserved(int offset, int width)
{
    return field(offset, width, FieldKind::Reserved);
}

Field points(FieldKind kind, int offset, const char *grid, const char *countSpinner)
{
    Field f = field(offset, 4 * kTablePoints, kind, grid);
    f.prefix2 = countSpinner;
    return f;
}

BlockLayout makeMeasurement()
{
    BlockLayout b = block("measurement channel", 0, 40, 4, true);
    Field corr = real(6, "EditCanCorrXC", label::CanCorrXC);
    corr.range = RealRange{-20.0f, 20.0f};
    Field ed = text(22, 6, "EditCanEd", '\0');
    ed.label = label::CanEd;
    b.fields = {
        sw(0, "ComboBoxCanVkl"),
        sel(1, "ComboBoxCanTypeGrad", signalItems()),
        sw(2, "ComboBoxCanVklXC"),
        corr,
        sel(3, "ComboBoxCanRRR", utf8Items({"4х", "3х"})),
        sw(4, "ComboBoxCanVklSqr"),
        sw(5, "ComboBoxCanVklMast"),
        real(10, "EditCanNPI", label::CanNPI),
        real(14, "EditCanVPI", label::CanVPI),
        ed,
        real(18, "EditCanPopravka", label::CanPopravka),
        sel(28, "ComboBoxCanZap", decimalsItems()),
        sel(29, "ComboBoxCanFiltr", filterItems()),
        sel(30, "ComboBoxIndBarType", colourItems()),
        nibbles(31, "ComboBoxIndBarColorUstBolse", "ComboBoxIndBarColorUstMense", colourItems(),
                colourItems()),
        real(32, "EditIndBarNPI", label::CanBarNPI),
        real(36, "EditIndBarVPI", label::CanBarVPI),
    };
    return b;
}

BlockLayout makeMath()
{
    BlockLayout b = block("math channel", 160, 298, 4, true);
    Field ed = text(2, 6, "EditMatCanEd", '\0');
    ed.label = label::MatCanEd;
    b.fields = {
        sw(0, "ComboBoxMatCanVkl"),
        ed,
        reserved(8, 1),
        sel(9, "ComboBoxMatCanZap", decimalsItems()),
        sel(10, "ComboBoxIndBarType_", colourItems()),
        nibbles(11, "ComboBoxIndBarColorUstBolse_", "ComboBoxIndBarColorUstMense_", colourItems(),
                colourItems()),
        real(12, "EditIndBarNPI_", label::MatCanNPI),
        real(16, "EditIndBarVPI_", label::MatCanVPI),
        sel(1, "ComboBoxMatCanFormula",
            utf8Items({"Сумма A+B", "Вычитание A-B", "Среднее значение (A+B)/2", "Линеаризация A",
                       "=A*K1+B*K2+C*K3+D*K4"})),
        sel(20, "ComboBoxMatCanZnA", operandItems("A")),
        sel(21, "ComboBoxMatCanZnB", operandItems("B")),
        sel(22, "ComboBoxMatCanZnC", operandItems("C")),
        sel(23, "ComboBoxMatCanZnD", operandItems("D")),
        // The count comes before the tables: they are filled up to the
        // position the spinner reports once it has been set.
        spinner(24, "UpDownMatCanKolCoeff"),
        reserved(25, 1),
        points(FieldKind::PointsX, 26, "StringGridMatCanCoeff", "UpDownMatCanKolCoeff"),
        points(FieldKind::PointsY, 154, "StringGridMatCanCoeff", "UpDownMatCanKolCoeff"),
        namedReal(282, "EditMatCanK1_", "K1"),
        namedReal(286, "EditMatCanK2_", "K2"),
        namedReal(290, "EditMatCanK3_", "K3"),
        namedReal(294, "EditMatCanK4_", "K4"),
    };
    return b;
}

BlockLayout makeOutput()
{
    BlockLayout b = block("output", 1352, 2, 4, true);
    // Item 0 is the output's own measurement channel.
    b.fields = {sw(0, "ComboBoxOutVkl"),
                sel(1, "ComboBoxOutCan",
                    utf8Items({"Канал %1", "Канал М1", "Канал М2", "Канал М3", "Канал М4"}))};
    return b;
}

BlockLayout makeSetpoint()
{
    BlockLayout b = block("setpoint", 1360, 12, 8, true);
    b.fields = {
        sw(0, "ComboBoxUstVkl"),
        sel(1, "ComboBoxUstCan", allChannelItems()),
        sel(2, "ComboBoxUstTypeUST", utf8Items({"Больше", "Меньше"})),
        real(4, "EditUstUst", label::UstUst),
        real(8, "EditUstZona", label::UstZona),
        sel(3, "ComboBoxUstSost", utf8Items({"Замкнуто", "Разомкнуто"})),
    };
    return b;
}

BlockLayout makeRecording()
{
    BlockLayout b = block("recording", 1456, 16, 1, false);
    QStringList hours;
    for (int h : {1, 2, 4, 8, 12, 24, 48, 72, 96, 120, 144, 168, 192})
        hours << QString::number(h) + QStringLiteral("ч");
    b.fields = {
        sw(0, "ComboBoxRegVkl"),
        // The ninth, empty item is the device's "no channel" (byte 8).
        sel(1, "ComboBoxRegCan", allChannelItems() << QString()),
        sel(2, "ComboBoxRegSpeed", hours),
        real(4, "EditRegCorr", label::RegCorr),
        sel(3, "ComboBoxRegArhPeriod1",
            utf8Items({"1 сек", "2 сек", "3 сек", "4 сек", "5 сек", "10 сек", "20 сек", "30 сек",
                       "1 мин", "2 мин", "3 мин", "4 мин", "5 мин", "10 мин", "30 мин", "1ч"})),
        sw(8, "ComboBoxRegArhVkl1"),
        sw(9, "ComboBoxRegArhVkl2"),
        sw(10, "ComboBoxRegArhVkl3"),
        sw(11, "ComboBoxRegArhVkl4"),
        sw(12, "ComboBoxRegArhVkl5"),
        sw(13, "ComboBoxRegArhVkl6"),
        sw(14, "ComboBoxRegArhVkl7"),
        sw(15, "ComboBoxRegArhVkl8"),
    };
    return b;
}

BlockLayout makeDisplay()
{
    BlockLayout b = block("display", 1472, 16, 1, false);
    const QStringList brightness = utf8Items({"100%", "80%", "60%", "40%"});
    b.fields = {
        sel(0, "ComboBoxIndType", utf8Items({"Статическая", "Динамическая"})),
        sel(1, "ComboBoxIndPeriod", utf8Items({"2", "3", "4", "5"})),
        sw(2, "ComboBoxIndVkl"),
        sel(3, "ComboBoxIndLightR", brightness),
        sel(4, "ComboBoxIndLightG", brightness),
        sel(5, "ComboBoxIndLightB", brightness),
        sel(6, "ComboBoxIndCan", allChannelItems()),
        sw(7, "ComboBoxIndBarZum"),
        reserved(8, 8),
    };
    return b;
}

BlockLayout makeNetwork()
{
    BlockLayout b = block("network", 1488, 56, 1, false);
    // The masked edits have no caption label of their own.
    Field ip = text(4, 16, "EditRsIP", '\x13');
    ip.fixedName = QStringLiteral("IP-адрес");
    Field mask = text(20, 16, "EditRsMask", '\x13');
    mask.fixedName = QStringLiteral("Маска подсети");
    Field gate = text(36, 16, "EditRsGate", '\x13');
    gate.fixedName = QStringLiteral("Основной шлюз");
    Field port = text(52, 4, "EditRsPort", '\x13');
    port.fixedName = QStringLiteral("Порт");
    b.fields = {
        spinner(0, "UpDownRsAdr"),
        sel(1, "ComboBoxRsInter", utf8Items({"RS-485", "Ethernet"})),
        sel(2, "ComboBoxRsBaud", baudRateItems()),
        reserved(3, 1),
        ip,
        mask,
        gate,
        port,
    };
    return b;
}

// Every layout, built once on first use.
struct Layouts
{
    BlockLayout measurement = makeMeasurement();
    BlockLayout math = makeMath();
    BlockLayout output = makeOutput();
    BlockLayout setpoint = makeSetpoint();
    BlockLayout recording = makeRecording();
    BlockLayout display = makeDisplay();
    BlockLayout network = makeNetwork();
    QList<const BlockLayout *> all = {&measurement, &math,    &output, &setpoint,
                                      &recording,   &display, &network};
};

const Layouts &layouts()
{
    static const Layouts built;
    return built;
}

bool inRange(const Field &f, const std::optional<ByteRange> &range)
{
    if (!range)
        return true;
    const int end = f.offset + f.width;
    if (f.offset >= range->begin && end <= range->end)
        return true;
    if (end <= range->begin || f.offset >= range->end)
        return false;
    throw std::invalid_argument("byte range cuts a field");
}

void checkItem(const BlockLayout &block, int item)
{
    if (item < 1 || item > block.recordCount)
        throw std::invalid_argument("item number outside the block");
}

int requiredSize(const BlockLayout &block, const std::optional<ByteRange> &range)
{
    if (!range)
        return block.recordSize;
    if (range->begin < 0 || range->begin > range->end || range->end > block.recordSize)
        throw std::invalid_argument("byte range outside the record");
    return range->end;
}

int pointCount(const IControls &controls, const QString &spinnerName)
{
    return std::clamp(controls.position(spinnerName), 0, kTablePoints);
}

int gridColumn(FieldKind kind)
{
    return kind == FieldKind::PointsX ? 1 : 2;
}

quint8 byteAt(const QByteArray &record, int offset)
{
    return static_cast<quint8>(record.at(offset));
}

QString fieldName(const IControls &controls, const Field &f)
{
    return f.label.isEmpty() ? f.fixedName : controls.text(f.label);
}

QString invalidValueMessage(const IControls &controls, const Field &f, const QString &prefix)
{
    // Captions run straight into ".Неверное значение"; fixed names take a blank.
    if (f.label.isEmpty())
        return prefix + f.fixedName + QStringLiteral(" Неверное значение");
    return prefix + controls.text(f.label) + QStringLiteral(".Неверное значение");
}

QString signedNumber(float v)
{
    const QString digits = QString::number(static_cast<double>(v));
    return v > 0 ? QLatin1Char('+') + digits : digits;
}

} // namespace

int BlockLayout::recordOffset(int item) const
{
    return imageOffset + recordSize * (item - 1);
}

int BlockLayout::firstRegister(int item) const
{
    return recordOffset(item) / 2;
}

QString BlockLayout::controlName(const QString &prefix, int item) const
{
    return numbered ? composedName(prefix, item) : prefix;
}

const BlockLayout &measurementChannelLayout() { return layouts().measurement; }
const BlockLayout &mathChannelLayout() { return layouts().math; }
const BlockLayout &outputLayout() { return layouts().output; }
const BlockLayout &setpointLayout() { return layouts().setpoint; }
const BlockLayout &recordingLayout() { return layouts().recording; }
const BlockLayout &displayLayout() { return layouts().display; }
const BlockLayout &networkLayout() { return layouts().network; }
const QList<const BlockLayout *> &settingsBlocks() { return layouts().all; }

QStringList listItems(const BlockLayout &block, const QString &control, int item)
{
    for (const Field &f : block.fields) {
        const QStringList *items = f.prefix == control ? &f.items
                                   : f.kind == FieldKind::NibblePair && f.prefix2 == control
                                       ? &f.items2
                                       : nullptr;
        if (!items || items->isEmpty())
            continue;
        QStringList result;
        for (const QString &text : *items)
            result << (text.contains(QLatin1String("%1")) ? text.arg(item) : text);
        return result;
    }
    throw std::invalid_argument("no such list in the block");
}

const QList<LabelCaption> &messageLabels()
{
    static const QList<LabelCaption> labels = {
        {label::CanCorrXC, "Поправка XC"},
        {label::CanNPI, "НПИ"},
        {label::CanVPI, "ВПИ"},
        {label::CanPopravka, "Смещение 0"},
        {label::CanEd, "Ед. измерения"},
        {label::CanBarNPI, "Барграф 0%"},
        {label::CanBarVPI, "Барграф 100%"},
        {label::MatCanNPI, "Барграф 0%"},
        {label::MatCanVPI, "Барграф 100%"},
        {label::MatCanEd, "Ед. измерения"},
        {label::UstUst, "Значение уставки"},
        {label::UstZona, "Значение зоны возвр"},
        {label::RegCorr, "Поправка, ед.изм"},
    };
    return labels;
}

void decodeRecord(IControls &controls, const BlockLayout &block, int item, const QByteArray &record,
                  std::optional<ByteRange> range)
{
    checkItem(block, item);
    if (record.size() < requiredSize(block, range))
        throw std::invalid_argument("record shorter than its layout");

    for (const Field &f : block.fields) {
        if (!inRange(f, range))
            continue;
        const QString name = block.controlName(f.prefix, item);
        switch (f.kind) {
        case FieldKind::Switch:
        case FieldKind::Selection:
            controls.setItemIndex(name, byteAt(record, f.offset));
            break;
        case FieldKind::NibblePair: {
            const quint8 b = byteAt(record, f.offset);
            controls.setItemIndex(name, b & 0x0F);
            controls.setItemIndex(block.controlName(f.prefix2, item), b >> 4);
            break;
        }
        case FieldKind::Spinner:
            controls.setPosition(name, byteAt(record, f.offset));
            break;
        case FieldKind::Real: {
            const float v = readFloat(record, f.offset);
            controls.setRealText(name, formatReal(v), v);
            break;
        }
        case FieldKind::Text:
            controls.setText(name, decodeTextField(record.mid(f.offset, f.width), f.width, f.pad));
            break;
        case FieldKind::Reserved:
            break;
        case FieldKind::PointsX:
        case FieldKind::PointsY: {
            // The spinner keeps its own range; the table shows what it reports.
            const int n = pointCount(controls, block.controlName(f.prefix2, item));
            for (int row = 1; row <= n; ++row) {
                const float v = readFloat(record, f.offset + 4 * (row - 1));
                controls.setRealCell(name, gridColumn(f.kind), row, formatReal(v), v);
            }
            break;
        }
        }
    }
}

EncodeResult encodeRecord(const IControls &controls, const BlockLayout &block, int item,
                          const QString &messagePrefix, QByteArray base,
                          std::optional<ByteRange> range)
{
    checkItem(block, item);
    requiredSize(block, range);
    if (base.isEmpty())
        base = QByteArray(block.recordSize, '\0');
    else if (base.size() != block.recordSize)
        throw std::invalid_argument("base record of the wrong size");

    QByteArray &record = base;
    auto fail = [](QString message) { return EncodeResult{QByteArray(), std::move(message)}; };

    for (const Field &f : block.fields) {
        if (!inRange(f, range))
            continue;
        const QString name = block.controlName(f.prefix, item);
        switch (f.kind) {
        case FieldKind::Switch:
        case FieldKind::Selection:
            // No selection (-1) goes out as 0xFF.
            record[f.offset] = static_cast<char>(controls.itemIndex(name) & 0xFF);
            break;
        case FieldKind::NibblePair: {
            const int low = controls.itemIndex(name);
            const int high = controls.itemIndex(block.controlName(f.prefix2, item));
            // low + 16 x high, low 8 bits. With only one half unselected
            // (-1) that sum would borrow from the other half and change a
            // colour the page shows, so each half then keeps to its bits.
            const bool oneMissing = (low < 0) != (high < 0);
            record[f.offset] = static_cast<char>(oneMissing ? (low & 0x0F) | ((high & 0x0F) << 4)
                                                            : (low + 16 * high) & 0xFF);
            break;
        }
        case FieldKind::Spinner:
            record[f.offset] = static_cast<char>(controls.position(name) & 0xFF);
            break;
        case FieldKind::Real: {
            const auto value = parseReal(controls.text(name));
            if (!value)
                return fail(invalidValueMessage(controls, f, messagePrefix));
            if (f.range && (*value < f.range->min || *value > f.range->max)) {
                return fail(messagePrefix + fieldName(controls, f)
                            + QStringLiteral(". Значение должно быть от ") + signedNumber(f.range->min)
                            + QStringLiteral(" до ") + signedNumber(f.range->max));
            }
            // Checked as shown; an unedited value goes back as the device sent it.
            writeFloat(record, f.offset, controls.exactReal(name).value_or(*value));
            break;
        }
        case FieldKind::Text: {
            const QString value = controls.text(name);
            const auto bytes = encodeTextField(value, f.width, f.pad);
            if (!bytes) {
                return fail(messagePrefix + fieldName(controls, f) + QStringLiteral(": символ «")
                            + firstCharacterNotInCp1251(value)
                            + QStringLiteral("» нельзя передать в прибор"));
            }
            record.replace(f.offset, f.width, *bytes);
            break;
        }
        case FieldKind::Reserved:
            break;
        case FieldKind::PointsX:
        case FieldKind::PointsY: {
            // Points past the count go out as 0.0 whatever the grid still holds.
            const int n = pointCount(controls, block.controlName(f.prefix2, item));
            const QString axis = f.kind == FieldKind::PointsX ? QStringLiteral("X") : QStringLiteral("Y");
            for (int row = 1; row <= kTablePoints; ++row) {
                float v = 0.0f;
                if (row <= n) {
                    const int column = gridColumn(f.kind);
                    const auto parsed = parseReal(controls.cell(name, column, row));
                    if (!parsed) {
                        return fail(messagePrefix + QStringLiteral("Неверное значение ") + axis
                                    + QStringLiteral(" в строке ") + QString::number(row));
                    }
                    v = controls.exactCell(name, column, row).value_or(*parsed);
                }
                writeFloat(record, f.offset + 4 * (row - 1), v);
            }
            break;
        }
        }
    }
    return EncodeResult{record, QString()};
}

} // namespace vexs
