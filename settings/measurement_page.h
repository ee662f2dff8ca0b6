#pragma once

#include "settings/block_io.h"
#include "ui/page.h"

namespace vexs {

// "Каналы измерительные": one column of controls per measurement channel,
// each read and written on its own (registers 20 x (n - 1) .. + 19).
class MeasurementChannelsPage : public ChannelPage
{
    Q_OBJECT
public:
    explicit MeasurementChannelsPage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;

    static constexpr int kChannels = 4;
    // Typed units text; a longer text from the device is kept whole.
    static constexpr int kUnitsTypedMax = 5;

    void ButtonReadNastrCan1Click(int n) { readGroupIntoPage(m_ctx, GroupFamily::Measurement, n); }
    void ButtonWriteNastrCan1Click(int n)
    {
        writeGroupFromPage(m_ctx, GroupFamily::Measurement, n);
    }
};

} // namespace vexs
