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
#include <functional>
#include <optional>

class QCheckBox;
class QPushButton;

namespace vexs {

struct ChannelSettings;
struct LiveView;
class IMessageBoxes;
class LinkActivity;
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
// The units of a series' channel from the last read of its settings; empty
// while unknown.
QString trendSeriesUnits(int series, const ChannelSettings &settings);
// The legend: "Канал 1, °C"; the name alone while the units are unknown.
QString trendLegendText(int series, const ChannelSettings &settings);
// Why a series is not drawn at all: its channel was last read switched off,
// or (a measurement channel) the last bulk read found no module. Empty when
// it is drawn; before any read every series is.
QString trendSeriesOff(int series, const ChannelSettings &settings);

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

// The lines of each series, a list of runs each.
using TrendRuns = std::array<QList<QList<QPointF>>, kTrendSeries>;

// One value axis per units among the series that have points, in the order
// of their first series, each scaled to hold the lines of its series: every
// line is read off a scale in its own units, and a pressure in the hundreds
// does not flatten a temperature in tens. Series of unknown units share one
// axis of no units. Without any point, one empty axis of no units.
struct TrendAxis
{
    QString units;
    QList<int> series;
    TrendScale scale;
};
QList<TrendAxis> trendAxes(const std::array<QString, kTrendSeries> &units, const TrendRuns &runs);

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
    TrendWindow(const TrendBuffer &buffer, IMessageBoxes &boxes, LinkActivity &activity,
                QWidget *parent = nullptr);

    // The buffer has a new sample: redrawn when shown and not paused.
    void sampleAdded();
    // Units in the legend and on the axes, and the channels switched off,
    // as the last reads of the channels' settings gave them.
    void setChannelSettings(const ChannelSettings &settings);

    // "Пауза": the chart holds still, the time shown included, whatever is
    // switched on or off meanwhile; the samples are still kept and show
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
    const QList<TrendAxis> &axes() const { return m_axes; }

    // "Сохранить PNG…": the chart with its legend, saved whole; a failure is
    // reported.
    void savePngClick();
    // The file chooser of "Сохранить PNG…": the chosen path, or empty when
    // the user cancelled. Tests replace it.
    std::function<QString()> choosePngFile;

protected:
    void showEvent(QShowEvent *event) override;

private:
    friend class TrendPlot;
    void redraw();
    bool savePng(const QString &path, QString *error);

    const TrendBuffer &m_buffer;
    // While paused: the samples as they were, so that nothing moves.
    std::optional<TrendBuffer> m_frozen;
    IMessageBoxes &m_boxes;
    QWidget *m_picture = nullptr; // legend and plot: what a PNG shows
    TrendPlot *m_plot = nullptr;
    QPushButton *m_pause;
    std::array<QCheckBox *, kTrendSeries> m_shown{};
    std::array<QString, kTrendSeries> m_units;
    std::array<bool, kTrendSeries> m_off{}; // switched off or no module
    // What is drawn: the runs of each shown series, the time range and
    // the value axes, with the axis of each series.
    TrendRuns m_runs;
    qint64 m_fromMs = 0;
    qint64 m_toMs = 0;
    QList<TrendAxis> m_axes;
    std::array<int, kTrendSeries> m_axisOf{};
    bool m_paused = false;
};

} // namespace vexs
