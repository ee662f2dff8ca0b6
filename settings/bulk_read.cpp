#include "settings/bulk_read.h"

#include "link/modbus.h"
#include "link/pumping_delay.h"
#include "settings/identification.h"
#include "settings/image_fill.h"
#include "settings/settings_image.h"
#include "ui/controls.h"
#include "ui/page_context.h"
#include "ui/texts.h"

#include <QDate>

namespace vexs {

namespace {

constexpr int kDataStart = 3;

const QString kTree = QStringLiteral("TreeView1");
const QString kPanel = QStringLiteral("PanelInfo");
const QString kLabel = QStringLiteral("LabelInfo");

// Copies the data of a read reply of `count` registers; false when the reply
// has any other length (a failed exchange included).
bool takeBlock(const QByteArray &reply, int count, QByteArray &area, int offset)
{
    if (reply.size() != 2 * count + 5)
        return false;
    area.replace(offset, 2 * count, reply.mid(kDataStart, 2 * count));
    return true;
}

} // namespace

std::optional<QByteArray> readSettingsArea(ModbusMaster &modbus)
{
    QByteArray area(SettingsImage::Size, '\0');
    for (int b = 0; b < bulk::kBlocks; ++b) {
        const auto first = static_cast<quint16>(b * bulk::kBlockRegisters);
        const QByteArray reply =
            modbus.ReadHoldingRegisters(first, bulk::kBlockRegisters, bulk::kBlockWaitMs);
        if (!takeBlock(reply, bulk::kBlockRegisters, area, 2 * first))
            return std::nullopt;
    }
    const QByteArray reply =
        modbus.ReadHoldingRegisters(bulk::kLastBlockFirst, bulk::kLastBlockCount, bulk::kLastBlockWaitMs);
    if (!takeBlock(reply, bulk::kLastBlockCount, area, 2 * bulk::kLastBlockFirst))
        return std::nullopt;
    return area;
}

void Button11Click(PageContext &ctx, const std::function<void()> &selectRootPage)
{
    IControls &controls = ctx.controls;

    selectRootPage();
    controls.setShown(kTree, false);
    controls.setShown(kPanel, true);
    controls.setText(kLabel, QStringLiteral("Идет чтение настроек..."));

    // Nothing of what arrives is shown before the whole area is in: the
    // identification page and the settings pages change together or not at all.
    const std::optional<Identification> identification = decodeIdentificationReply(
        ctx.modbus.ReadHoldingRegisters(ident::kFirstRegister, ident::kRegisterCount, bulk::kIdentWaitMs),
        QDate::currentDate().year());
    std::optional<QByteArray> area;
    if (identification)
        area = readSettingsArea(ctx.modbus);

    const bool complete = area.has_value();
    if (complete) {
        ctx.image.replaceAll(*area);
        // An impossible date or a byte that is not a digit keeps the date shown.
        if (identification->date.date.isValid())
            controls.setDate(QString::fromLatin1(ident::DateEdit), identification->date.date);
        showIdentificationBody(controls, *identification);
        controls.setText(kLabel, QStringLiteral("Настройки успешно считаны"));
        PumpingDelay(bulk::kShowResultMs);
        controls.setShown(kPanel, false);
        controls.setShown(kTree, true);
        FillPagesFromImage(controls, ctx.image);
    } else {
        controls.setText(kLabel, kNoLink);
    }

    // The module status is asked for in every case; without an answer every
    // channel counts as installed.
    const QByteArray live = ctx.modbus.ReadInputRegisters(0, bulk::kLiveRegisters, bulk::kLiveWaitMs);
    refreshChannelLabels(controls, absentChannels(live), ctx.image);
    // No second fill: after a complete read the pages were filled above (and
    // relabelling keeps every selection), after a failure they keep what they
    // had. A refill here would also undo edits made during the status read.
}

} // namespace vexs
