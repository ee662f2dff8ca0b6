#include "service/output_test_group.h"

#include "service/calibration.h"
#include "settings/block_io.h"
#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>

#include <optional>

namespace vexs {

namespace {
const QString kChannelList = QStringLiteral("ComboBoxPointCan");
const QString kCurrentList = QStringLiteral("ComboBoxPointIout");
} // namespace

OutputTestGroup::OutputTestGroup(PageContext &context, QWidget *parent)
    : Page(context, parent)
{
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *group = makeGroup(QStringLiteral("GroupBox14"),
                            QStringLiteral(" Проверка выходных сигналов"), this);
    group->setMaximumWidth(360);
    outer->addWidget(group);
    outer->addStretch(1);
    auto *grid = new QGridLayout(group);

    QStringList channels;
    for (int n = 1; n <= calibration::kChannels; ++n)
        channels << QStringLiteral("Канал ") + QString::number(n);
    QComboBox *channel = makePickList(kChannelList, channels, group);
    QComboBox *current = makePickList(kCurrentList,
                                      {QStringLiteral("4 мА"), QStringLiteral("8 мА"),
                                       QStringLiteral("12 мА"), QStringLiteral("16 мА"),
                                       QStringLiteral("20 мА")},
                                      group);
    auto *set = makeButton(QStringLiteral("Button1"), QStringLiteral("Установить ток"), group);
    auto *end = makeButton(QStringLiteral("Button2"), QStringLiteral("Выход"), group);
    connectRequest(set, m_ctx, [this] { Button1Click(); });
    connectRequest(end, m_ctx, [this] { Button2Click(); });

    grid->addWidget(channel, 0, 0);
    grid->addWidget(current, 0, 1);
    grid->addWidget(set, 1, 0);
    grid->addWidget(end, 1, 1);
}

void OutputTestGroup::Button1Click()
{
    send(outputCurrentCommand(m_ctx.controls.itemIndex(kChannelList),
                              m_ctx.controls.itemIndex(kCurrentList)));
}

void OutputTestGroup::Button2Click()
{
    send(outputEndCommand(m_ctx.controls.itemIndex(kChannelList)));
}

void OutputTestGroup::send(const std::optional<QByteArray> &command)
{
    // A list without a selection would make a step code of its own (32 is
    // the thermometer calibration): send nothing then.
    if (!command) {
        m_ctx.boxes.error(QStringLiteral("Ошибка выполнения команды"));
        return;
    }
    if (!journalReady(m_ctx))
        return;
    const bool ok = sendCommand(m_ctx.modbus, calibration::kCommandRegister,
                                calibration::kCommandCount, *command, calibration::kCommandWaitMs);
    if (ok)
        m_ctx.boxes.info(kDone);
    else
        m_ctx.boxes.error(QStringLiteral("Ошибка выполнения команды"));
    const int channel = m_ctx.controls.itemIndex(kChannelList);
    const int current = m_ctx.controls.itemIndex(kCurrentList);
    QString what = QStringLiteral("Проверка выхода: ") + m_ctx.controls.itemText(kChannelList, channel);
    // The end command (step 38) sends no current.
    if (quint8(command->at(1)) != calibration::kOutputEndStep && current >= 0)
        what += QStringLiteral(", ") + m_ctx.controls.itemText(kCurrentList, current);
    else
        what += QStringLiteral(", выход из проверки");
    journalWrite(m_ctx, what, {}, ok, journalOutcome(m_ctx.modbus, ok));
}

} // namespace vexs
