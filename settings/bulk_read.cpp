#include "settings/bulk_read.h"

#include "link/modbus.h"
#include "link/pumping_delay.h"
#include "link/tcp_client.h"
#include "settings/identification.h"
#include "settings/image_fill.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "ui/controls.h"
#include "ui/page_context.h"
#include "ui/texts.h"

#include <QDate>
#include <QDateTime>

namespace vexs {

namespace {

const QString kReading = QStringLiteral("Идет чтение настроек...");

} // namespace

std::optional<QByteArray> readSettingsArea(ModbusMaster &modbus, const BlockProgress &progress)
{
    QList<RegisterSpan> blocks;
    for (int b = 0; b < bulk::kBlocks; ++b)
        blocks.append({quint16(b * bulk::kBlockRegisters), quint16(bulk::kBlockRegisters)});
    // A stop asked during the last request of a batch comes too late for
    // the batch itself, but still stops the read: nothing more is asked,
    // and what came is not taken for a complete area.
    bool stop = false;
    const BlockProgress counted = progress ? BlockProgress([&](int done, int total) {
        stop = !progress(done, total);
        return !stop;
    })
                                           : BlockProgress();
    const std::optional<QByteArray> head = readBlock(modbus, false, blocks, bulk::kBlockWaitMs, counted);
    if (!head || stop)
        return std::nullopt;
    const BlockProgress last = progress ? BlockProgress([&](int, int) {
        stop = !progress(bulk::kBlocks + 1, bulk::kBlocks + 1);
        return !stop;
    })
                                        : BlockProgress();
    const std::optional<QByteArray> tail = readBlock(
        modbus, false, {{bulk::kLastBlockFirst, bulk::kLastBlockCount}}, bulk::kLastBlockWaitMs, last);
    if (!tail || stop)
        return std::nullopt;
    return *head + *tail;
}

void Button11Click(PageContext &ctx)
{
    IControls &controls = ctx.controls;
    IShellStatus &status = ctx.status;
    status.showInfo(kReading);
    ProgressScope progress(status, kReading, bulk::kRequests, true);
    bool stopped = false;
    int done = 0;
    auto step = [&] {
        stopped = stopped || !progress(++done);
        return !stopped;
    };

    std::optional<QByteArray> area;
    Identification identification;
    QByteArray identificationOctets;
    try {
        const std::optional<QByteArray> identData = readBlock(
            ctx.modbus, false, {{ident::kFirstRegister, ident::kRegisterCount}}, bulk::kIdentWaitMs);
        if (identData) {
            step();
            identificationOctets = *identData;
            identification = decodeIdentification(*identData, QDate::currentDate().year());
            // An impossible date or a byte that is not a digit keeps the date shown.
            if (identification.date.date.isValid())
                controls.setDate(QString::fromLatin1(ident::DateEdit), identification.date.date);
            showIdentificationBody(controls, identification);
        }
        if (identData && !stopped)
            area = readSettingsArea(ctx.modbus, [&](int, int) { return step(); });
    } catch (const ESocketError &) {
        // A lost gateway leaves the panel saying why, not that it is reading.
        status.showInfo(kNoLink);
        throw;
    }

    if (area) {
        ctx.image.replaceAll(*area, recorderOf(ctx.link));
        PagesOrigin origin = PagesOrigin::ofDevice(identification, ctx.link, QDateTime::currentDateTime());
        origin.identification = identificationOctets;
        ctx.image.setPagesOrigin(origin);
        status.showInfo(QStringLiteral("Настройки успешно считаны"));
        PumpingDelay(bulk::kShowResultMs);
        status.showNavigation();
        FillPagesFromImage(controls, ctx.image);
        for (const BlockLayout *block : settingsBlocks()) {
            for (int item = 1; item <= block->recordCount; ++item)
                ctx.recordRead(*block, item, ctx.image.record(*block, item));
        }
    } else {
        status.showInfo(stopped ? QStringLiteral("Чтение настроек прервано") : kNoLink);
    }

    // The module status is asked for in every case; without an answer every
    // channel counts as installed.
    // The same 48 registers as the live poll, with its wait on a slow line.
    const std::optional<QByteArray> live =
        readBlock(ctx.modbus, true, {{0, bulk::kLiveRegisters}},
                  readWaitMs(ctx.link, bulk::kLiveWaitMs, bulk::kLiveRegisters));
    ctx.relabelChannels(channelPresence(absentChannels(live), ctx.image));
    // No second fill: after a complete read the pages were filled above (and
    // relabelling keeps every selection), after a failure they keep what they
    // had. A refill here would also undo edits made during the status read.
}

} // namespace vexs
