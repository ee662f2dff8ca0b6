#include "settings/block_io.h"

#include "link/modbus.h"
#include "settings/config_transfer.h"
#include "settings/settings_image.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/texts.h"

namespace vexs {

std::optional<QByteArray> readBlock(ModbusMaster &modbus, bool inputRegisters,
                                    const QList<RegisterSpan> &spans, int waitMs,
                                    const BlockProgress &progress)
{
    QByteArray data;
    for (int k = 0; k < spans.size(); ++k) {
        const RegisterSpan &span = spans[k];
        const QByteArray reply = inputRegisters
                                     ? modbus.ReadInputRegisters(span.first, span.count, waitMs)
                                     : modbus.ReadHoldingRegisters(span.first, span.count, waitMs);
        const std::optional<ReadReply> view = ReadReply::of(reply, span.count);
        if (!view)
            return std::nullopt;
        data += view->data();
        if (progress && !progress(k + 1, int(spans.size())) && k + 1 < spans.size())
            return std::nullopt;
    }
    return data;
}

bool writeBlock(ModbusMaster &modbus, const QList<RegisterSpan> &spans, const QByteArray &data,
                int waitMs, WriteStop *stop)
{
    WriteStop ignored;
    WriteStop &s = stop ? *stop : ignored;
    s = WriteStop();
    qsizetype at = 0;
    for (const RegisterSpan &span : spans) {
        const QByteArray reply =
            modbus.WriteMultipleRegisters(span.first, span.count, data.mid(at, 2 * span.count), waitMs);
        if (!isWriteAcknowledged(reply)) {
            s.outcome = modbus.lastOutcome();
            return false;
        }
        ++s.acknowledged;
        at += 2 * span.count;
    }
    return true;
}

bool sendCommand(ModbusMaster &modbus, quint16 first, quint16 count, const QByteArray &data,
                 int waitMs)
{
    return isWriteAcknowledged(modbus.WriteCommand(first, count, data, waitMs));
}

namespace {

int recordOffsetOf(const ConfigGroup &group, const RegisterSpan &span)
{
    return 2 * (span.first - group.recordFirstRegister());
}

} // namespace

std::optional<QByteArray> readGroup(ModbusMaster &modbus, const ConfigGroup &group)
{
    const std::optional<QByteArray> data =
        readBlock(modbus, false, group.readSpans, group.readWaitMs);
    if (!data)
        return std::nullopt;
    QByteArray record(group.layout->recordSize, '\0');
    const int at = recordOffsetOf(group, group.readSpans.first());
    record.replace(at, qMin<qsizetype>(data->size(), record.size() - at), *data);
    return record;
}

bool writeGroup(ModbusMaster &modbus, const ConfigGroup &group, const QByteArray &record,
                WriteStop *stop)
{
    const int at = recordOffsetOf(group, group.writeSpans.first());
    return writeBlock(modbus, group.writeSpans, record.mid(at), group.writeWaitMs, stop);
}

void readGroupIntoPage(PageContext &ctx, const ConfigGroup &group)
{
    const std::optional<QByteArray> record = readGroup(ctx.modbus, group);
    if (!record) {
        ctx.boxes.error(noLinkText(ctx.modbus));
        return;
    }
    decodeRecord(ctx.controls, *group.layout, group.item, *record, group.bytes);
    // A part of a record is zeros elsewhere: only a whole one tells.
    if (!group.bytes)
        ctx.recordRead(*group.layout, group.item, *record);
    ctx.boxes.info(kDone);
}

void writeGroupFromPage(PageContext &ctx, const ConfigGroup &group, const QByteArray &base)
{
    const EncodeResult encoded = encodeRecord(ctx.controls, *group.layout, group.item,
                                              group.messagePrefix, base, group.bytes);
    if (!encoded.ok()) {
        ctx.boxes.error(encoded.error);
        return;
    }
    // Cloning settings on purpose stays possible; by mistake it is asked.
    const QString question = ctx.image.pagesOrigin().otherAddressQuestion(ctx.link);
    if (!question.isEmpty() && !ctx.boxes.confirm(question))
        return;
    if (!journalReady(ctx))
        return;
    const bool written = writeGroup(ctx.modbus, group, encoded.bytes);

    // The journal's before is the device's value as last read or written,
    // when the pages are of the recorder written to.
    const ByteRange part = group.bytes.value_or(ByteRange{0, group.layout->recordSize});
    const int at = group.layout->recordOffset(group.item) + part.begin;
    const QByteArray bytes = encoded.bytes.mid(part.begin, part.end - part.begin);
    const bool known = ctx.image.isOf(recorderOf(ctx.link));
    const QByteArray before = ctx.image.known();
    QByteArray after = before;
    after.replace(at, bytes.size(), bytes);
    const QList<JournalChange> changes = groupChanges(group, known ? &before : nullptr, after);
    if (written && known)
        ctx.image.noteWritten(at, bytes);
    if (written)
        ctx.boxes.info(kDone);
    else
        ctx.boxes.error(noLinkText(ctx.modbus));
    journalWrite(ctx, group.title, changes, written, journalOutcome(ctx.modbus, written));
}

} // namespace vexs
