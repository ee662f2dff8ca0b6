#pragma once

#include "service/live_record.h"
#include "ui/page.h"

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QDateTime;
class QTimer;

namespace vexs {

struct LiveView;
class LiveCsvRecorder;
class TrendBuffer;
class TrendWindow;

// The measurement page: once a second, while started, reads the live-data
// record and shows the clock, the channels, the board self-test and the
// setpoint states.
class LivePage : public ChannelPage
{
    Q_OBJECT
public:
    explicit LivePage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;
    // Units beside the values, and what the trend draws, follow the last
    // read of each channel's settings.
    void recordRead(const BlockLayout &block, int item, const QByteArray &record) override;
    ~LivePage() override;
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

    // "Тренд": shows the chart of the last minutes' polls.
    void ButtonTrendClick();
    // "Запись в CSV" switched on (asks for the file) or off.
    void CheckBoxCsvClick(bool on);
    // The file chooser of "Запись в CSV": the chosen path, or empty when the
    // user cancelled. Tests replace it.
    std::function<QString()> chooseCsvFile;

    const TrendBuffer &trend() const { return *m_trend; }
    // Null until "Тренд" was first pressed.
    TrendWindow *trendWindow() const { return m_trendWindow; }
    const LiveCsvRecorder &csv() const { return *m_csv; }

private:
    void poll();
    // Every poll, answered or not, goes to the trend and the CSV file.
    void recordPoll(const QDateTime &time, const std::optional<LiveView> &view);
    void stopCsv();
    // The units beside the values and the trend, from m_channels.
    void showChannelSettings();
    // The label beside the link status: when the values shown were polled.
    void showDataAge(bool live);

    QTimer *m_timer;
    QCheckBox *m_csvBox = nullptr;
    QCheckBox *m_csvPointBox = nullptr; // "Десятичная точка в CSV"
    std::unique_ptr<TrendBuffer> m_trend;
    std::unique_ptr<LiveCsvRecorder> m_csv;
    TrendWindow *m_trendWindow = nullptr;
    ChannelSettings m_channels;
    QDateTime m_lastGoodPoll; // invalid before the first good poll
};

} // namespace vexs
