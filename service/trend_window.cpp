#include "service/trend_window.h"

#include "service/live_record.h"
#include "settings/encodings.h"
#include "ui/page_widgets.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace vexs {

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

double numberOf(const QString &text)
{
    const std::optional<double> value = parseNumber(text);
    return value ? *value : kNoValue;
}

QColor seriesColour(int series)
{
    static const QColor colours[kTrendSeries] = {
        QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44), QColor(255, 127, 14),
        QColor(148, 103, 189), QColor(140, 86, 75), QColor(23, 190, 207), QColor(188, 189, 34),
    };
    return colours[series];
}

// A scale of round steps (1, 2 or 5 times a power of ten) that covers
// low..high in about `ticks` steps: 0, 250, 500 rather than 239.951, 569.89.
TrendScale niceScale(double low, double high, int ticks)
{
    const double raw = (high - low) / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * power;
        if (step >= raw)
            break;
    }
    return {std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

} // namespace

TrendScale trendScale(double low, double high)
{
    if (low > high) {
        low = 0;
        high = 1;
    }
    // Lines all alike get a band around them; at 1e17 and beyond adding 1
    // would change nothing, so the band grows with the values.
    const double least = std::max(1e-9, 1e-6 * std::max(std::abs(low), std::abs(high)));
    if (high - low < least) {
        const double pad = std::max(1.0, 1e-6 * std::abs(high));
        low -= pad;
        high += pad;
    } else {
        const double margin = (high - low) * 0.05;
        low -= margin;
        high += margin;
    }
    return niceScale(low, high, 5);
}

// The drawing of the trend: grid, scales and lines, painted straight from
// the window's runs. A chart library kept several copies of every point and
// laid the lines out anew at each change, which over ten minutes of eight
// lines cost megabytes and a few per cent of a core; this costs the points.
class TrendPlot : public QWidget
{
public:
    explicit TrendPlot(const TrendWindow &window, QWidget *parent)
        : QWidget(parent), m_window(window)
    {
        setObjectName(QStringLiteral("ChartTrend"));
        setAutoFillBackground(true);
        setBackgroundRole(QPalette::Base);
        setMinimumSize(320, 200);
    }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    const TrendWindow &m_window;
};

void TrendPlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QFontMetrics fm(font());
    const TrendWindow &w = m_window;
    const int steps = int(std::llround((w.m_scaleHigh - w.m_scaleLow) / w.m_scaleStep));
    int labelWidth = 0;
    for (int k = 0; k <= steps; ++k)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(QString::number(w.m_scaleLow + k * w.m_scaleStep, 'g', 6)));
    const QRectF plot(labelWidth + 10, fm.height() / 2 + 4, width() - labelWidth - 10 - fm.horizontalAdvance(QStringLiteral("00:00:00")) / 2 - 4,
                      height() - 2 * fm.height() - 10);
    if (plot.width() < 10 || plot.height() < 10)
        return;
    const double span = double(w.m_toMs - w.m_fromMs);
    auto x = [&](double ms) { return plot.left() + (ms - double(w.m_fromMs)) / span * plot.width(); };
    auto y = [&](double v) {
        return plot.bottom() - (v - w.m_scaleLow) / (w.m_scaleHigh - w.m_scaleLow) * plot.height();
    };

    const QColor gridColour = palette().color(QPalette::Mid);
    p.setPen(QPen(gridColour, 0, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    const QColor text = palette().color(QPalette::Text);
    // A line a minute on the time scale, the scale's own steps on the values.
    constexpr int kTimeLines = 10;
    for (int k = 0; k <= kTimeLines; ++k) {
        const double at = plot.left() + plot.width() * k / kTimeLines;
        p.setPen(QPen(gridColour, 0, Qt::DotLine));
        p.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom()));
        const QString label = QDateTime::fromMSecsSinceEpoch(w.m_fromMs + qint64(span * k / kTimeLines))
                                  .toString(QStringLiteral("hh:mm:ss"));
        p.setPen(text);
        p.drawText(QRectF(at - 50, plot.bottom() + 4, 100, fm.height()), Qt::AlignHCenter, label);
    }
    for (int k = 0; k <= steps; ++k) {
        const double v = w.m_scaleLow + k * w.m_scaleStep;
        p.setPen(QPen(gridColour, 0, Qt::DotLine));
        p.drawLine(QPointF(plot.left(), y(v)), QPointF(plot.right(), y(v)));
        p.setPen(text);
        p.drawText(QRectF(0, y(v) - fm.height() / 2.0, labelWidth + 4, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'g', 6));
    }
    p.setPen(QPen(gridColour, 0));
    p.drawRect(plot);

    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(plot.adjusted(-1, -1, 1, 1));
    QList<QPointF> pixels;
    for (int s = 0; s < kTrendSeries; ++s) {
        // A thin solid pen: a wider or dashed one is outlined first, which
        // for eight lines of ten minutes costs more than all the rest.
        p.setPen(QPen(seriesColour(s), 1));
        for (const QList<QPointF> &run : w.m_runs[s]) {
            pixels.resize(run.size());
            for (qsizetype i = 0; i < run.size(); ++i)
                pixels[i] = QPointF(x(run[i].x()), y(run[i].y()));
            if (pixels.size() == 1)
                p.drawPoint(pixels[0]);
            else
                p.drawPolyline(pixels.constData(), int(pixels.size()));
        }
    }
}

TrendValues trendValues(const LiveView &view)
{
    TrendValues values;
    for (int n = 0; n < live::kChannels; ++n) {
        values[n] = numberOf(view.channels[n].parameter);
        values[live::kChannels + n] = numberOf(view.math[n].value);
    }
    return values;
}

QString trendSeriesName(int series)
{
    return series < live::kChannels ? QStringLiteral("Канал %1").arg(series + 1)
                                    : QStringLiteral("Канал M%1").arg(series - live::kChannels + 1);
}

// --- TrendBuffer -----------------------------------------------------------

void TrendBuffer::add(qint64 timeMs, const std::optional<TrendValues> &values)
{
    // The clock was set back: samples now ahead of it would be drawn in the
    // future. A small step (a time synchronisation) keeps the rest.
    while (!m_samples.empty() && m_samples.back().timeMs > timeMs)
        m_samples.pop_back();
    TrendSample sample{timeMs, {}};
    if (values)
        sample.values = *values;
    else
        sample.values.fill(kNoValue);
    m_samples.push_back(sample);
    while (m_samples.front().timeMs < timeMs - m_spanMs)
        m_samples.pop_front();
}

QList<QList<QPointF>> TrendBuffer::segments(int series) const
{
    // Polls a second apart; a longer silence (measurements stopped, or the
    // link busy with a long command) is no line, as a poll without a record.
    constexpr qint64 kJoinedGapMs = 3000;
    QList<QList<QPointF>> runs;
    bool inRun = false;
    qint64 previousMs = 0;
    for (const TrendSample &s : m_samples) {
        const double v = s.values[series];
        if (inRun && s.timeMs - previousMs > kJoinedGapMs)
            inRun = false;
        previousMs = s.timeMs;
        if (!std::isfinite(v)) {
            inRun = false;
            continue;
        }
        if (!inRun) {
            runs.append(QList<QPointF>());
            runs.last().reserve(qsizetype(m_samples.size()));
        }
        inRun = true;
        runs.last().append(QPointF(double(s.timeMs), v));
    }
    return runs;
}

// --- TrendWindow -----------------------------------------------------------

TrendWindow::TrendWindow(const TrendBuffer &buffer, QWidget *parent)
    : QWidget(parent, Qt::Window), m_buffer(buffer)
{
    setObjectName(QStringLiteral("FormTrend"));
    setWindowTitle(QStringLiteral("Тренд"));
    resize(900, 520);

    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(4, 4, 4, 4);
    auto *bar = new QHBoxLayout;
    m_pause = makeButton(QStringLiteral("ButtonTrendPause"), QStringLiteral("Пауза"), this);
    m_pause->setCheckable(true);
    connect(m_pause, &QPushButton::toggled, this, &TrendWindow::setPaused);
    bar->addWidget(m_pause);
    bar->addSpacing(12);
    for (int s = 0; s < kTrendSeries; ++s) {
        auto *box = new QCheckBox(trendSeriesName(s), this);
        box->setObjectName(QStringLiteral("CheckBoxTrend%1").arg(s + 1));
        QPixmap swatch(12, 12);
        swatch.fill(seriesColour(s));
        box->setIcon(QIcon(swatch));
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, [this, s](bool on) { setSeriesShown(s, on); });
        m_shown[s] = box;
        bar->addWidget(box);
    }
    bar->addStretch(1);
    top->addLayout(bar);
    m_plot = new TrendPlot(*this, this);
    top->addWidget(m_plot, 1);
    redraw();
}

void TrendWindow::sampleAdded()
{
    if (isVisible() && !m_paused)
        redraw();
}

void TrendWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_paused)
        redraw();
}

void TrendWindow::setPaused(bool paused)
{
    m_paused = paused;
    if (m_pause->isChecked() != paused)
        m_pause->setChecked(paused);
    if (!paused)
        redraw();
}

void TrendWindow::setSeriesShown(int series, bool shown)
{
    if (m_shown[series]->isChecked() != shown)
        m_shown[series]->setChecked(shown);
    redraw();
}

bool TrendWindow::isSeriesShown(int series) const
{
    return m_shown[series]->isChecked();
}

void TrendWindow::redraw()
{
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (int s = 0; s < kTrendSeries; ++s) {
        m_runs[s] = isSeriesShown(s) ? m_buffer.segments(s) : QList<QList<QPointF>>();
        for (const QList<QPointF> &run : m_runs[s]) {
            for (const QPointF &p : run) {
                low = std::min(low, p.y());
                high = std::max(high, p.y());
            }
        }
    }
    m_toMs = m_buffer.samples().empty() ? QDateTime::currentMSecsSinceEpoch()
                                        : m_buffer.samples().back().timeMs;
    m_fromMs = m_toMs - m_buffer.spanMs();
    const TrendScale scale = trendScale(low, high);
    m_scaleLow = scale.low;
    m_scaleHigh = scale.high;
    m_scaleStep = scale.step;
    m_plot->update();
}

QList<QPointF> TrendWindow::drawnPoints(int series) const
{
    QList<QPointF> points;
    for (const QList<QPointF> &run : m_runs[series])
        points += run;
    return points;
}

} // namespace vexs
