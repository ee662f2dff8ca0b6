#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

// "Сигнализация": eight alarm setpoints, one row each, each read and written
// as its own six-register record.
class SetpointsPage : public QWidget
{
    Q_OBJECT
public:
    explicit SetpointsPage(PageContext &context, QWidget *parent = nullptr);

    // Handlers shared by the rows; n is the setpoint 1..8.
    void ButtonReadNastrUst1Click(int n);
    void ButtonWriteNastrUst1Click(int n);

    static constexpr int kSetpoints = 8;

private:
    PageContext &m_ctx;
};

} // namespace vexs
