// Feeds arbitrary bytes to everything that parses data from outside the
// program: the reply validation of the three request operations, and the
// decoders that turn reply data into what the pages show.
#include "link/modbus.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

namespace {

struct FixedReply : vexs::IExchange
{
    QByteArray reply;
    QByteArray exchange(int, const QByteArray &) override { return reply; }
};

struct Settings : vexs::ILinkSettings
{
    quint8 slaveAddress() const override { return 1; }
    int interfaceIndex() const override { return 0; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return 4; }
};

void checkReply(const QByteArray &reply, int expectedLength)
{
    // A reply string is the failure marker or a frame of exactly the length asked for.
    if (reply.size() != 1 && reply.size() != expectedLength)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    FixedReply exchange;
    Settings settings;
    vexs::ModbusMaster master(exchange, settings);
    const quint16 count = quint16(data[0] % 64);
    exchange.reply = QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    checkReply(master.ReadHoldingRegisters(0, count, 0), 2 * count + 5);
    checkReply(master.ReadInputRegisters(0, count, 0), 2 * count + 5);
    checkReply(master.WriteMultipleRegisters(0, count, QByteArray(2 * count, '\0'), 0), 8);
    return 0;
}
