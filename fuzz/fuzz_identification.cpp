// The identification block: any 22 data octets, framed as the reply of an
// 11-register read, are decoded and shown; a block that can be written again
// must encode to the octets it came from.
#include "fuzz/fuzz_check.h"
#include "link/modbus.h"
#include "settings/identification.h"
#include "tests/support/fake_controls.h"

using namespace vexs;
using vexs::fuzz::check;

namespace {

FakeControls &pageControls()
{
    static FakeControls fc = [] {
        FakeControls c;
        c.addDate(QString::fromLatin1(ident::DateEdit));
        c.addText(QString::fromLatin1(ident::SerialEdit));
        for (int i = 1; i <= ident::kKitOptions; ++i)
            c.addList(QString::fromLatin1(ident::KitList) + QString::number(i), 8);
        c.addText(QString::fromLatin1(ident::VerProc));
        c.addText(QString::fromLatin1(ident::VerInd));
        c.addText(QString::fromLatin1(ident::VerDac));
        return c;
    }();
    return fc;
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
