// Reply validation of the three request operations, as the program makes
// them through the exchange, and what is made of a read reply that passed:
// the module presence of a live read and coefficients shown as text.
//
// Octet 0: the register count (bits 0..6, 0 read as 1) and, in bit 7,
// whether the target puts a good CRC on the reply so the checks past it are
// reached. The rest is what the transport brings back.
#include "fuzz/fuzz_check.h"
#include "link/exchange.h"
#include "link/link_activity.h"
#include "link/modbus.h"
#include "link/transport.h"
#include "settings/encodings.h"
#include "settings/image_fill.h"

#include <cmath>

using namespace vexs;
using vexs::fuzz::check;

namespace {

struct Link : ILinkSettings
{
    quint8 slaveAddress() const override { return 1; }
    int interfaceIndex() const override { return 1; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return 4; }
};

struct Canned : ITransport
{
    QByteArray reply;
    QByteArray exchange(int, const QByteArray &, const FastEnd *) override { return reply; }
};

void checkReply(const QByteArray &reply, int expectedLength)
{
    check(isFailureReply(reply) || reply.size() == expectedLength);
}

void coefficients(const QByteArray &data)
{
    for (int at = 0; at + 4 <= data.size(); at += 4) {
        const float value = readFloat(data, at);
        const QString text = formatGeneral(value);
        const std::optional<double> back = parseNumber(text);
        if (!std::isfinite(value)) {
            check(!back);
            continue;
        }
        check(back.has_value());
        check(std::fabs(*back - double(value)) <= 1e-14 * std::fabs(double(value)));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    vexs::fuzz::useRussianNumbers();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *raw, size_t size)
{
    if (size < 1)
        return 0;
    const quint16 count = quint16(std::max(1, raw[0] & 0x7F));
    QByteArray reply = vexs::fuzz::bytesOf(raw + 1, size - 1);
    if ((raw[0] & 0x80) && reply.size() >= 2) {
        reply.chop(2);
        frames::appendCrc(reply);
    }
    Link link;
    Canned serial, tcp;
    tcp.reply = reply;
    LinkActivity activity;
    Exchange exchange(link, serial, tcp, activity);
    ModbusMaster master(exchange, link);

    const QByteArray holding = master.ReadHoldingRegisters(0, count, 0);
    checkReply(holding, 2 * count + 5);
    checkReply(master.ReadInputRegisters(0, count, 0), 2 * count + 5);
    checkReply(master.WriteMultipleRegisters(0, count, QByteArray(2 * count, '\0'), 0), 8);
    if (const auto view = ReadReply::of(holding, count)) {
        check(view->data().size() == 2 * count);
        coefficients(view->data());
        absentChannels(view->data());
    }
    return 0;
}
