#include "settings/setpoints_page.h"

#include "settings/block_io.h"
#include "settings/field_lists.h"
#include "settings/record_layout.h"
#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexs {

namespace {

constexpr int kEditWidth = 90;

QLabel *columnCaption(const QString &text, const char *name = nullptr)
{
    QLabel *label = makeLabel(text, nullptr, name ? QString::fromLatin1(name) : QString());
    // Long captions take two lines so that the rows fit the page.
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    return label;
}

} // namespace

SetpointsPage::SetpointsPage(PageContext &context, QWidget *parent) : ChannelPage(context, parent)
{
    auto *rows = new QGridLayout;
    rows->setHorizontalSpacing(6);
    // Two captions are quoted by the validation messages.
    rows->addWidget(columnCaption(QStringLiteral("Вкл/Выкл")), 0, 1);
    rows->addWidget(columnCaption(QStringLiteral("Выбор канала")), 0, 2);
    rows->addWidget(columnCaption(QStringLiteral("Вид уставки")), 0, 3);
    rows->addWidget(columnCaption(QStringLiteral("Исх. сост. реле")), 0, 4);
    rows->addWidget(columnCaption(QStringLiteral("Значение уставки"), label::UstUst), 0, 5);
    rows->addWidget(columnCaption(QStringLiteral("Значение зоны возвр"), label::UstZona), 0, 6);

    // The lists follow their items.
    auto pickList = [](const char *prefix, int n) {
        return makeFieldList(setpointLayout(), QString::fromLatin1(prefix), n, QComboBox::AdjustToContents);
    };
    for (int n = 1; n <= kSetpoints; ++n) {
        auto name = [n](const char *prefix) { return composedName(QString::fromLatin1(prefix), n); };
        rows->addWidget(new QLabel(QStringLiteral("Уставка ") + QString::number(n)), n, 0);
        rows->addWidget(pickList("ComboBoxUstVkl", n), n, 1);
        // Measurement channels may grow " -нет", math channels " -выкл".
        rows->addWidget(makeChannelList(name("ComboBoxUstCan"),
                                        listItems(setpointLayout(), QStringLiteral("ComboBoxUstCan")),
                                        QStringLiteral("Канал М4 -выкл"), 2),
                        n, 2);
        rows->addWidget(pickList("ComboBoxUstTypeUST", n), n, 3);
        rows->addWidget(pickList("ComboBoxUstSost", n), n, 4);
        rows->addWidget(makeEdit(name("EditUstUst"), nullptr, kEditWidth), n, 5);
        rows->addWidget(makeEdit(name("EditUstZona"), nullptr, kEditWidth), n, 6);
        const auto buttons = makeReadWriteButtons(
            m_ctx, name("ButtonReadNastrUst"), name("ButtonWriteNastrUst"),
            [this, n] { ButtonReadNastrUst1Click(n); }, [this, n] { ButtonWriteNastrUst1Click(n); });
        rows->addWidget(buttons.read, n, 7);
        rows->addWidget(buttons.write, n, 8);
    }
    rows->setColumnStretch(9, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(rows);
    layout->addStretch(1);
}

void SetpointsPage::relabelChannels(const ChannelPresence &presence)
{
    for (int s = 1; s <= 8; ++s) {
        const QString list = composedName(QStringLiteral("ComboBoxUstCan"), s);
        for (int k = 1; k <= 4; ++k) {
            QString text = channelName(k, presence.absent[k - 1]);
            if (!presence.absent[k - 1] && !presence.measurementOn[k - 1])
                text += QStringLiteral(" -выкл");
            m_ctx.controls.setItemText(list, k - 1, text);
        }
        for (int m = 1; m <= 4; ++m) {
            QString text = QStringLiteral("Канал М") + QString::number(m);
            if (!presence.mathOn[m - 1])
                text += QStringLiteral(" -выкл");
            m_ctx.controls.setItemText(list, 3 + m, text);
        }
    }
}

} // namespace vexs
