#include "settings/display_page.h"

#include "link/modbus.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "ui/message_boxes.h"
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

// Reads `count` registers from the first of range and places their data at
// its block offsets in an otherwise zeroed record. Without an answer the
// message is shown and nothing is returned.
std::optional<QByteArray> readFrom(PageContext &ctx, ByteRange range, int count)
{
    const QByteArray reply = ctx.modbus.ReadHoldingRegisters(firstRegisterOf(range), count, kWaitMs);
    if (reply.size() != readReplySize(count)) {
        ctx.boxes.error(kNoLink);
        return std::nullopt;
    }
    QByteArray record(displayLayout().recordSize, '\0');
    record.replace(range.begin, 2 * count, reply.mid(kReplyData, 2 * count));
    return record;
}

// Writes the registers of range from the page's controls; the record's other
// bytes come from base.
void writeRange(PageContext &ctx, ByteRange range, const QByteArray &base)
{
    const EncodeResult record = encodeRecord(ctx.controls, displayLayout(), 1, QString(), base, range);
    if (!record.ok()) {
        ctx.boxes.error(record.error);
        return;
    }
    const QByteArray reply = ctx.modbus.WriteMultipleRegisters(
        firstRegisterOf(range), registerCountOf(range),
        record.bytes.mid(range.begin, range.end - range.begin), kWaitMs);
    if (reply.size() == kWriteReplySize)
        ctx.boxes.info(kDone);
    else
        ctx.boxes.error(kNoLink);
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
    const ByteRange r = kDisplayModeBytes;
    if (const auto record = readFrom(m_ctx, r, registerCountOf(r) + 1)) {
        decodeRecord(m_ctx.controls, displayLayout(), 1, *record, r);
        m_ctx.boxes.info(kDone);
    }
}

void DisplayPage::ButtonWriteNastrIndClick()
{
    writeRange(m_ctx, kDisplayModeBytes, QByteArray());
}

void DisplayPage::ButtonReadNastrIndStatClick()
{
    // Bytes 8..15 have no control.
    const ByteRange r = kDisplayChannelBytes;
    if (const auto record = readFrom(m_ctx, r, registerCountOf(r))) {
        decodeRecord(m_ctx.controls, displayLayout(), 1, *record, r);
        m_ctx.boxes.info(kDone);
    }
}

void DisplayPage::ButtonWriteNastrIndStatClick()
{
    // Registers 740..743 go back with the device's own values so the write
    // never overwrites them: those of the last bulk read, or, before any,
    // those the device reports now.
    QByteArray base;
    if (m_ctx.image.isLoaded()) {
        base = m_ctx.image.record(displayLayout(), 1);
    } else {
        const auto hidden = readFrom(m_ctx, kHiddenBytes, registerCountOf(kHiddenBytes));
        if (!hidden)
            return;
        base = *hidden;
    }
    writeRange(m_ctx, kDisplayChannelBytes, base);
}

} // namespace vexs
