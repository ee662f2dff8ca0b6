#pragma once

// "Тренд": a chart of what the measurement page polls, over the last ten
// minutes. The samples are kept by the page whether the window is open or
// not; the window draws them.

#include <QList>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <array>
#include <deque>
#include <optional>

class QCheckBox;
class QPushButton;

namespace vexs {

struct LiveView;
class TrendPlot;

// Series 0..3: the parameter of measurement channels 1..4; 4..7: the value
// of math channels M1..M4.
inline constexpr int kTrendSeries = 8;
using TrendValues = std::array<double, kTrendSeries>;

// The values of a poll as numbers, read from the texts the page shows (so
// the chart shows what the page shows); NaN where a text is no number
// ("NAN", "INF").
TrendValues trendValues(const LiveView &view);
// "Канал 1" .. "Канал 4", "Канал M1" .. "Канал M4", as the page heads them.
QString trendSeriesName(int series);

// The value axis for lines between low and high (low > high: no line):
// round ends a whole number of steps apart, with a margin, and a step > 0
// however large or alike the values are.
struct TrendScale
{
    double low = 0;
    double high = 1;
    double step = 0.25;
};
TrendScale trendScale(double low, double high);

struct TrendSample
{
    qint64 timeMs; // since the epoch
    TrendValues values;
};

// The samples of the last `spanMs` before the newest one.
class TrendBuffer
{
public:
    static constexpr qint64 kSpanMs = 10 * 60 * 1000;
    explicit TrendBuffer(qint64 spanMs = kSpanMs) : m_spanMs(spanMs) {}

    // nullopt for a poll without a record: a gap in every line.
    void add(qint64 timeMs, const std::optional<TrendValues> &values);
    void clear() { m_samples.clear(); }

    const std::deque<TrendSample> &samples() const { return m_samples; }
    qint64 spanMs() const { return m_spanMs; }

    // Runs of consecutive numbers of one series, one line each: a gap is
    // drawn as a gap, never bridged.
    QList<QList<QPointF>> segments(int series) const;

private:
    qint64 m_spanMs;
    std::deque<TrendSample> m_samples;
};

class TrendWindow : public QWidget
{
    Q_OBJECT
public:
    explicit TrendWindow(const TrendBuffer &buffer, QWidget *parent = nullptr);

    // The buffer has a new sample: redrawn when shown and not paused.
    void sampleAdded();

    // "Пауза": the chart holds still; the samples are still kept and show
    // when it resumes.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    void setSeriesShown(int series, bool shown);
    bool isSeriesShown(int series) const;

    // The points drawn for a series, all its lines together.
    QList<QPointF> drawnPoints(int series) const;
    // The time axis range, in ms since the epoch.
    qint64 timeFromMs() const { return m_fromMs; }
    qint64 timeToMs() const { return m_toMs; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    friend class TrendPlot;
    void redraw();

    const TrendBuffer &m_buffer;
    TrendPlot *m_plot = nullptr;
    QPushButton *m_pause;
    std::array<QCheckBox *, kTrendSeries> m_shown{};
    // What is drawn: the runs of each shown series, the time range and
    // the value scale.
    std::array<QList<QList<QPointF>>, kTrendSeries> m_runs;
    qint64 m_fromMs = 0;
    qint64 m_toMs = 0;
    double m_scaleLow = 0;
    double m_scaleHigh = 1;
    double m_scaleStep = 0.25;
    bool m_paused = false;
};

} // namespace vexs
