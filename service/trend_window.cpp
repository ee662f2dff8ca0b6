#include "service/trend_window.h"

#include "service/live_record.h"
#include "settings/encodings.h"
#include "settings/whole_file.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
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

QList<TrendAxis> trendAxes(const std::array<QString, kTrendSeries> &units, const TrendRuns &runs)
{
    QList<TrendAxis> axes;
    QList<std::pair<double, double>> ranges;
    for (int s = 0; s < kTrendSeries; ++s) {
        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        for (const QList<QPointF> &run : runs[s]) {
            for (const QPointF &p : run) {
                low = std::min(low, p.y());
                high = std::max(high, p.y());
            }
        }
        if (low > high)
            continue;
        qsizetype at = 0;
        while (at < axes.size() && axes[at].units != units[s])
            ++at;
        if (at == axes.size()) {
            axes.append(TrendAxis{units[s], {}, {}});
            ranges.append({low, high});
        }
        axes[at].series.append(s);
        ranges[at] = {std::min(ranges[at].first, low), std::max(ranges[at].second, high)};
    }
    if (axes.isEmpty()) {
        axes.append(TrendAxis{});
        ranges.append({1, 0});
    }
    for (qsizetype i = 0; i < axes.size(); ++i)
        axes[i].scale = trendScale(ranges[i].first, ranges[i].second);
    return axes;
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
    const QList<TrendAxis> &axes = w.m_axes;

    // The axes' labels in columns beside the plot: the first axis on the
    // left, the second on the right, further ones outside them in turn.
    QList<QStringList> labels;
    QList<int> widths;
    int leftWidth = 0;
    int rightWidth = 0;
    bool anyUnits = false;
    for (qsizetype i = 0; i < axes.size(); ++i) {
        const TrendScale &scale = axes[i].scale;
        const int steps = int(std::llround((scale.high - scale.low) / scale.step));
        QStringList texts;
        int columnWidth = fm.horizontalAdvance(axes[i].units);
        for (int k = 0; k <= steps; ++k) {
            texts << QString::number(scale.low + k * scale.step, 'g', 6);
            columnWidth = std::max(columnWidth, fm.horizontalAdvance(texts.last()));
        }
        labels << texts;
        widths << columnWidth + 10;
        (i % 2 == 0 ? leftWidth : rightWidth) += widths.last();
        anyUnits = anyUnits || !axes[i].units.isEmpty();
    }
    const int halfTime = fm.horizontalAdvance(QStringLiteral("00:00:00")) / 2 + 4;
    // Room above the top label for the units over each axis.
    const int top = anyUnits ? fm.height() * 3 / 2 + 6 : fm.height() / 2 + 4;
    const int right = std::max(rightWidth, halfTime);
    const QRectF plot(leftWidth, top, width() - leftWidth - right,
                      height() - top - fm.height() - 8 - fm.height() / 2);
    if (plot.width() < 10 || plot.height() < 10)
        return;
    const double span = double(w.m_toMs - w.m_fromMs);
    auto x = [&](double ms) { return plot.left() + (ms - double(w.m_fromMs)) / span * plot.width(); };
    auto y = [&](const TrendScale &scale, double v) {
        return plot.bottom() - (v - scale.low) / (scale.high - scale.low) * plot.height();
    };

    const QColor gridColour = palette().color(QPalette::Mid);
    p.setPen(QPen(gridColour, 0, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    const QColor text = palette().color(QPalette::Text);
    // A line a minute on the time scale.
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
    // The first axis's steps are the grid; the others mark theirs with ticks
    // on their own edge. An axis of one line takes that line's colour.
    double leftEdge = plot.left();
    double rightEdge = plot.right();
    for (qsizetype i = 0; i < axes.size(); ++i) {
        const TrendAxis &axis = axes[i];
        const bool onLeft = i % 2 == 0;
        const double edge = onLeft ? leftEdge : rightEdge;
        const QRectF column(onLeft ? edge - widths[i] : edge, 0, widths[i], height());
        const Qt::Alignment side = onLeft ? Qt::AlignRight : Qt::AlignLeft;
        const QRectF textBox = column.adjusted(onLeft ? 0 : 6, 0, onLeft ? -6 : 0, 0);
        const QColor colour = axis.series.size() == 1 ? seriesColour(axis.series.first()) : text;
        if (i >= 2) {
            p.setPen(QPen(gridColour, 0));
            p.drawLine(QPointF(edge, plot.top()), QPointF(edge, plot.bottom()));
        }
        for (qsizetype k = 0; k < labels[i].size(); ++k) {
            const double at = y(axis.scale, axis.scale.low + double(k) * axis.scale.step);
            if (i == 0) {
                p.setPen(QPen(gridColour, 0, Qt::DotLine));
                p.drawLine(QPointF(plot.left(), at), QPointF(plot.right(), at));
            } else {
                p.setPen(QPen(gridColour, 0));
                const double tick = onLeft ? -4 : 4;
                p.drawLine(QPointF(edge, at), QPointF(edge + tick, at));
            }
            p.setPen(colour);
            p.drawText(QRectF(textBox.left(), at - fm.height() / 2.0, textBox.width(), fm.height()),
                       side | Qt::AlignVCenter, labels[i][k]);
        }
        p.setPen(colour);
        p.drawText(QRectF(textBox.left(), 2, textBox.width(), fm.height()), side | Qt::AlignTop,
                   axis.units);
        (onLeft ? leftEdge : rightEdge) += onLeft ? -widths[i] : widths[i];
    }
    p.setPen(QPen(gridColour, 0));
    p.drawRect(plot);

    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(plot.adjusted(-1, -1, 1, 1));
    QList<QPointF> pixels;
    for (int s = 0; s < kTrendSeries; ++s) {
        const TrendScale &scale = axes[w.m_axisOf[s]].scale;
        // A thin solid pen: a wider or dashed one is outlined first, which
        // for eight lines of ten minutes costs more than all the rest.
        p.setPen(QPen(seriesColour(s), 1));
        for (const QList<QPointF> &run : w.m_runs[s]) {
            pixels.resize(run.size());
            for (qsizetype i = 0; i < run.size(); ++i)
                pixels[i] = QPointF(x(run[i].x()), y(scale, run[i].y()));
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

QString trendSeriesUnits(int series, const ChannelSettings &settings)
{
    return series < live::kChannels ? settings.units[series]
                                    : settings.mathUnits[series - live::kChannels];
}

QString trendLegendText(int series, const ChannelSettings &settings)
{
    const QString units = trendSeriesUnits(series, settings);
    return units.isEmpty() ? trendSeriesName(series)
                           : trendSeriesName(series) + QStringLiteral(", ") + units;
}

QString trendSeriesOff(int series, const ChannelSettings &settings)
{
    if (series < live::kChannels && settings.absent[series])
        return moduleStatusHint(live::kModuleMissing);
    const bool off = series < live::kChannels ? settings.off[series]
                                              : settings.mathOff[series - live::kChannels];
    return off ? QStringLiteral("Канал выключен") : QString();
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

TrendWindow::TrendWindow(const TrendBuffer &buffer, IMessageBoxes &boxes, LinkActivity &activity,
                         QWidget *parent)
    : QWidget(parent, Qt::Window), m_buffer(buffer), m_boxes(boxes)
{
    setObjectName(QStringLiteral("FormTrend"));
    setWindowTitle(QStringLiteral("Тренд"));
    resize(900, 540);

    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(4, 4, 4, 4);
    auto *bar = new QHBoxLayout;
    m_pause = makeButton(QStringLiteral("ButtonTrendPause"), QStringLiteral("Пауза"), this);
    m_pause->setCheckable(true);
    connect(m_pause, &QPushButton::toggled, this, &TrendWindow::setPaused);
    bar->addWidget(m_pause);
    auto *png =
        makeButton(QStringLiteral("ButtonTrendPng"), QStringLiteral("Сохранить PNG…"), this);
    connectDialogAction(png, activity, m_boxes, [this] { savePngClick(); });
    bar->addWidget(png);
    bar->addStretch(1);
    top->addLayout(bar);

    m_picture = new QWidget(this);
    m_picture->setObjectName(QStringLiteral("TrendPicture"));
    m_picture->setAutoFillBackground(true);
    auto *picture = new QVBoxLayout(m_picture);
    picture->setContentsMargins(0, 0, 0, 0);
    auto *legend = new QHBoxLayout;
    for (int s = 0; s < kTrendSeries; ++s) {
        auto *box = new QCheckBox(trendSeriesName(s), m_picture);
        box->setObjectName(QStringLiteral("CheckBoxTrend%1").arg(s + 1));
        QPixmap swatch(12, 12);
        swatch.fill(seriesColour(s));
        box->setIcon(QIcon(swatch));
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, [this, s](bool on) { setSeriesShown(s, on); });
        m_shown[s] = box;
        legend->addWidget(box);
    }
    legend->addStretch(1);
    picture->addLayout(legend);
    m_plot = new TrendPlot(*this, m_picture);
    picture->addWidget(m_plot, 1);
    top->addWidget(m_picture, 1);

    choosePngFile = [this] {
        const QString name = QStringLiteral("vexs-trend-%1.png")
                                 .arg(QDateTime::currentDateTime().toString(
                                     QStringLiteral("yyyyMMdd-hhmmss")));
        return QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить PNG"), name,
                                            QStringLiteral("PNG (*.png)"));
    };
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

void TrendWindow::setChannelSettings(const ChannelSettings &settings)
{
    for (int s = 0; s < kTrendSeries; ++s) {
        const QString off = trendSeriesOff(s, settings);
        m_units[s] = trendSeriesUnits(s, settings);
        m_off[s] = !off.isEmpty();
        m_shown[s]->setText(trendLegendText(s, settings));
        m_shown[s]->setEnabled(!m_off[s]);
        m_shown[s]->setToolTip(off);
    }
    redraw();
}

void TrendWindow::setPaused(bool paused)
{
    if (paused && !m_paused)
        m_frozen = m_buffer;
    else if (!paused)
        m_frozen.reset();
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
    // Paused, the chart is drawn anew (a line switched on or off) from the
    // samples it showed, over the same minutes.
    const TrendBuffer &samples = m_frozen ? *m_frozen : m_buffer;
    for (int s = 0; s < kTrendSeries; ++s)
        m_runs[s] = isSeriesShown(s) && !m_off[s] ? samples.segments(s) : QList<QList<QPointF>>();
    m_axes = trendAxes(m_units, m_runs);
    m_axisOf.fill(0);
    for (qsizetype i = 0; i < m_axes.size(); ++i) {
        for (const int s : m_axes[i].series)
            m_axisOf[s] = int(i);
    }
    if (!samples.samples().empty())
        m_toMs = samples.samples().back().timeMs;
    else if (!m_paused)
        m_toMs = QDateTime::currentMSecsSinceEpoch();
    m_fromMs = m_toMs - samples.spanMs();
    m_plot->update();
}

QList<QPointF> TrendWindow::drawnPoints(int series) const
{
    QList<QPointF> points;
    for (const QList<QPointF> &run : m_runs[series])
        points += run;
    return points;
}

bool TrendWindow::savePng(const QString &path, QString *error)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!m_picture->grab().save(&buffer, "PNG")) {
        if (error)
            *error = QStringLiteral("Не удалось построить изображение");
        return false;
    }
    return saveWholeFile(path, bytes, error);
}

void TrendWindow::savePngClick()
{
    const QString path = choosePngFile ? choosePngFile() : QString();
    QString why;
    if (!path.isEmpty() && !savePng(path, &why))
        m_boxes.error(QStringLiteral("Не удалось записать файл %1\n%2").arg(path, why));
}

} // namespace vexs
