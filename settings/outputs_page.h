#pragma once

#include "ui/page_context.h"

#include <QWidget>

class QVBoxLayout;

namespace vexs {


// "Выходные сигналы": one row per output (on/off and what drives it), each
// read and written as its own one-register record.
class OutputsPage : public QWidget, public IChannelLabels
{
    Q_OBJECT
public:
    explicit OutputsPage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;
    // The output check group of the service subsystem sits on this page,
    // below the four rows.
    void addServiceGroup(QWidget *group);

    // Handlers shared by the rows; n is the output 1..4.
    void ButtonReadNastrOut1Click(int n);
    void ButtonWriteNastrOut1Click(int n);

    static constexpr int kOutputs = 4;

private:
    PageContext &m_ctx;
    QVBoxLayout *m_layout = nullptr;
};

} // namespace vexs
