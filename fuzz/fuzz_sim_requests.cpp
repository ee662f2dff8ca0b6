// The simulator's side of the line: a byte stream is cut into request frames
// as it arrives in pieces, and every frame is answered from the register
// model. Every reply must be a whole frame for the same slave.
//
// The input is a list of frames, each octet run ended by a correct CRC so
// that the parser is reached past its CRC check; octet 0 sets the size of
// the pieces the stream arrives in, and in bit 7 that the frames go out as
// they are, without CRCs added.
#include "fuzz/fuzz_check.h"
#include "link/modbus.h"
#include "sim/modbus_slave.h"
#include "sim/recorder_model.h"

using namespace vexs;
using vexs::fuzz::check;

namespace {

void checkReply(const QByteArray &request, const QByteArray &reply)
{
    if (reply.isEmpty())
        return;
    check(frames::crcMatches(reply));
    check(reply.size() >= 5 && reply[0] == request[0]);
    const quint8 function = quint8(reply[1]);
    if (function & 0x80) {
        check(reply.size() == 5 && function == (quint8(request[1]) | 0x80));
    } else if (function == FunctionReadHolding || function == FunctionReadInput) {
        const int count = (quint8(request[4]) << 8) | quint8(request[5]);
        check(reply.size() == 5 + 2 * count && quint8(reply[2]) == 2 * count);
    } else {
        check(function == FunctionWriteMultiple && reply == [&] {
            QByteArray echo = request.left(6);
            frames::appendCrc(echo);
            return echo;
        }());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *raw, size_t size)
{
    static RecorderModel model;
    if (size < 1)
        return 0;
    const int piece = 1 + (raw[0] & 0x3F);
    const bool addCrcs = !(raw[0] & 0x80);
    const QByteArray body = vexs::fuzz::bytesOf(raw + 1, size - 1);

    // Frames as the request lengths say, each closed with its CRC.
    QByteArray stream;
    if (addCrcs) {
        qsizetype at = 0;
        while (at < body.size()) {
            const int length = std::max(4, rtuRequestLength(body.mid(at, 7)));
            QByteArray frame = body.mid(at, length - 2);
            at += length - 2;
            frames::appendCrc(frame);
            stream += frame;
        }
    } else {
        stream = body;
    }

    // Reads leave the model as it was; only after a write is it put back,
    // so that every input meets the factory contents.
    static bool written = false;
    if (written)
        model.reset();
    written = false;
    ModbusSlave slave(model, 1);
    RtuFrameAssembler assembler;
    qint64 now = 0;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        // Every eighth piece comes after a silence longer than the frame gap.
        now += (at / piece) % 8 == 7 ? 50 : 1;
        for (const QByteArray &frame : assembler.feed(stream.mid(at, piece), now)) {
            written = written || quint8(frame[1]) == FunctionWriteMultiple;
            checkReply(frame, slave.process(frame));
        }
    }
    check(assembler.pending() < 9 + 255);
    return 0;
}
