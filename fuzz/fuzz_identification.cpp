// The identification block: any 22 data octets, framed as the reply of an
// 11-register read, are decoded and shown; a block that can be written again
// must encode to the octets it came from.
#include "fuzz/fuzz_check.h"
#include "link/modbus.h"
#include "settings/identification.h"
#include "settings/value_controls.h"

using namespace vexs;
using vexs::fuzz::check;

namespace {

// As the window's page holds them: a kit byte past its list shows none.
ValueControls &pageControls()
{
    static ValueControls controls(ValueControls::Holding::AsTheWindow);
    return controls;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *raw, size_t size)
{
    const QByteArray data =
        vexs::fuzz::fitted(vexs::fuzz::bytesOf(raw, size), 2 * ident::kRegisterCount);
    QByteArray reply;
    reply.append(char(1)).append(char(FunctionReadHolding)).append(char(data.size()));
    reply.append(data);
    frames::appendCrc(reply);
    const std::optional<Identification> block = decodeIdentificationReply(reply, 2026);
    check(block.has_value());
    showIdentificationBody(pageControls(), *block);
    if (block->date.notDigit)
        notDigitText(*block->date.notDigit);

    std::array<int, ident::kKitOptions> kit{};
    for (int i = 0; i < ident::kKitOptions; ++i)
        kit[i] = block->kitOptions[i];
    if (const auto written = encodeIdentification(block->date.date, block->serial, kit))
        check(*written == data.left(ident::kWriteBytes));
    return 0;
}
