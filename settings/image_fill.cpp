#include "settings/image_fill.h"

#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "ui/controls.h"

namespace vexs {

namespace {

constexpr int kLiveDataReplySize = 101; // 48 registers: 3 + 96 + CRC
constexpr int kReplyDataStart = 3;

QString channelName(int n, bool absent)
{
    QString text = QStringLiteral("Канал ") + QString::number(n);
    if (absent)
        text += QStringLiteral(" -нет");
    return text;
}

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

std::array<bool, 4> absentChannels(const QByteArray &liveDataReply)
{
    std::array<bool, 4> absent{};
    if (liveDataReply.size() != kLiveDataReplySize)
        return absent;
    for (int n = 1; n <= 4; ++n) {
        const int at = kReplyDataStart + 9 + 14 * (n - 1);
        absent[n - 1] = static_cast<quint8>(liveDataReply.at(at)) == 0xFF;
    }
    return absent;
}

void refreshChannelLabels(IControls &controls, const std::array<bool, 4> &absent,
                          const SettingsImage &image)
{
    for (int n = 1; n <= 4; ++n) {
        const bool gone = absent[n - 1];
        const QString caption = QLatin1Char(' ') + channelName(n, gone);
        const QString item = channelName(n, gone);
        controls.setText(composedName(QStringLiteral("StaticTextCan"), n), caption);
        controls.setItemText(composedName(QStringLiteral("ComboBoxOutCan"), n), 0, item);
        controls.setItemText(QStringLiteral("ComboBoxRegCan"), n - 1, item);
        controls.setItemText(QStringLiteral("ComboBoxIndCan"), n - 1, item);
        controls.setText(composedName(QStringLiteral("StaticTextCanIzm"), n), caption);
        controls.setText(composedName(QStringLiteral("StaticTextOutCan"), n), caption);
        controls.setText(composedName(QStringLiteral("StaticTextRegArhCan"), n), caption);
        controls.setText(composedName(QStringLiteral("StaticTextCalibrCan"), n),
                         gone ? QStringLiteral("нет") : QString());
    }

    static const char *const operandLetters[] = {"A", "B", "C", "D"};
    for (int m = 1; m <= 4; ++m) {
        for (const char *letter : operandLetters) {
            const QString list = composedName(QStringLiteral("ComboBoxMatCanZn") + QLatin1String(letter), m);
            for (int k = 1; k <= 4; ++k) {
                controls.setItemText(list, k - 1,
                                     QLatin1String(letter) + QLatin1Char('=') + channelName(k, absent[k - 1]));
            }
        }
    }

    for (int s = 1; s <= 8; ++s) {
        const QString list = composedName(QStringLiteral("ComboBoxUstCan"), s);
        for (int k = 1; k <= 4; ++k) {
            QString text = channelName(k, absent[k - 1]);
            if (!absent[k - 1] && !switchedOn(image, measurementChannelLayout(), k))
                text += QStringLiteral(" -выкл");
            controls.setItemText(list, k - 1, text);
        }
        for (int m = 1; m <= 4; ++m) {
            QString text = QStringLiteral("Канал М") + QString::number(m);
            if (!switchedOn(image, mathChannelLayout(), m))
                text += QStringLiteral(" -выкл");
            controls.setItemText(list, 3 + m, text);
        }
    }
}

} // namespace vexs
