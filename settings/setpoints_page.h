#pragma once

#include "ui/page_context.h"

#include <QWidget>

namespace vexs {


// "Сигнализация": eight alarm setpoints, one row each, each read and written
// as its own six-register record.
class SetpointsPage : public QWidget, public IChannelLabels
{
    Q_OBJECT
public:
    explicit SetpointsPage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;

    // Handlers shared by the rows; n is the setpoint 1..8.
    void ButtonReadNastrUst1Click(int n);
    void ButtonWriteNastrUst1Click(int n);

    static constexpr int kSetpoints = 8;

private:
    PageContext &m_ctx;
};

} // namespace vexs
