#include "settings/display_page.h"

#include "settings/block_io.h"
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
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

namespace vexs {

namespace {

// Registers 740..743 (block bytes 8..15) have no control on the page.
constexpr ByteRange kHiddenBytes{8, 16};
constexpr int kHiddenWaitMs = 500;

QStringList brightness()
{
    return listItems(displayLayout(), QStringLiteral("ComboBoxIndLightR"));
}

} // namespace

DisplayPage::DisplayPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
    m_ctx.channelLabels.append(this);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(buildModeGroup(), 0, Qt::AlignLeft);
    column->addWidget(buildChannelGroup(), 0, Qt::AlignLeft);
    column->addStretch(1);
}

QWidget *DisplayPage::buildModeGroup()
{
    auto *group = new QGroupBox(QStringLiteral(" Индикация "), this);
    auto *grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Тип индикации"), group), 0, 0);
    grid->addWidget(makePickList(QStringLiteral("ComboBoxIndType"),
                                 listItems(displayLayout(), QStringLiteral("ComboBoxIndType")), group),
                    0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Период дин. инд, с"), group), 1, 0);
    grid->addWidget(makePickList(QStringLiteral("ComboBoxIndPeriod"),
                                 listItems(displayLayout(), QStringLiteral("ComboBoxIndPeriod")), group),
                    1, 1);

    auto *bar = new QGroupBox(QStringLiteral(" Настройка барграфа "), group);
    auto *barGrid = new QGridLayout(bar);
    barGrid->addWidget(new QLabel(QStringLiteral("Вкл/Выкл"), bar), 0, 0);
    barGrid->addWidget(makePickList(QStringLiteral("ComboBoxIndVkl"), offOnItems(), bar), 0, 1);
    barGrid->addWidget(new QLabel(QStringLiteral("Яркость красный"), bar), 1, 0);
    barGrid->addWidget(makePickList(QStringLiteral("ComboBoxIndLightR"), brightness(), bar), 1, 1);
    barGrid->addWidget(new QLabel(QStringLiteral("Яркость зеленый"), bar), 2, 0);
    barGrid->addWidget(makePickList(QStringLiteral("ComboBoxIndLightG"), brightness(), bar), 2, 1);
    barGrid->addWidget(new QLabel(QStringLiteral("Яркость синий"), bar), 3, 0);
    barGrid->addWidget(makePickList(QStringLiteral("ComboBoxIndLightB"), brightness(), bar), 3, 1);
    grid->addWidget(bar, 2, 0, 1, 2);

    auto *read = makeButton(QStringLiteral("ButtonReadNastrInd"), QStringLiteral("Считать"), group);
    auto *write =
        makeButton(QStringLiteral("ButtonWriteNastrInd"), QStringLiteral("Записать"), group);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(read);
    buttons->addWidget(write);
    grid->addLayout(buttons, 3, 0, 1, 2);

    connectRequest(read, m_ctx, [this] { ButtonReadNastrIndClick(); });
    connectRequest(write, m_ctx, [this] { ButtonWriteNastrIndClick(); });
    return group;
}

QWidget *DisplayPage::buildChannelGroup()
{
    auto *group = new QGroupBox(this);
    auto *grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Выбор канала"), group), 0, 0);
    // Items 0..3 are relabelled by the bulk read (" -нет" for a missing module).
    grid->addWidget(makePickList(QStringLiteral("ComboBoxIndCan"),
                                 listItems(displayLayout(), QStringLiteral("ComboBoxIndCan")), group),
                    0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Звук"), group), 1, 0);
    grid->addWidget(makePickList(QStringLiteral("ComboBoxIndBarZum"), offOnItems(), group), 1, 1);

    auto *read =
        makeButton(QStringLiteral("ButtonReadNastrIndStat"), QStringLiteral("Считать"), group);
    auto *write =
        makeButton(QStringLiteral("ButtonWriteNastrIndStat"), QStringLiteral("Записать"), group);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(read);
    buttons->addWidget(write);
    grid->addLayout(buttons, 2, 0, 1, 2);

    connectRequest(read, m_ctx, [this] { ButtonReadNastrIndStatClick(); });
    connectRequest(write, m_ctx, [this] { ButtonWriteNastrIndStatClick(); });
    return group;
}

void DisplayPage::ButtonReadNastrIndClick()
{
    readGroupIntoPage(m_ctx, configGroup(GroupFamily::DisplayMode));
}

void DisplayPage::ButtonWriteNastrIndClick()
{
    writeGroupFromPage(m_ctx, configGroup(GroupFamily::DisplayMode));
}

void DisplayPage::ButtonReadNastrIndStatClick()
{
    readGroupIntoPage(m_ctx, configGroup(GroupFamily::DisplayChannel));
}

void DisplayPage::ButtonWriteNastrIndStatClick()
{
    // Registers 740..743 go back with the device's own values so the write
    // never overwrites them: those of the last bulk read, or, before any,
    // those the device reports now.
    const ConfigGroup &group = configGroup(GroupFamily::DisplayChannel);
    QByteArray base;
    if (m_ctx.image.isLoaded()) {
        base = m_ctx.image.record(*group.layout, 1);
    } else {
        const quint16 first = quint16(group.recordFirstRegister() + kHiddenBytes.begin / 2);
        const quint16 count = quint16((kHiddenBytes.end - kHiddenBytes.begin) / 2);
        const std::optional<QByteArray> hidden =
            readBlock(m_ctx.modbus, false, {{first, count}}, kHiddenWaitMs);
        if (!hidden) {
            m_ctx.boxes.error(kNoLink);
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
