#include "settings/display_page.h"

#include "link/modbus.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "shell/ui/message_boxes.h"
#include "shell/ui/page_context.h"
#include "shell/ui/page_widgets.h"
#include "shell/ui/texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexs {

namespace {

constexpr int kWaitMs = 500;
constexpr int kReplyData = 3; // register data starts here in a reply string
constexpr int kWriteReplySize = 8;

// Registers 740..743 (block bytes 8..15) have no control on the page.
constexpr ByteRange kHiddenBytes{8, 16};

int readReplySize(int registers)
{
    return 2 * registers + 5;
}

QStringList brightness()
{
    return {QStringLiteral("100%"), QStringLiteral("80%"), QStringLiteral("60%"),
            QStringLiteral("40%")};
}

int firstRegisterOf(ByteRange range)
{
    return displayLayout().firstRegister(1) + range.begin / 2;
}

int registerCountOf(ByteRange range)
{
    return (range.end - range.begin) / 2;
}

} // namespace

DisplayPage::DisplayPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
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
                                 {QStringLiteral("Статическая"), QStringLiteral("Динамическая")},
                                 group),
                    0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Период дин. инд, с"), group), 1, 0);
    grid->addWidget(makePickList(QStringLiteral("ComboBoxIndPeriod"),
                                 {QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                                  QStringLiteral("5")},
                                 group),
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
                                 {QStringLiteral("Канал 1"), QStringLiteral("Канал 2"),
                                  QStringLiteral("Канал 3"), QStringLiteral("Канал 4"),
                                  QStringLiteral("Канал М1"), QStringLiteral("Канал М2"),
                                  QStringLiteral("Канал М3"), QStringLiteral("Канал М4")},
                                 group),
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
    // Register 739 comes along and is ignored: it belongs to the channel group.
    const BlockLayout &block = displayLayout();
    const int count = registerCountOf(kDisplayModeBytes) + 1;
    const QByteArray reply =
        m_ctx.modbus.ReadHoldingRegisters(firstRegisterOf(kDisplayModeBytes), count, kWaitMs);
    if (reply.size() != readReplySize(count)) {
        m_ctx.boxes.error(kNoLink);
        return;
    }
    decodeRecord(m_ctx.controls, block, 1, reply.mid(kReplyData, 2 * count), kDisplayModeBytes);
    m_ctx.boxes.info(kDone);
}

void DisplayPage::ButtonWriteNastrIndClick()
{
    const BlockLayout &block = displayLayout();
    const EncodeResult record = encodeRecord(m_ctx.controls, block, 1, QString(), QByteArray(),
                                             kDisplayModeBytes);
    if (!record.ok()) {
        m_ctx.boxes.error(record.error);
        return;
    }
    const ByteRange r = kDisplayModeBytes;
    const QByteArray reply = m_ctx.modbus.WriteMultipleRegisters(
        firstRegisterOf(r), registerCountOf(r), record.bytes.mid(r.begin, r.end - r.begin), kWaitMs);
    if (reply.size() == kWriteReplySize)
        m_ctx.boxes.info(kDone);
    else
        m_ctx.boxes.error(kNoLink);
}

void DisplayPage::ButtonReadNastrIndStatClick()
{
    const BlockLayout &block = displayLayout();
    const ByteRange r = kDisplayChannelBytes;
    const int count = registerCountOf(r);
    const QByteArray reply = m_ctx.modbus.ReadHoldingRegisters(firstRegisterOf(r), count, kWaitMs);
    if (reply.size() != readReplySize(count)) {
        m_ctx.boxes.error(kNoLink);
        return;
    }
    // Place the data at its block offsets; bytes 8..15 have no control.
    QByteArray record(block.recordSize, '\0');
    record.replace(r.begin, 2 * count, reply.mid(kReplyData, 2 * count));
    decodeRecord(m_ctx.controls, block, 1, record, r);
    m_ctx.boxes.info(kDone);
}

void DisplayPage::ButtonWriteNastrIndStatClick()
{
    const BlockLayout &block = displayLayout();
    const ByteRange r = kDisplayChannelBytes;

    // Registers 740..743 go back with the device's own values so the write
    // never overwrites them: those of the last bulk read, or, before any,
    // those the device reports now.
    QByteArray base;
    if (m_ctx.image.isLoaded()) {
        base = m_ctx.image.record(block, 1);
    } else {
        const int count = registerCountOf(kHiddenBytes);
        const QByteArray reply =
            m_ctx.modbus.ReadHoldingRegisters(firstRegisterOf(kHiddenBytes), count, kWaitMs);
        if (reply.size() != readReplySize(count)) {
            m_ctx.boxes.error(kNoLink);
            return;
        }
        base = QByteArray(block.recordSize, '\0');
        base.replace(kHiddenBytes.begin, 2 * count, reply.mid(kReplyData, 2 * count));
    }

    const EncodeResult record = encodeRecord(m_ctx.controls, block, 1, QString(), base, r);
    if (!record.ok()) {
        m_ctx.boxes.error(record.error);
        return;
    }
    const QByteArray reply = m_ctx.modbus.WriteMultipleRegisters(
        firstRegisterOf(r), registerCountOf(r), record.bytes.mid(r.begin, r.end - r.begin), kWaitMs);
    if (reply.size() == kWriteReplySize)
        m_ctx.boxes.info(kDone);
    else
        m_ctx.boxes.error(kNoLink);
}

} // namespace vexs
