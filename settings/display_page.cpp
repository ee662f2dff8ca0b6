#include "settings/display_page.h"

#include "link/modbus.h"
#include "settings/block_io.h"
#include "settings/field_lists.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "ui/message_boxes.h"
#include "ui/controls.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include <optional>

namespace vexs {

namespace {

// Registers 740..743 (block bytes 8..15) have no control on the page.
constexpr ByteRange kHiddenBytes{8, 16};
constexpr int kHiddenWaitMs = 500;

} // namespace

DisplayPage::DisplayPage(PageContext &context, QWidget *parent) : ChannelPage(context, parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(buildModeGroup(), 0, Qt::AlignLeft);
    column->addWidget(buildChannelGroup(), 0, Qt::AlignLeft);
    column->addStretch(1);
}

QWidget *DisplayPage::buildModeGroup()
{
    auto list = [](const char *name) { return makeFieldList(displayLayout(), QString::fromLatin1(name)); };
    auto *group = new QGroupBox(QStringLiteral(" Индикация "), this);
    auto *grid = new QGridLayout(group);
    addFormRow(grid, 0, QStringLiteral("Тип индикации"), list("ComboBoxIndType"));
    addFormRow(grid, 1, QStringLiteral("Период дин. инд, с"), list("ComboBoxIndPeriod"));

    auto *bar = new QGroupBox(QStringLiteral(" Настройка барграфа "), group);
    auto *barGrid = new QGridLayout(bar);
    addFormRow(barGrid, 0, QStringLiteral("Вкл/Выкл"), list("ComboBoxIndVkl"));
    addFormRow(barGrid, 1, QStringLiteral("Яркость красный"), list("ComboBoxIndLightR"));
    addFormRow(barGrid, 2, QStringLiteral("Яркость зеленый"), list("ComboBoxIndLightG"));
    addFormRow(barGrid, 3, QStringLiteral("Яркость синий"), list("ComboBoxIndLightB"));
    grid->addWidget(bar, 2, 0, 1, 2);

    const auto buttons = makeReadWriteButtons(
        m_ctx, QStringLiteral("ButtonReadNastrInd"), QStringLiteral("ButtonWriteNastrInd"),
        [this] { ButtonReadNastrIndClick(); }, [this] { ButtonWriteNastrIndClick(); });
    grid->addLayout(buttons.row(RowAlign::Right), 3, 0, 1, 2);
    return group;
}

QWidget *DisplayPage::buildChannelGroup()
{
    auto *group = new QGroupBox(this);
    auto *grid = new QGridLayout(group);
    // Items 0..3 are relabelled by the bulk read (" -нет" for a missing module).
    addFormRow(grid, 0, QStringLiteral("Выбор канала"),
               makeFieldList(displayLayout(), QStringLiteral("ComboBoxIndCan")));
    addFormRow(grid, 1, QStringLiteral("Звук"),
               makeFieldList(displayLayout(), QStringLiteral("ComboBoxIndBarZum")));
    const auto buttons = makeReadWriteButtons(
        m_ctx, QStringLiteral("ButtonReadNastrIndStat"), QStringLiteral("ButtonWriteNastrIndStat"),
        [this] { ButtonReadNastrIndStatClick(); }, [this] { ButtonWriteNastrIndStatClick(); });
    grid->addLayout(buttons.row(RowAlign::Right), 2, 0, 1, 2);
    return group;
}

void DisplayPage::ButtonWriteNastrIndStatClick()
{
    // Registers 740..743 go back with the device's own values so the write
    // never overwrites them: those of the last bulk read of this recorder,
    // or, before any (or after one of another recorder), those the device
    // reports now.
    const ConfigGroup &group = configGroup(GroupFamily::DisplayChannel);
    QByteArray base;
    if (m_ctx.image.isOf(recorderOf(m_ctx.link))) {
        base = m_ctx.image.record(*group.layout, 1);
    } else {
        const quint16 first = quint16(group.recordFirstRegister() + kHiddenBytes.begin / 2);
        const quint16 count = quint16((kHiddenBytes.end - kHiddenBytes.begin) / 2);
        const std::optional<QByteArray> hidden =
            readBlock(m_ctx.modbus, false, {{first, count}}, kHiddenWaitMs);
        if (!hidden) {
            m_ctx.boxes.error(noLinkText(m_ctx.modbus));
            return;
        }
        base = QByteArray(group.layout->recordSize, '\0');
        base.replace(kHiddenBytes.begin, hidden->size(), *hidden);
    }
    writeGroupFromPage(m_ctx, group, base);
}

void DisplayPage::relabelChannels(const ChannelPresence &presence)
{
    for (int n = 1; n <= 4; ++n)
        m_ctx.controls.setItemText(QStringLiteral("ComboBoxIndCan"), n - 1,
                                   channelName(n, presence.absent[n - 1]));
}

} // namespace vexs
