#include "service/live_page.h"

#include "link/line_speed.h"
#include "link/link_activity.h"
#include "link/modbus.h"
#include "service/live_csv.h"
#include "service/live_record.h"
#include "service/trend_window.h"
#include "ui/page_widgets.h"
#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/texts.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace vexs {

namespace {

const QString kGrid = QStringLiteral("StringGridErr");
const QString kOpros = QStringLiteral("StaticTextOpros");
const QString kDataAge = QStringLiteral("StaticTextOprosTime");
const QString kUnits = QStringLiteral("StaticTextIzmerEd");
const QString kMathUnits = QStringLiteral("StaticTextIzmerMatEd");

constexpr int kGridRowHeight = 16;
constexpr int kGridTitleWidth = 200;

// One group of value fields: a heading over each channel's column (named
// headName + channel when given), row captions down the left, fields named
// prefix + channel. Beside each field of row `unitsRow`, a label named
// unitsName + channel for the channel's units; a narrow column of its own,
// so that the fields of every row keep one width.
QGroupBox *valueGroup(const QString &title, const QString &headText, const QString &headName,
                      const QList<QPair<QString, QString>> &rows, int unitsRow,
                      const QString &unitsName, QWidget *parent)
{
    auto *group = makeGroup(QString(), title, parent);
    auto *grid = new QGridLayout(group);
    grid->setVerticalSpacing(3);
    const auto valueColumn = [](int n) { return 2 * n - 1; };
    for (int n = 1; n <= live::kChannels; ++n) {
        auto *head = makeLabel(headText + QString::number(n), group,
                               headName.isEmpty() ? QString() : composedName(headName, n));
        head->setAlignment(Qt::AlignCenter);
        grid->addWidget(head, 0, valueColumn(n));
        grid->setColumnStretch(valueColumn(n), 1);
    }
    for (int r = 0; r < rows.size(); ++r) {
        grid->addWidget(makeLabel(rows[r].first, group), 1 + r, 0);
        for (int n = 1; n <= live::kChannels; ++n)
            grid->addWidget(makeValueLabel(composedName(rows[r].second, n), group), 1 + r,
                            valueColumn(n));
    }
    for (int n = 1; n <= live::kChannels; ++n) {
        auto *units = makeLabel(QString(), group, composedName(unitsName, n));
        // Room for a short unit from the start, so the columns hardly move
        // once the units are read.
        units->setMinimumWidth(units->fontMetrics().horizontalAdvance(QStringLiteral("кПа")));
        grid->addWidget(units, 1 + unitsRow, valueColumn(n) + 1);
    }
    return group;
}

} // namespace

LivePage::LivePage(PageContext &context, QWidget *parent)
    : ChannelPage(context, parent), m_timer(new QTimer(this)),
      m_trend(std::make_unique<TrendBuffer>()), m_csv(std::make_unique<LiveCsvRecorder>())
{
    m_timer->setObjectName(QStringLiteral("TimerDataRead"));
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &LivePage::TimerDataReadTimer);

    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);

    auto *top = new QHBoxLayout;
    auto *start = makeButton(QStringLiteral("Button3"), QStringLiteral("Начать измерения"), this);
    auto *stop = makeButton(QStringLiteral("Button12"),
                            QStringLiteral("Остановить измерения"), this);
    // Neither sends anything; "Остановить измерения" in particular must stay
    // usable while the link is busy.
    connectAction(start, m_ctx.boxes, [this] { Button3Click(); });
    connectAction(stop, m_ctx.boxes, [this] { Button12Click(); });
    // A crowded row shrinks the clock's space, never the buttons' captions.
    for (QPushButton *b : {start, stop})
        b->setMinimumWidth(b->sizeHint().width());
    top->addWidget(start);
    top->addWidget(stop);
    top->addSpacing(8);
    top->addWidget(makeLabel(QStringLiteral("Статус связи:"), this));
    auto *opros = makeLabel(QString(), this, kOpros);
    opros->setMinimumWidth(90);
    top->addWidget(opros);
    // Beside the status, so values kept from a lost link are not read as live.
    top->addWidget(makeLabel(QString(), this, kDataAge));
    auto *clock = makeLabel(QString(), this, QStringLiteral("StaticTextDateTime"));
    clock->setAlignment(Qt::AlignCenter);
    QFont clockFont = clock->font();
    clockFont.setBold(true);
    clock->setFont(clockFont);
    top->addWidget(clock, 1);
    auto *trend = makeButton(QStringLiteral("ButtonTrend"), QStringLiteral("Тренд"), this);
    trend->setMaximumWidth(trend->sizeHint().width());
    connectAction(trend, m_ctx.boxes, [this] { ButtonTrendClick(); });
    top->addWidget(trend);
    m_csvBox = new QCheckBox(QStringLiteral("Запись в CSV"), this);
    m_csvBox->setObjectName(QStringLiteral("CheckBoxCsv"));
    m_csvBox->setToolTip(QStringLiteral("Записывать каждый опрос в файл CSV"));
    // The box shows the click at once; the file is chosen after a poll
    // that is waiting, from the box as it then stands.
    connectDialogAction(m_csvBox, m_ctx, [this] { CheckBoxCsvClick(m_csvBox->isChecked()); });
    top->addWidget(m_csvBox);
    // Off: decimal commas, as a spreadsheet set to Russian reads numbers.
    // Kept for this session only; fixed while a file is written, so one
    // file never mixes the two.
    m_csvPointBox = new QCheckBox(QStringLiteral("Точка в CSV"), this);
    m_csvPointBox->setObjectName(QStringLiteral("CheckBoxCsvPoint"));
    m_csvPointBox->setToolTip(QStringLiteral("Писать числа в файл CSV с точкой вместо запятой"));
    top->addWidget(m_csvPointBox);
    page->addLayout(top);

    chooseCsvFile = [this] {
        const QString name = QStringLiteral("vexs-%1.csv")
                                 .arg(QDateTime::currentDateTime().toString(
                                     QStringLiteral("yyyyMMdd-hhmmss")));
        return QFileDialog::getSaveFileName(this, QStringLiteral("Запись в CSV"), name,
                                            QStringLiteral("CSV (*.csv)"));
    };

    auto *body = new QHBoxLayout;
    auto *left = new QVBoxLayout;

    left->addWidget(valueGroup(
        QStringLiteral(" Каналы измерения "), QStringLiteral("Канал "), QStringLiteral("StaticTextCanIzm"),
        {{QStringLiteral("Вкл/Выкл:"), QStringLiteral("StaticTextIzmerVkl")},
         {QStringLiteral("Ошибка"), QStringLiteral("StaticTextIzmerErr")},
         {QStringLiteral("Параметр:"), QStringLiteral("StaticTextIzmerParam")},
         {QStringLiteral("Физ. параметр:"), QStringLiteral("StaticTextIzmerFiz")},
         {QStringLiteral("Температура ХС:"), QStringLiteral("StaticTextIzmerTemp")}},
        2, kUnits, this));
    left->addWidget(valueGroup(QStringLiteral(" Каналы математические "), QStringLiteral("Канал M"),
                               QString(),
                               {{QStringLiteral("Вкл/Выкл:"), QStringLiteral("StaticTextIzmerMatVkl")},
                                {QStringLiteral("Ошибка"), QStringLiteral("StaticTextIzmerMatErr")},
                                {QStringLiteral("Значение:"), QStringLiteral("StaticTextIzmerMatParam")}},
                               2, kMathUnits, this));
    auto *legend = makeLabel(errorCodeLegend(), this, QStringLiteral("StaticTextErrLegend"));
    legend->setWordWrap(true);
    QFont legendFont = legend->font();
    if (legendFont.pointSizeF() > 0) {
        legendFont.setPointSizeF(legendFont.pointSizeF() * 0.9);
        legend->setFont(legendFont);
    }
    left->addWidget(legend);

    auto *alarms = makeGroup(QString(), QStringLiteral(" Сигнализация "), this);
    auto *alarmGrid = new QGridLayout(alarms);
    for (int k = 1; k <= live::kSetpoints; ++k) {
        auto *box = makeValueLabel(composedName(QStringLiteral("StaticTextUstSost"), k), alarms);
        box->setText(QStringLiteral("Уставка ") + QString::number(k));
        alarmGrid->addWidget(box, (k - 1) / 4, (k - 1) % 4);
    }
    left->addWidget(alarms);
    left->addStretch(1);
    body->addLayout(left, 1);

    auto *board = makeGroup(QString(), QStringLiteral(" Статус платы процессора "), this);
    auto *boardLayout = new QVBoxLayout(board);
    auto *grid = makeStringGrid(kGrid, 2, live::kBoardBits + 1, false, kGridRowHeight, board);
    grid->setColumnWidth(0, kGridTitleWidth);
    grid->setColumnWidth(1, 90);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setFixedSize(kGridTitleWidth + 90 + 2 * grid->frameWidth(),
                       (live::kBoardBits + 1) * kGridRowHeight + 2 * grid->frameWidth());
    boardLayout->addWidget(grid);
    boardLayout->addStretch(1);
    body->addWidget(board, 0, Qt::AlignTop);

    page->addLayout(body, 1);
}

LivePage::~LivePage() = default;

void LivePage::labelDiagnosticsGrid()
{
    IControls &c = m_ctx.controls;
    c.setCell(kGrid, 0, 0, QStringLiteral("Диагностика"));
    c.setCell(kGrid, 1, 0, QStringLiteral("Состояние"));
    for (int row = 1; row <= live::kBoardBits; ++row)
        c.setCell(kGrid, 0, row, boardStatusCaption(row - 1));
    if (auto *grid = findChild<QTableWidget *>(kGrid))
        grid->setColumnWidth(0, kGridTitleWidth);
}

void LivePage::Button3Click()
{
    if (!m_timer->isActive())
        m_timer->start();
}

void LivePage::Button12Click()
{
    m_timer->stop();
    stopCsv();
    showDataAge(false);
}

void LivePage::ButtonTrendClick()
{
    if (!m_trendWindow) {
        m_trendWindow = new TrendWindow(*m_trend, m_ctx.boxes, m_ctx.activity, this);
        m_trendWindow->setChannelSettings(m_channels);
    }
    m_trendWindow->show();
    m_trendWindow->raise();
    m_trendWindow->activateWindow();
}

void LivePage::CheckBoxCsvClick(bool on)
{
    if (!on) {
        stopCsv();
        return;
    }
    const QString path = chooseCsvFile ? chooseCsvFile() : QString();
    if (path.isEmpty()) {
        m_csvBox->setChecked(false);
        return;
    }
    if (!m_csv->open(path, m_csvPointBox->isChecked() ? CsvDecimal::Point : CsvDecimal::Comma)) {
        m_csvBox->setChecked(false);
        m_ctx.boxes.error(QStringLiteral("Не удалось создать файл %1").arg(path));
        return;
    }
    m_csvBox->setChecked(true);
    m_csvPointBox->setEnabled(false);
}

void LivePage::stopCsv()
{
    m_csv->close();
    m_csvBox->setChecked(false);
    m_csvPointBox->setEnabled(true);
}

void LivePage::recordPoll(const QDateTime &time, const std::optional<LiveView> &view)
{
    m_trend->add(time.toMSecsSinceEpoch(),
                 view ? std::optional<TrendValues>(trendValues(*view)) : std::nullopt);
    if (m_trendWindow)
        m_trendWindow->sampleAdded();
    if (m_csv->isOpen() && !m_csv->append(time, view ? &*view : nullptr)) {
        const QString path = m_csv->path();
        stopCsv();
        m_ctx.boxes.error(QStringLiteral("Не удалось записать файл %1").arg(path));
    }
}

void LivePage::TimerDataReadTimer()
{
    if (m_ctx.activity.exchanging())
        return;
    runGuarded(m_ctx.boxes, [this] { poll(); });
}

void LivePage::poll()
{
    IControls &c = m_ctx.controls;
    const bool serial = m_ctx.link.interfaceIndex() == 0;
    const int baud = lineSpeedForIndex(m_ctx.link.baudIndex());
    const QDateTime polled = QDateTime::currentDateTime();
    QByteArray reply;
    try {
        reply = m_ctx.modbus.ReadInputRegisters(live::kFirstRegister, live::kRegisterCount,
                                                pollWaitMs(serial, baud));
    } catch (...) {
        // A socket failure still counts as a poll without a record.
        recordPoll(polled, std::nullopt);
        showDataAge(false);
        throw;
    }

    const std::optional<QByteArray> record = liveRecordOfReply(reply);
    const std::optional<LiveView> view = record ? decodeLiveRecord(*record) : std::nullopt;
    recordPoll(polled, view);
    if (!view) {
        // The values of the last good poll stay on screen.
        c.setText(kOpros, QStringLiteral("Нет связи"));
        showDataAge(false);
        return;
    }
    c.setText(kOpros, QStringLiteral("Есть связь"));
    m_lastGoodPoll = polled;
    showDataAge(true);
    c.setText(QStringLiteral("StaticTextDateTime"), view->clock);

    for (int n = 1; n <= live::kChannels; ++n) {
        const LiveChannelView &ch = view->channels[n - 1];
        c.setText(composedName(QStringLiteral("StaticTextIzmerVkl"), n), ch.onOff);
        const QString err = composedName(QStringLiteral("StaticTextIzmerErr"), n);
        c.setText(err, ch.errorCode);
        c.setHint(err, ch.errorHint);
        c.setText(composedName(QStringLiteral("StaticTextIzmerParam"), n), ch.parameter);
        c.setText(composedName(QStringLiteral("StaticTextIzmerFiz"), n), ch.physical);
        c.setText(composedName(QStringLiteral("StaticTextIzmerTemp"), n), ch.coldJunction);

        const LiveMathView &m = view->math[n - 1];
        c.setText(composedName(QStringLiteral("StaticTextIzmerMatVkl"), n), m.onOff);
        const QString matErr = composedName(QStringLiteral("StaticTextIzmerMatErr"), n);
        c.setText(matErr, m.errorCode);
        c.setHint(matErr, m.errorHint);
        c.setText(composedName(QStringLiteral("StaticTextIzmerMatParam"), n), m.value);
    }

    const int rows = c.rowCount(kGrid);
    for (int row = 1; row < rows && row <= live::kBoardBits; ++row)
        c.setCell(kGrid, 1, row, view->boardStatus[row - 1]);

    for (int k = 1; k <= live::kSetpoints; ++k)
        c.setBackground(composedName(QStringLiteral("StaticTextUstSost"), k),
                        view->setpointColours[k - 1]);
}

void LivePage::relabelChannels(const ChannelPresence &presence)
{
    for (int n = 1; n <= 4; ++n)
        m_ctx.controls.setText(composedName(QStringLiteral("StaticTextCanIzm"), n),
                               QLatin1Char(' ') + channelName(n, presence.absent[n - 1]));
    // The switches come with each record read (recordRead); a module's
    // absence only from the bulk read's status read.
    m_channels.absent = presence.absent;
    showChannelSettings();
}

void LivePage::recordRead(const BlockLayout &block, int item, const QByteArray &record)
{
    if (takeChannelRecord(m_channels, block, item, record))
        showChannelSettings();
}

void LivePage::showChannelSettings()
{
    for (int n = 1; n <= live::kChannels; ++n) {
        m_ctx.controls.setText(composedName(kUnits, n), m_channels.units[n - 1]);
        m_ctx.controls.setText(composedName(kMathUnits, n), m_channels.mathUnits[n - 1]);
    }
    if (m_trendWindow)
        m_trendWindow->setChannelSettings(m_channels);
}

void LivePage::showDataAge(bool live)
{
    m_ctx.controls.setText(kDataAge,
                           dataAgeText(m_lastGoodPoll, live, QDateTime::currentDateTime()));
}

} // namespace vexs
