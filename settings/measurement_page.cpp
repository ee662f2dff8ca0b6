#include "settings/measurement_page.h"

#include "settings/block_io.h"
#include "settings/record_layout.h"
#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace vexs {

namespace {

enum class Row { List, Edit, Units };

struct RowDef
{
    const char *caption;
    const char *prefix;
    Row kind;
    const char *labelName = nullptr; // a label that validation messages read
};

// Rows in record order; the lists' items are the layout's.
const RowDef kRows[] = {
    {"Вкл/Выкл", "ComboBoxCanVkl", Row::List},
    {"Тип сигнала", "ComboBoxCanTypeGrad", Row::List},
    {"Термокомпенсация", "ComboBoxCanVklXC", Row::List},
    {"4х/3х проводка", "ComboBoxCanRRR", Row::List},
    {"Корнеизвлечение", "ComboBoxCanVklSqr", Row::List},
    {"Масштабирование", "ComboBoxCanVklMast", Row::List},
    {"Поправка XC", "EditCanCorrXC", Row::Edit, label::CanCorrXC},
    {"НПИ", "EditCanNPI", Row::Edit, label::CanNPI},
    {"ВПИ", "EditCanVPI", Row::Edit, label::CanVPI},
    {"Смещение 0", "EditCanPopravka", Row::Edit, label::CanPopravka},
    {"Ед. измерения", "EditCanEd", Row::Units, label::CanEd},
    {"Дес. знаков", "ComboBoxCanZap", Row::List},
    {"Фильтр", "ComboBoxCanFiltr", Row::List},
    {"Барграф", "ComboBoxIndBarType", Row::List},
    {"Цвет уставки больше", "ComboBoxIndBarColorUstBolse", Row::List},
    {"Цвет уставки меньше", "ComboBoxIndBarColorUstMense", Row::List},
    {"Барграф 0%", "EditIndBarNPI", Row::Edit, label::CanBarNPI},
    {"Барграф 100%", "EditIndBarVPI", Row::Edit, label::CanBarVPI},
};

QWidget *makeControl(const RowDef &row, int n, QWidget *parent)
{
    const QString prefix = QString::fromLatin1(row.prefix);
    const QString name = composedName(prefix, n);
    if (row.kind == Row::List) {
        // Narrow columns; the drop-down shows the whole texts.
        return makeSizedList(name, listItems(measurementChannelLayout(), prefix, n), 8, parent);
    }
    QLineEdit *edit = makeEdit(name, parent);
    if (row.kind == Row::Units)
        limitTypedLength(edit, MeasurementChannelsPage::kUnitsTypedMax);
    return edit;
}

} // namespace

MeasurementChannelsPage::MeasurementChannelsPage(PageContext &context, QWidget *parent)
    : ChannelPage(context, parent)
{
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
        const auto buttons = makeReadWriteButtons(
            m_ctx, composedName(QStringLiteral("ButtonReadNastrCan"), n),
            composedName(QStringLiteral("ButtonWriteNastrCan"), n),
            [this, n] { ButtonReadNastrCan1Click(n); }, [this, n] { ButtonWriteNastrCan1Click(n); },
            this, QStringLiteral("Записать "));
        grid->addLayout(buttons.row(), r, n);
    }
    grid->setColumnStretch(0, 0);
    for (int n = 1; n <= kChannels; ++n)
        grid->setColumnStretch(n, 1);
    grid->setRowStretch(r + 1, 1);
}

void MeasurementChannelsPage::relabelChannels(const ChannelPresence &presence)
{
    for (int n = 1; n <= 4; ++n)
        m_ctx.controls.setText(composedName(QStringLiteral("StaticTextCan"), n),
                               QLatin1Char(' ') + channelName(n, presence.absent[n - 1]));
}

} // namespace vexs
