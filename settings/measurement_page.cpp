#include "settings/measurement_page.h"

#include "settings/block_io.h"
#include "settings/record_layout.h"
#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexs {

namespace {

enum class Row { Switch, List, Edit, Units };

struct RowDef
{
    const char *caption;
    const char *prefix;
    Row kind;
    const char *const *items = nullptr;
    const char *labelName = nullptr; // a label that validation messages read
};

const char *const kWiringItems[] = {"4х", "3х", nullptr};
const char *const kColourItems[] = {"Красный", "Зеленый", "Синий", nullptr};
const char *const kSignalItems[] = {
    "ТС 50П (-120..500 С)",      "ТС 100П (-120..500 С)",     "ТС Pt50 (-120..500 С)",
    "ТС Pt100 (-120..500 С)",    "ТС 50М (-50..180 С)",       "ТС 100М (-50..180 С)",
    "Термопара S (0..1600 С)",   "Термопара K (0..1300 С)",   "Термопара L (-50..800 С)",
    "Термопара B (500..1800 С)", "Термопара A1 (0..2200 С)",  "Термопара J (-100..1000)",
    "Термопара N (0..1300 С)",   "Ток 0..5mA",                "Ток 4..20mA",
    "Ток 20..4mA",               "Напряжение 0..10mV",        "Напряжение 0..100mV",
    "Напряжение 0..1V",          "Пирометр PK15",             "Пирометр PK20",
    "Пирометр PC20",             nullptr};
const char *const kDecimalsItems[] = {"000000", "00000.0", "0000.00", "000.000", "00.0000", "0.00000", nullptr};
const char *const kFilterItems[] = {"1 сек", "2 сек", "3 сек", "4 сек", "5 сек", "6 сек",
                                    "7 сек", "8 сек", "9 сек", "10 сек", nullptr};

// Rows in record order.
const RowDef kRows[] = {
    {"Вкл/Выкл", "ComboBoxCanVkl", Row::Switch},
    {"Тип сигнала", "ComboBoxCanTypeGrad", Row::List, kSignalItems},
    {"Термокомпенсация", "ComboBoxCanVklXC", Row::Switch},
    {"4х/3х проводка", "ComboBoxCanRRR", Row::List, kWiringItems},
    {"Корнеизвлечение", "ComboBoxCanVklSqr", Row::Switch},
    {"Масштабирование", "ComboBoxCanVklMast", Row::Switch},
    {"Поправка XC", "EditCanCorrXC", Row::Edit, nullptr, label::CanCorrXC},
    {"НПИ", "EditCanNPI", Row::Edit, nullptr, label::CanNPI},
    {"ВПИ", "EditCanVPI", Row::Edit, nullptr, label::CanVPI},
    {"Смещение 0", "EditCanPopravka", Row::Edit, nullptr, label::CanPopravka},
    {"Ед. измерения", "EditCanEd", Row::Units, nullptr, label::CanEd},
    {"Дес. знаков", "ComboBoxCanZap", Row::List, kDecimalsItems},
    {"Фильтр", "ComboBoxCanFiltr", Row::List, kFilterItems},
    {"Барграф", "ComboBoxIndBarType", Row::List, kColourItems},
    {"Цвет уставки больше", "ComboBoxIndBarColorUstBolse", Row::List, kColourItems},
    {"Цвет уставки меньше", "ComboBoxIndBarColorUstMense", Row::List, kColourItems},
    {"Барграф 0%", "EditIndBarNPI", Row::Edit, nullptr, label::CanBarNPI},
    {"Барграф 100%", "EditIndBarVPI", Row::Edit, nullptr, label::CanBarVPI},
};

QWidget *makeControl(const RowDef &row, int n, QWidget *parent)
{
    const QString name = composedName(QString::fromLatin1(row.prefix), n);
    if (row.kind == Row::Edit || row.kind == Row::Units) {
        QLineEdit *edit = makeEdit(name, parent);
        if (row.kind == Row::Units)
            limitTypedLength(edit, MeasurementChannelsPage::kUnitsTypedMax);
        return edit;
    }
    QStringList items;
    if (row.kind == Row::Switch) {
        items = offOnItems();
    } else {
        for (const char *const *item = row.items; *item; ++item)
            items << QString::fromUtf8(*item);
    }
    // Narrow columns; the drop-down shows the whole texts.
    return makeSizedList(name, items, 8, parent);
}

} // namespace

MeasurementChannelsPage::MeasurementChannelsPage(PageContext &context, QWidget *parent)
    : QWidget(parent), m_ctx(context)
{
    m_ctx.channelLabels.append(this);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(3);

    for (int n = 1; n <= kChannels; ++n) {
        QLabel *header = makeLabel(QStringLiteral("Канал ") + QString::number(n), this,
                                   composedName(QStringLiteral("StaticTextCan"), n));
        header->setAlignment(Qt::AlignCenter);
        grid->addWidget(header, 0, n);
    }

    int r = 1;
    for (const RowDef &row : kRows) {
        grid->addWidget(makeLabel(QString::fromUtf8(row.caption), this,
                                  row.labelName ? QString::fromLatin1(row.labelName) : QString()),
                        r, 0);
        for (int n = 1; n <= kChannels; ++n)
            grid->addWidget(makeControl(row, n, this), r, n);
        ++r;
    }

    for (int n = 1; n <= kChannels; ++n) {
        auto *buttons = new QHBoxLayout;
        QPushButton *read = makeButton(composedName(QStringLiteral("ButtonReadNastrCan"), n),
                                       QStringLiteral("Считать"), this);
        QPushButton *write = makeButton(composedName(QStringLiteral("ButtonWriteNastrCan"), n),
                                        QStringLiteral("Записать "), this);
        buttons->addWidget(read);
        buttons->addWidget(write);
        grid->addLayout(buttons, r, n);
        connectRequest(read, m_ctx, [this, read] { ButtonReadNastrCan1Click(itemNumberOf(read)); });
        connectRequest(write, m_ctx, [this, write] { ButtonWriteNastrCan1Click(itemNumberOf(write)); });
    }
    grid->setColumnStretch(0, 0);
    for (int n = 1; n <= kChannels; ++n)
        grid->setColumnStretch(n, 1);
    grid->setRowStretch(r + 1, 1);
}

void MeasurementChannelsPage::ButtonReadNastrCan1Click(int n)
{
    readGroupIntoPage(m_ctx, configGroup(GroupFamily::Measurement, n));
}

void MeasurementChannelsPage::ButtonWriteNastrCan1Click(int n)
{
    writeGroupFromPage(m_ctx, configGroup(GroupFamily::Measurement, n));
}

void MeasurementChannelsPage::relabelChannels(const ChannelPresence &presence)
{
    for (int n = 1; n <= 4; ++n)
        m_ctx.controls.setText(composedName(QStringLiteral("StaticTextCan"), n),
                               QLatin1Char(' ') + channelName(n, presence.absent[n - 1]));
}

} // namespace vexs
