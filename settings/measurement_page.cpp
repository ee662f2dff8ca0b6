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

#include <algorithm>

namespace vexs {

namespace {

// One row of the page: a field of the record, or the high half of a nibble pair.
struct PageRow
{
    const Field *field;
    bool high = false;
};

// The page shows the record's fields in the order they lie in it; the
// captions, label names and list items are the field table's.
QList<PageRow> pageRows()
{
    QList<const Field *> fields;
    for (const Field &f : measurementChannelLayout().fields) {
        if (f.kind != FieldKind::Reserved)
            fields << &f;
    }
    std::stable_sort(fields.begin(), fields.end(),
                     [](const Field *a, const Field *b) { return a->offset < b->offset; });
    QList<PageRow> rows;
    for (const Field *f : fields) {
        rows << PageRow{f, false};
        if (f->kind == FieldKind::NibblePair)
            rows << PageRow{f, true};
    }
    return rows;
}

QWidget *makeControl(const PageRow &row, int n, QWidget *parent)
{
    const Field &f = *row.field;
    const QString prefix = row.high ? f.prefix2 : f.prefix;
    const QString name = composedName(prefix, n);
    if (f.kind != FieldKind::Real && f.kind != FieldKind::Text) {
        // Narrow columns; the drop-down shows the whole texts.
        return makeSizedList(name, listItems(measurementChannelLayout(), prefix, n), 8, parent);
    }
    QLineEdit *edit = makeEdit(name, parent);
    if (f.kind == FieldKind::Text)
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
    for (const PageRow &row : pageRows()) {
        const Field &f = *row.field;
        grid->addWidget(makeLabel(row.high ? f.caption2 : f.caption, this, row.high ? QString() : f.label), r, 0);
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
