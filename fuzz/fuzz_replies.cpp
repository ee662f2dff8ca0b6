// Feeds arbitrary bytes to everything that parses data from outside the
// program: the reply validation of the three request operations, the block
// decoders that put device records onto the pages, the identification and
// live-record decoders, the text conversions, and the configuration-file
// reader. The first byte picks the target.
#include "shell/ini_file.h"
#include "link/modbus.h"
#include "service/live_record.h"
#include "settings/encodings.h"
#include "settings/identification.h"
#include "settings/image_fill.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "shell/config_file.h"
#include "shell/form_main.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>

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

struct SilentBoxes : vexs::IMessageBoxes
{
    void error(const QString &) override {}
    void errorNoIcon(const QString &) override {}
    void info(const QString &) override {}
    void report(const QString &) override {}
    void shutdown() override {}
};

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void checkReply(const QByteArray &reply, int expectedLength)
{
    // A reply string is the failure marker or a frame of exactly the length asked for.
    check(reply.size() == 1 || reply.size() == expectedLength);
}

QApplication *g_app = nullptr;
vexs::TformMain *g_window = nullptr;
SilentBoxes g_boxes;
QString g_iniPath;

void replies(const QByteArray &data)
{
    if (data.isEmpty())
        return;
    FixedReply exchange;
    Settings settings;
    vexs::ModbusMaster master(exchange, settings);
    const quint16 count = quint16(quint8(data[0]) % 64);
    exchange.reply = data.mid(1);
    checkReply(master.ReadHoldingRegisters(0, count, 0), 2 * count + 5);
    checkReply(master.ReadInputRegisters(0, count, 0), 2 * count + 5);
    checkReply(master.WriteMultipleRegisters(0, count, QByteArray(2 * count, '\0'), 0), 8);
}

void pages(const QByteArray &data)
{
    QByteArray bytes = data.left(vexs::SettingsImage::Size);
    bytes.append(QByteArray(vexs::SettingsImage::Size - bytes.size(), '\0'));
    vexs::SettingsImage image;
    image.replaceAll(bytes);
    vexs::IControls &controls = g_window->context().controls;
    vexs::FillPagesFromImage(controls, image);
    for (const vexs::BlockLayout *block : vexs::settingsBlocks())
        for (int item = 1; item <= block->recordCount; ++item) {
            const vexs::EncodeResult r = vexs::encodeRecord(controls, *block, item, QString());
            check(!r.ok() || r.bytes.size() == block->recordSize);
        }
}

void identification(const QByteArray &data)
{
    if (const auto block = vexs::decodeIdentificationReply(data, 2026))
        vexs::showIdentificationBody(g_window->context().controls, *block);
    vexs::decodeIdentificationDate(data, 2026);
}

void live(const QByteArray &data)
{
    vexs::decodeLiveRecord(data);
    vexs::liveRecordOfReply(data);
    vexs::liveClockText(data.leftJustified(6, '\0'));
}

void texts(const QByteArray &data)
{
    const QString text = QString::fromUtf8(data);
    if (const auto value = vexs::parseReal(text))
        check(vexs::parseReal(vexs::formatReal(*value)).has_value());
    if (data.size() >= 4)
        vexs::formatReal(vexs::readFloat(data, 0));
    vexs::decodeTextField(data, int(data.size()), 0x13);
    vexs::decodeTextField(data, int(data.size()), 0x00);
    const QString decoded = vexs::fromCp1251(data);
    check(vexs::toCp1251(decoded) == data);
    vexs::IniFile::parseInteger(text, 1);
}

void configuration(const QByteArray &data)
{
    QFile file(g_iniPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(data);
    file.close();
    vexs::IniFile ini(g_iniPath);
    const vexs::ConnectionSettings s = vexs::readConnectionSettings(ini);
    check(s.ip.size() <= 2047 && s.ipPort.size() <= 2047);
    ini.keys(QStringLiteral("Ports"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_app = new QApplication(*argc, *argv);
    g_iniPath = QDir::temp().filePath(QStringLiteral("vexs-fuzz-%1.ini").arg(getpid()));
    vexs::TformMain::Options options;
    options.configPath = QDir::temp().filePath(QStringLiteral("vexs-fuzz-window-%1.ini").arg(getpid()));
    options.boxes = &g_boxes;
    g_window = new vexs::TformMain(options);
    g_window->show();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *raw, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray data(reinterpret_cast<const char *>(raw + 1), qsizetype(size - 1));
    switch (raw[0] % 6) {
    case 0: replies(data); break;
    case 1: pages(data); break;
    case 2: identification(data); break;
    case 3: live(data); break;
    case 4: texts(data); break;
    case 5: configuration(data); break;
    }
    return 0;
}
