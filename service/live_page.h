#pragma once

#include <QWidget>

class QTimer;

namespace vexs {

struct PageContext;

// The measurement page: once a second, while started, reads the live-data
// record and shows the clock, the channels, the board self-test and the
// setpoint states.
class LivePage : public QWidget
{
    Q_OBJECT
public:
    explicit LivePage(PageContext &context, QWidget *parent = nullptr);
    // Headings and row titles of the diagnostics grid.
    void labelDiagnosticsGrid();

    // "Начать измерения": starts the poll; a running poll keeps its rhythm.
    void Button3Click();
    // "Остановить измерения".
    void Button12Click();
    // One poll. A tick that falls due while another exchange waits is
    // skipped rather than nested inside it.
    void TimerDataReadTimer();

    QTimer *timer() const { return m_timer; }

private:
    void poll();

    PageContext &m_ctx;
    QTimer *m_timer;
};

} // namespace vexs
