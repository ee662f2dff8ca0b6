#include "service/trend_window.h"

#include "service/live_record.h"
#include "settings/encodings.h"
#include "ui/page_widgets.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QPixmap>
#include <QPushButton>
#include <QValueAxis>
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

} // namespace

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
    // The clock was set back: the old samples would be drawn in the future.
    if (!m_samples.empty() && timeMs < m_samples.back().timeMs)
        m_samples.clear();
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
    QList<QList<QPointF>> runs;
    bool inRun = false;
    for (const TrendSample &s : m_samples) {
        const double v = s.values[series];
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
    : QWidget(parent, Qt::Window), m_buffer(buffer), m_chart(new QChart),
      m_time(new QDateTimeAxis), m_values(new QValueAxis)
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

    m_chart->legend()->hide();
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_time->setFormat(QStringLiteral("hh:mm:ss"));
    m_time->setTickCount(11); // a line a minute
    m_values->setLabelFormat(QStringLiteral("%g"));
    m_chart->addAxis(m_time, Qt::AlignBottom);
    m_chart->addAxis(m_values, Qt::AlignLeft);
    auto *view = new QChartView(m_chart, this);
    view->setObjectName(QStringLiteral("ChartTrend"));
    view->setRenderHint(QPainter::Antialiasing);
    top->addWidget(view, 1);
    redraw();
}

QLineSeries *TrendWindow::line(int series, int index)
{
    QList<QLineSeries *> &lines = m_lines[series];
    while (lines.size() <= index) {
        auto *l = new QLineSeries; // the chart takes it
        l->setName(trendSeriesName(series));
        // A thin solid line is drawn as it is; a wider or dashed one is
        // turned into outlines first, which for eight lines of ten minutes
        // each second cost more than all the rest of the page.
        QPen pen(seriesColour(series));
        pen.setWidth(1);
        l->setPen(pen);
        m_chart->addSeries(l);
        l->attachAxis(m_time);
        l->attachAxis(m_values);
        lines.append(l);
    }
    return lines[index];
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
    std::array<QList<QList<QPointF>>, kTrendSeries> runs;
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (int s = 0; s < kTrendSeries; ++s) {
        if (!isSeriesShown(s))
            continue;
        runs[s] = m_buffer.segments(s);
        for (const QList<QPointF> &run : runs[s]) {
            for (const QPointF &p : run) {
                low = std::min(low, p.y());
                high = std::max(high, p.y());
            }
        }
    }

    // Every change of a line or of an axis makes the chart lay out the
    // lines it touches anew, and laying out a line of ten minutes is the
    // chart's dearest work. Emptied first, the lines are skipped while the
    // axes move, and each is laid out once, when it gets its points.
    for (QList<QLineSeries *> &lines : m_lines) {
        for (QLineSeries *l : lines) {
            if (l->count() > 0)
                l->clear();
        }
    }

    const qint64 newest = m_buffer.samples().empty() ? QDateTime::currentMSecsSinceEpoch()
                                                     : m_buffer.samples().back().timeMs;
    m_time->setRange(QDateTime::fromMSecsSinceEpoch(newest - m_buffer.spanMs()),
                     QDateTime::fromMSecsSinceEpoch(newest));
    if (low > high) {
        low = 0;
        high = 1;
    } else if (high - low < 1e-9) {
        low -= 1;
        high += 1;
    } else {
        const double margin = (high - low) * 0.05;
        low -= margin;
        high += margin;
    }
    m_values->setRange(low, high);
    // Round steps on the scale: 0, 250, 500 rather than 239.951, 569.89.
    m_values->applyNiceNumbers();

    for (int s = 0; s < kTrendSeries; ++s) {
        for (int r = 0; r < runs[s].size(); ++r) {
            QLineSeries *l = line(s, r);
            l->replace(runs[s][r]);
            l->setVisible(true);
        }
        for (int r = int(runs[s].size()); r < m_lines[s].size(); ++r)
            m_lines[s][r]->setVisible(false);
    }
}

QList<QPointF> TrendWindow::drawnPoints(int series) const
{
    QList<QPointF> points;
    for (const QLineSeries *l : m_lines[series]) {
        if (l->isVisible())
            points += l->points();
    }
    return points;
}

qint64 TrendWindow::timeFromMs() const
{
    return m_time->min().toMSecsSinceEpoch();
}

qint64 TrendWindow::timeToMs() const
{
    return m_time->max().toMSecsSinceEpoch();
}

} // namespace vexs
