#include "settings/outputs_page.h"

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
#include <QPushButton>
#include <QVBoxLayout>

namespace vexs {

OutputsPage::OutputsPage(PageContext &context, QWidget *parent) : ChannelPage(context, parent)
{
    auto *rows = new QGridLayout;
    rows->setHorizontalSpacing(12);
    rows->addWidget(new QLabel(QStringLiteral("Вкл/Выкл")), 0, 0);
    rows->addWidget(new QLabel(QStringLiteral("Канал")), 0, 2);
    for (int n = 1; n <= kOutputs; ++n) {
        auto name = [n](const char *prefix) { return composedName(QString::fromLatin1(prefix), n); };
        const QString own = QStringLiteral("Канал ") + QString::number(n);
        rows->addWidget(
            makeFieldList(outputLayout(), QStringLiteral("ComboBoxOutVkl"), n, QComboBox::AdjustToContents), n, 0);
        rows->addWidget(makeLabel(own, nullptr, name("StaticTextOutCan")), n, 1);
        // Item 0 is the output's own measurement channel.
        rows->addWidget(makeChannelList(name("ComboBoxOutCan"),
                                        listItems(outputLayout(), QStringLiteral("ComboBoxOutCan"), n),
                                        QStringLiteral("Канал 4 -нет")),
                        n, 2);
        const auto buttons = makeReadWriteButtons(
            m_ctx, name("ButtonReadNastrOut"), name("ButtonWriteNastrOut"),
            [this, n] { ButtonReadNastrOut1Click(n); }, [this, n] { ButtonWriteNastrOut1Click(n); });
        rows->addWidget(buttons.read, n, 3);
        rows->addWidget(buttons.write, n, 4);
    }
    rows->setColumnStretch(5, 1);

    m_layout = new QVBoxLayout(this);
    m_layout->addLayout(rows);
    m_layout->addStretch(1);
}

void OutputsPage::addServiceGroup(QWidget *group)
{
    // Between the rows and the closing stretch.
    m_layout->insertWidget(m_layout->count() - 1, group);
}

void OutputsPage::relabelChannels(const ChannelPresence &presence)
{
    for (int n = 1; n <= 4; ++n) {
        const QString item = channelName(n, presence.absent[n - 1]);
        m_ctx.controls.setItemText(composedName(QStringLiteral("ComboBoxOutCan"), n), 0, item);
        m_ctx.controls.setText(composedName(QStringLiteral("StaticTextOutCan"), n), QLatin1Char(' ') + item);
    }
}

} // namespace vexs
