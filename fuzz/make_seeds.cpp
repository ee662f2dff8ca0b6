// Writes the fuzz targets' seed inputs, full-length frames and records as the
// simulated recorder serves them, into OUTDIR/<target>/:
//
//   make_fuzz_seeds fuzz/seeds
//
// The live record is frozen at a fixed clock, so the files come out the same
// on every run.
#include "link/modbus.h"
#include "settings/record_layout.h"
#include "sim/modbus_slave.h"
#include "sim/recorder_model.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdio>

using namespace vexs;

namespace {

QDir g_root;

void seed(const char *target, const QString &name, const QByteArray &bytes)
{
    g_root.mkpath(QString::fromLatin1(target));
    QFile file(g_root.filePath(QString::fromLatin1(target) + u'/' + name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

QByteArray withoutCrc(QByteArray frame)
{
    frame.chop(2);
    return frame;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTDIR\n");
        return 2;
    }
    g_root = QDir(QString::fromLocal8Bit(argv[1]));

    RecorderModel model;
    model.setClock(QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26), Qt::UTC));
    model.freezeLiveRecord();
    ModbusSlave slave(model, 1);
    auto serve = [&](const QByteArray &request) { return slave.process(request); };
    const QByteArray liveRequest = frames::readRequest(1, FunctionReadInput, 0, 48);
    const QByteArray identRequest = frames::readRequest(1, FunctionReadHolding, 10012, 11);
    const QByteArray coeffRequest = frames::readRequest(1, FunctionReadHolding, 11001, 10);
    const QByteArray settingsRequest = frames::readRequest(1, FunctionReadHolding, 0, 125);
    const QByteArray writeRequest =
        frames::writeRequest(1, 728, 8, model.holdingBytes(728, 8));
    const QByteArray live = serve(liveRequest);
    const QByteArray identReply = serve(identRequest);
    const QByteArray image = model.settingsArea();

    // Octet 0: register count, bit 7 for "put a good CRC on it".
    seed("fuzz_reply_check", "live", char(48) + live);
    seed("fuzz_reply_check", "identification", char(11) + identReply);
    seed("fuzz_reply_check", "coefficients", char(10) + serve(coeffRequest));
    seed("fuzz_reply_check", "settings_chunk", char(125) + serve(settingsRequest));
    seed("fuzz_reply_check", "write_echo", char(8) + serve(writeRequest));

    // Octet 0 picks the block and item; the rest is the whole image.
    int items = 0;
    for (const BlockLayout *block : settingsBlocks())
        items += block->recordCount;
    for (int i = 0; i < items; ++i)
        seed("fuzz_blocks", QStringLiteral("image_item%1").arg(i, 2, 10, QChar(u'0')), char(i) + image);

    seed("fuzz_live_record", "record", model.liveRecord());
    seed("fuzz_live_record", "reply", live);
    model.setModuleMissing(2, true);
    seed("fuzz_live_record", "module_missing", model.liveRecord());
    const QByteArray liveMissing = model.liveRecord();
    model.setModuleMissing(2, false);

    seed("fuzz_identification", "block", model.identification());

    const QByteArray windowsIni("; \xCA\xEE\xED\xF4\xE8\xE3\xF3\xF0\xE0\xF6\xE8\xFF\r\n[Vexs]\r\n"
                                "UpDownAdr=0x10\r\nUpDownComPort=2\r\nComboBoxBaud=4\r\n"
                                "EditIP=192.168.011.002\r\nEditIPPort=\"5000\"\r\n\r\n"
                                "[Ports]\r\nCOM1=/dev/ttyUSB0\r\nCOM3=/dev/ttyACM0\r\n");
    const QByteArray unixIni("\xEF\xBB\xBF[Ports]\nCOM2=/dev/ttyS9\n\n[vexs]\n UpDownAdr = $1F \n"
                             "EditIP=gateway.local\n; end");
    for (int pick = 0; pick < 5; ++pick) {
        seed("fuzz_ini", QStringLiteral("windows_key%1").arg(pick), char(pick) + windowsIni);
        seed("fuzz_ini", QStringLiteral("unix_key%1").arg(pick), char(pick + 5 * 3) + unixIni);
    }

    // The frames without their CRCs (the target adds them), arriving in
    // pieces of 7; then the same with CRCs, as they are, in pieces of 64.
    const QList<QByteArray> requests = {
        liveRequest, identRequest, coeffRequest, settingsRequest, writeRequest,
        frames::writeRequest(1, 10001, 3, QByteArray("\x01\x02\x00\x00\x80\x3F", 6)),
        frames::writeRequest(1, 10006, 3, QByteArray("\x1A\x09\x0F\x0E\x03\x1A", 6)),
        frames::readRequest(2, FunctionReadHolding, 0, 4), frames::readRequest(1, 0x2B, 0, 1)};
    QByteArray bare, whole;
    for (const QByteArray &r : requests) {
        bare += withoutCrc(r);
        whole += r;
    }
    seed("fuzz_sim_requests", "requests", char(6) + bare);
    seed("fuzz_sim_requests", "requests_as_sent", char(0x80 | 63) + whole);

    seed("fuzz_window", "image_live_identification",
         image + liveMissing + model.identification());
    std::printf("seeds written to %s\n", qPrintable(g_root.absolutePath()));
    return 0;
}
