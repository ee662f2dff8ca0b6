// The slow one: a whole settings image and a live record put onto the real
// window's pages as a bulk read would, every record encoded back from the
// widgets, and the channels relabelled on every page.
//
// The input is the settings image (cut or padded to its size), then the 96
// octets of a live record and the 22 of the identification block.
#include "fuzz/fuzz_check.h"
#include "service/live_record.h"
#include "settings/identification.h"
#include "settings/image_fill.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "shell/form_main.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"

#include <QApplication>
#include <QDir>

using namespace vexs;
using vexs::fuzz::check;

namespace {

struct SilentBoxes : IMessageBoxes
{
    void error(const QString &) override {}
    void errorNoIcon(const QString &) override {}
    void info(const QString &) override {}
    void report(const QString &) override {}
    bool confirm(const QString &) override { return false; }
    void shutdown() override {}
};

TformMain *g_window = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    static SilentBoxes boxes;
    TformMain::Options options;
    options.configPath =
        QDir::temp().filePath(QStringLiteral("vexs-fuzz-window-%1.ini").arg(QCoreApplication::applicationPid()));
    options.boxes = &boxes;
    g_window = new TformMain(options);
    g_window->show();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *raw, size_t size)
{
    const QByteArray data = vexs::fuzz::bytesOf(raw, size);
    SettingsImage image;
    image.replaceAll(vexs::fuzz::fitted(data, SettingsImage::Size));
    const QByteArray live = vexs::fuzz::fitted(data.mid(SettingsImage::Size), live::kRecordSize);
    const QByteArray ident = vexs::fuzz::fitted(
        data.mid(SettingsImage::Size + live::kRecordSize), 2 * ident::kRegisterCount);

    PageContext &ctx = g_window->context();
    showIdentificationBody(ctx.controls, decodeIdentification(ident, 2026));
    FillPagesFromImage(ctx.controls, image);
    ctx.relabelChannels(channelPresence(absentChannels(live), image));
    for (const BlockLayout *block : settingsBlocks())
        for (int item = 1; item <= block->recordCount; ++item) {
            const EncodeResult r = encodeRecord(ctx.controls, *block, item, QString());
            check(!r.ok() || r.bytes.size() == block->recordSize);
        }
    return 0;
}
