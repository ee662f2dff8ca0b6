// The field table: every block of the settings area, its records and, for each
// field, its offset, width, kind, control, list items, range, file key and
// caption. Nothing else describes a field.
#include "settings/record_layout.h"

#include "ui/texts.h"

#include <initializer_list>

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

// The key and caption of a field in configuration files and comparisons;
// a spinner also takes the range a file may give it.
Field withName(Field f, const char *key, const char *caption, int min = 0, int max = 255)
{
    f.key = QString::fromLatin1(key);
    f.caption = QString::fromUtf8(caption);
    f.min = min;
    f.max = max;
    return f;
}

// A nibble pair is two fields of a file: the low list's, then the high one's.
Field withNames(Field f, const char *key, const char *caption, const char *key2, const char *caption2)
{
    f = withName(std::move(f), key, caption);
    f.key2 = QString::fromLatin1(key2);
    f.caption2 = QString::fromUtf8(caption2);
    return f;
}

// A masked edit: a text that does not fill the mask gets the page's message.
Field withMask(Field f, const char *inputMask, const char *message)
{
    f.inputMask = QString::fromLatin1(inputMask);
    f.maskMessage = QString::fromUtf8(message);
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

// A real whose messages take the caption of a label on the page; one
// without a label is named by its own caption.
Field real(int offset, const char *control, const char *labelName = "")
{
    Field f = field(offset, 4, FieldKind::Real, control);
    f.label = labelName;
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
    Field corr = withName(real(6, "EditCanCorrXC", label::CanCorrXC), "coldJunctionCorrection", "Поправка XC");
    corr.range = RealRange{-20.0f, 20.0f};
    Field ed = withName(text(22, 6, "EditCanEd", '\0'), "units", "Ед. измерения");
    ed.label = label::CanEd;
    b.fields = {
        withName(sw(0, "ComboBoxCanVkl"), "enabled", "Вкл/Выкл"),
        withName(sel(1, "ComboBoxCanTypeGrad", signalItems()), "signal", "Тип сигнала"),
        withName(sw(2, "ComboBoxCanVklXC"), "coldJunction", "Термокомпенсация"),
        corr,
        withName(sel(3, "ComboBoxCanRRR", utf8Items({"4х", "3х"})), "wiring", "4х/3х проводка"),
        withName(sw(4, "ComboBoxCanVklSqr"), "squareRoot", "Корнеизвлечение"),
        withName(sw(5, "ComboBoxCanVklMast"), "scaling", "Масштабирование"),
        withName(real(10, "EditCanNPI", label::CanNPI), "rangeLow", "НПИ"),
        withName(real(14, "EditCanVPI", label::CanVPI), "rangeHigh", "ВПИ"),
        ed,
        withName(real(18, "EditCanPopravka", label::CanPopravka), "zeroOffset", "Смещение 0"),
        withName(sel(28, "ComboBoxCanZap", decimalsItems()), "decimals", "Дес. знаков"),
        withName(sel(29, "ComboBoxCanFiltr", filterItems()), "filter", "Фильтр"),
        withName(sel(30, "ComboBoxIndBarType", colourItems()), "barColour", "Барграф"),
        withNames(nibbles(31, "ComboBoxIndBarColorUstBolse", "ComboBoxIndBarColorUstMense", colourItems(),
                          colourItems()),
                  "barColourAbove", "Цвет уставки больше", "barColourBelow", "Цвет уставки меньше"),
        withName(real(32, "EditIndBarNPI", label::CanBarNPI), "barLow", "Барграф 0%"),
        withName(real(36, "EditIndBarVPI", label::CanBarVPI), "barHigh", "Барграф 100%"),
    };
    return b;
}

BlockLayout makeMath()
{
    BlockLayout b = block("math channel", 160, 298, 4, true);
    Field ed = withName(text(2, 6, "EditMatCanEd", '\0'), "units", "Ед. измерения");
    ed.label = label::MatCanEd;
    b.fields = {
        withName(sw(0, "ComboBoxMatCanVkl"), "enabled", "Вкл/Выкл"),
        ed,
        reserved(8, 1),
        withName(sel(9, "ComboBoxMatCanZap", decimalsItems()), "decimals", "Дес. знаков"),
        withName(sel(10, "ComboBoxIndBarType_", colourItems()), "barColour", "Барграф"),
        withNames(nibbles(11, "ComboBoxIndBarColorUstBolse_", "ComboBoxIndBarColorUstMense_", colourItems(),
                          colourItems()),
                  "barColourAbove", "Цвет уставки больше", "barColourBelow", "Цвет уставки меньше"),
        withName(real(12, "EditIndBarNPI_", label::MatCanNPI), "barLow", "Барграф 0%"),
        withName(real(16, "EditIndBarVPI_", label::MatCanVPI), "barHigh", "Барграф 100%"),
        withName(sel(1, "ComboBoxMatCanFormula",
            utf8Items({"Сумма A+B", "Вычитание A-B", "Среднее значение (A+B)/2", "Линеаризация A",
                       "=A*K1+B*K2+C*K3+D*K4"})), "formula", "Формула"),
        withName(sel(20, "ComboBoxMatCanZnA", operandItems("A")), "operandA", "Выбор A"),
        withName(sel(21, "ComboBoxMatCanZnB", operandItems("B")), "operandB", "Выбор B"),
        withName(sel(22, "ComboBoxMatCanZnC", operandItems("C")), "operandC", "Выбор C"),
        withName(sel(23, "ComboBoxMatCanZnD", operandItems("D")), "operandD", "Выбор D"),
        // The count comes before the tables: they are filled up to the
        // position the spinner reports once it has been set.
        withName(spinner(24, "UpDownMatCanKolCoeff"), "points", "Линеаризация", 1, kTablePoints),
        reserved(25, 1),
        points(FieldKind::PointsX, 26, "StringGridMatCanCoeff", "UpDownMatCanKolCoeff"),
        points(FieldKind::PointsY, 154, "StringGridMatCanCoeff", "UpDownMatCanKolCoeff"),
        withName(real(282, "EditMatCanK1_"), "k1", "K1"),
        withName(real(286, "EditMatCanK2_"), "k2", "K2"),
        withName(real(290, "EditMatCanK3_"), "k3", "K3"),
        withName(real(294, "EditMatCanK4_"), "k4", "K4"),
    };
    return b;
}

BlockLayout makeOutput()
{
    BlockLayout b = block("output", 1352, 2, 4, true);
    // Item 0 is the output's own measurement channel.
    b.fields = {withName(sw(0, "ComboBoxOutVkl"), "enabled", "Вкл/Выкл"),
                withName(sel(1, "ComboBoxOutCan",
                    utf8Items({"Канал %1", "Канал М1", "Канал М2", "Канал М3", "Канал М4"})), "channel", "Канал")};
    return b;
}

BlockLayout makeSetpoint()
{
    BlockLayout b = block("setpoint", 1360, 12, 8, true);
    b.fields = {
        withName(sw(0, "ComboBoxUstVkl"), "enabled", "Вкл/Выкл"),
        withName(sel(1, "ComboBoxUstCan", allChannelItems()), "channel", "Выбор канала"),
        withName(sel(2, "ComboBoxUstTypeUST", utf8Items({"Больше", "Меньше"})), "kind", "Вид уставки"),
        withName(real(4, "EditUstUst", label::UstUst), "value", "Значение уставки"),
        withName(real(8, "EditUstZona", label::UstZona), "returnZone", "Значение зоны возвр"),
        withName(sel(3, "ComboBoxUstSost", utf8Items({"Замкнуто", "Разомкнуто"})), "relay", "Исх. сост. реле"),
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
        withName(sw(0, "ComboBoxRegVkl"), "enabled", "Вкл/Выкл"),
        // The ninth, empty item is the device's "no channel" (byte 8).
        withName(sel(1, "ComboBoxRegCan", allChannelItems() << QString()), "channel", "Выбор канала"),
        withName(sel(2, "ComboBoxRegSpeed", hours), "chartSpeed", "Скорость оборота"),
        withName(real(4, "EditRegCorr", label::RegCorr), "correction", "Поправка, ед.изм"),
        withName(sel(3, "ComboBoxRegArhPeriod1",
            utf8Items({"1 сек", "2 сек", "3 сек", "4 сек", "5 сек", "10 сек", "20 сек", "30 сек",
                       "1 мин", "2 мин", "3 мин", "4 мин", "5 мин", "10 мин", "30 мин", "1ч"})), "archivePeriod", "Период"),
        withName(sw(8, "ComboBoxRegArhVkl1"), "archive1", "Архивирование: Канал 1"),
        withName(sw(9, "ComboBoxRegArhVkl2"), "archive2", "Архивирование: Канал 2"),
        withName(sw(10, "ComboBoxRegArhVkl3"), "archive3", "Архивирование: Канал 3"),
        withName(sw(11, "ComboBoxRegArhVkl4"), "archive4", "Архивирование: Канал 4"),
        withName(sw(12, "ComboBoxRegArhVkl5"), "archiveM1", "Архивирование: Канал М1"),
        withName(sw(13, "ComboBoxRegArhVkl6"), "archiveM2", "Архивирование: Канал М2"),
        withName(sw(14, "ComboBoxRegArhVkl7"), "archiveM3", "Архивирование: Канал М3"),
        withName(sw(15, "ComboBoxRegArhVkl8"), "archiveM4", "Архивирование: Канал М4"),
    };
    return b;
}

BlockLayout makeDisplay()
{
    BlockLayout b = block("display", 1472, 16, 1, false);
    const QStringList brightness = utf8Items({"100%", "80%", "60%", "40%"});
    b.fields = {
        withName(sel(0, "ComboBoxIndType", utf8Items({"Статическая", "Динамическая"})), "mode", "Тип индикации"),
        withName(sel(1, "ComboBoxIndPeriod", utf8Items({"2", "3", "4", "5"})), "period", "Период дин. инд, с"),
        withName(sw(2, "ComboBoxIndVkl"), "bar", "Барграф: Вкл/Выкл"),
        withName(sel(3, "ComboBoxIndLightR", brightness), "brightnessRed", "Яркость красный"),
        withName(sel(4, "ComboBoxIndLightG", brightness), "brightnessGreen", "Яркость зеленый"),
        withName(sel(5, "ComboBoxIndLightB", brightness), "brightnessBlue", "Яркость синий"),
        withName(sel(6, "ComboBoxIndCan", allChannelItems()), "channel", "Выбор канала"),
        withName(sw(7, "ComboBoxIndBarZum"), "sound", "Звук"),
        reserved(8, 8),
    };
    return b;
}

BlockLayout makeNetwork()
{
    BlockLayout b = block("network", 1488, 56, 1, false);
    // The masked edits have no caption label of their own: messages name
    // them by their captions.
    const char *dotted = "999.999.999.999;_";
    const Field ip = withMask(withName(text(4, 16, "EditRsIP", '\x13'), "ip", "IP-адрес"), dotted,
                              "Неверный IP-адрес");
    const Field mask = withMask(withName(text(20, 16, "EditRsMask", '\x13'), "mask", "Маска подсети"), dotted,
                                "Неверная маска подсети");
    const Field gate = withMask(withName(text(36, 16, "EditRsGate", '\x13'), "gateway", "Основной шлюз"),
                                dotted, "Неверный шлюз");
    const Field port = withMask(withName(text(52, 4, "EditRsPort", '\x13'), "port", "Порт"), "9999;_",
                                "Неверный порт");
    b.fields = {
        withName(spinner(0, "UpDownRsAdr"), "address", "Адрес", 1, 255),
        withName(sel(1, "ComboBoxRsInter", utf8Items({"RS-485", "Ethernet"})), "interface", "Интерфейс"),
        withName(sel(2, "ComboBoxRsBaud", baudRateItems()), "baud", "Скорость RS-485"),
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

} // namespace

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

} // namespace vexs
