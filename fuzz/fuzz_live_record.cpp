// The live-data record as the measurement page and the bulk read see it:
// every input is made a full 96-octet record, so the decoder is reached past
// its size check; the input as a whole is also tried as a read reply.
#include "fuzz/fuzz_check.h"
#include "service/live_record.h"
#include "settings/image_fill.h"

using namespace vexs;
using vexs::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *raw, size_t size)
{
    const QByteArray data = vexs::fuzz::bytesOf(raw, size);
    const QByteArray record = vexs::fuzz::fitted(data, live::kRecordSize);
    const std::optional<LiveView> view = decodeLiveRecord(record);
    check(view.has_value());
    check(view->clock == liveClockText(record));
    absentChannels(record);
    if (const auto inner = liveRecordOfReply(data)) {
        check(inner->size() == live::kRecordSize);
        check(decodeLiveRecord(*inner).has_value());
    }
    return 0;
}
