#include "settings/image_fill.h"

#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "ui/controls.h"

namespace vexs {

namespace {

constexpr int kLiveDataSize = 96; // input registers 0..47

bool switchedOn(const SettingsImage &image, const BlockLayout &block, int item)
{
    // Byte 0 of measurement and math records is the channel's on switch.
    return image.record(block, item).at(0) != 0;
}

} // namespace

void FillPagesFromImage(IControls &controls, const SettingsImage &image)
{
    for (const BlockLayout *block : settingsBlocks()) {
        for (int item = 1; item <= block->recordCount; ++item)
            decodeRecord(controls, *block, item, image.record(*block, item));
    }
}

std::array<bool, 4> absentChannels(const std::optional<QByteArray> &liveData)
{
    std::array<bool, 4> absent{};
    if (!liveData || liveData->size() != kLiveDataSize)
        return absent;
    for (int n = 1; n <= 4; ++n)
        absent[n - 1] = static_cast<quint8>(liveData->at(9 + 14 * (n - 1))) == 0xFF;
    return absent;
}

ChannelPresence channelPresence(const std::array<bool, 4> &absent, const SettingsImage &image)
{
    ChannelPresence presence;
    presence.absent = absent;
    for (int n = 1; n <= 4; ++n) {
        presence.measurementOn[n - 1] = switchedOn(image, measurementChannelLayout(), n);
        presence.mathOn[n - 1] = switchedOn(image, mathChannelLayout(), n);
    }
    return presence;
}

} // namespace vexs
