#pragma once

#include "settings/block_io.h"
#include "ui/page.h"

namespace vexs {

// "Сигнализация": eight alarm setpoints, one row each, each read and written
// as its own six-register record.
class SetpointsPage : public ChannelPage
{
    Q_OBJECT
public:
    explicit SetpointsPage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;

    // Handlers shared by the rows; n is the setpoint 1..8.
    void ButtonReadNastrUst1Click(int n) { readGroupIntoPage(m_ctx, GroupFamily::Setpoint, n); }
    void ButtonWriteNastrUst1Click(int n) { writeGroupFromPage(m_ctx, GroupFamily::Setpoint, n); }

    static constexpr int kSetpoints = 8;
};

} // namespace vexs
