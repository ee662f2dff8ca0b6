#include "shell/traffic_monitor.h"

#include "link/link_stack.h"
#include "link/link_statistics.h"
#include "link/modbus.h"
#include "link/tcp_client.h"
#include "settings/whole_file.h"
#include "shell/log_file.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace vexs {

namespace {

// A bigger jump than this (the window opened after a long poll) redraws the
// table at once instead of moving row by row.
constexpr qint64 kResetAbove = 1000;
// The table catches up just after an exchange, at the start of the next
// one's wait if another follows at once, never near the end of a wait.
constexpr int kRefreshMs = 10;
// The table shows this many octets of a frame and the tooltip all of them:
// laying out a 101-octet reply only to cut it is most of a repaint's time.
constexpr int kShownOctets = 16;

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Draws a cell's text in one go. The style's item painting lays out and
// elides every text anew on each repaint, and was most of what keeping the
// table up to date cost.
class PlainCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        if (selected)
            painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
        else if (option.features & QStyleOptionViewItem::Alternate)
            painter->fillRect(option.rect, option.palette.brush(QPalette::AlternateBase));
        const QVariant colour = index.data(Qt::ForegroundRole);
        painter->setPen(selected          ? option.palette.color(QPalette::HighlightedText)
                        : colour.isValid() ? colour.value<QColor>()
                                           : option.palette.color(QPalette::Text));
        const QVariant font = index.data(Qt::FontRole);
        painter->setFont(font.isValid() ? font.value<QFont>() : option.font);
        const QVariant align = index.data(Qt::TextAlignmentRole);
        const int flags = (align.isValid() ? align.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter))
                          | Qt::TextSingleLine;
        painter->save();
        painter->setClipRect(option.rect);
        painter->drawText(option.rect.adjusted(4, 0, -4, 0), flags, index.data().toString());
        painter->restore();
    }
};

QString cellText(const TrafficRow &row, int column)
{
    switch (column) {
    case traffic::TimeColumn:
        return QDateTime::fromMSecsSinceEpoch(row.timeMs).toString(QStringLiteral("hh:mm:ss.zzz"));
    case traffic::DirectionColumn:
        return row.kind == TrafficRow::Request ? QStringLiteral("→") : QStringLiteral("←");
    case traffic::OctetsColumn:
        return traffic::hexText(row.octets);
    case traffic::SummaryColumn:
        switch (row.kind) {
        case TrafficRow::Request: return traffic::summaryText(traffic::requestFields(row.octets));
        case TrafficRow::Reply: return traffic::summaryText(traffic::replyFields(row.octets));
        case TrafficRow::Discarded: return QStringLiteral("Сброшено байт: %1").arg(row.discarded);
        }
        return QString();
    case traffic::OutcomeColumn:
        return row.retry ? QStringLiteral("Повтор") : traffic::outcomeText(row.outcome);
    default:
        return QString();
    }
}

} // namespace

// --- TrafficLog ------------------------------------------------------------

TrafficLog::TrafficLog(int capacity) : m_capacity(qMax(1, capacity)) {}

void TrafficLog::add(TrafficRow row)
{
    // A copy of exactly its size: the transport's buffer it came in may hold
    // many kilobytes, which 20,000 rows would keep alive.
    row.octets = QByteArray(row.octets.constData(), row.octets.size());
    if (size() < m_capacity) {
        m_rows.push_back(std::move(row));
    } else {
        m_rows[m_head] = std::move(row);
        m_head = (m_head + 1) % m_capacity;
    }
    ++m_end;
}

void TrafficLog::addRequest(qint64 timeMs, const QByteArray &request, bool retry)
{
    add(TrafficRow{timeMs, TrafficRow::Request, FrameOutcome::None, 0, request, retry});
}

void TrafficLog::addReply(qint64 timeMs, const QByteArray &request, const QByteArray &reply)
{
    const FrameOutcome outcome = frames::judgeReply(request, reply);
    // The exchange's one blank is no octet from the wire.
    add(TrafficRow{timeMs, TrafficRow::Reply, outcome, 0,
                   outcome == FrameOutcome::NoLink ? QByteArray() : reply});
}

void TrafficLog::addDiscarded(qint64 timeMs, int count)
{
    add(TrafficRow{timeMs, TrafficRow::Discarded, FrameOutcome::Purged, count, QByteArray()});
}

void TrafficLog::clear()
{
    m_rows.clear();
    m_head = 0;
}

const TrafficRow &TrafficLog::row(int index) const
{
    return m_rows[(m_head + index) % m_rows.size()];
}

const TrafficRow *TrafficLog::at(qint64 absolute) const
{
    if (absolute < first() || absolute >= m_end)
        return nullptr;
    return &row(int(absolute - first()));
}

// --- texts -----------------------------------------------------------------

namespace traffic {

QStringList columnTitles()
{
    return {QStringLiteral("Время"), QStringLiteral("Направление"), QStringLiteral("Байты"),
            QStringLiteral("Расшифровка"), QStringLiteral("Результат")};
}

QStringList rowTexts(const TrafficRow &row)
{
    QStringList texts;
    for (int c = 0; c < ColumnCount; ++c)
        texts << cellText(row, c);
    return texts;
}

QString formatRows(const QList<const TrafficRow *> &rows, Format format, bool withTitles)
{
    const bool csv = format == Format::Csv;
    const auto line = [csv](QStringList fields) {
        if (!csv)
            return fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
        for (QString &f : fields)
            f = csvField(f);
        return fields.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    };
    QString text;
    if (withTitles)
        text += line(columnTitles());
    for (const TrafficRow *row : rows) {
        QStringList texts = rowTexts(*row);
        // The table shows the time of day only; a saved file is read on
        // other days, and a long capture passes midnight.
        texts[TimeColumn] = QDateTime::fromMSecsSinceEpoch(row->timeMs)
                                .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
        text += line(texts);
    }
    return text;
}

} // namespace traffic

// --- TrafficModel ----------------------------------------------------------

TrafficModel::TrafficModel(const TrafficLog &log, QObject *parent)
    : QAbstractTableModel(parent), m_log(log),
      m_fixedFont(QFontDatabase::systemFont(QFontDatabase::FixedFont))
{
    m_first = m_end = log.first();
}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_end - m_first);
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : traffic::ColumnCount;
}

const TrafficRow *TrafficModel::rowAt(int row) const
{
    return m_log.at(m_first + row);
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    const TrafficRow *row = index.isValid() ? rowAt(index.row()) : nullptr;
    if (!row)
        return QVariant();
    const bool octets = index.column() == traffic::OctetsColumn;
    switch (role) {
    case Qt::DisplayRole:
        if (octets && row->octets.size() > kShownOctets)
            return traffic::hexText(row->octets.left(kShownOctets)) + QStringLiteral(" …");
        return cellText(*row, index.column());
    case Qt::ToolTipRole:
        return octets ? QVariant(cellText(*row, index.column())) : QVariant();
    case Qt::FontRole:
        return octets ? QVariant(m_fixedFont) : QVariant();
    case Qt::ForegroundRole:
        return index.column() == traffic::OutcomeColumn && traffic::isFailure(row->outcome)
                   ? QVariant(QColor(176, 0, 0))
                   : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == traffic::DirectionColumn ? QVariant(Qt::AlignCenter) : QVariant();
    default:
        return QVariant();
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return traffic::columnTitles().value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TrafficModel::sync()
{
    const qint64 first = m_log.first();
    const qint64 end = m_log.end();
    if (first == m_first && end == m_end)
        return;
    const qint64 gone = std::min(first, m_end) - m_first;
    const qint64 added = end - std::max(first, m_end);
    if (gone + added > kResetAbove || first > m_end) {
        beginResetModel();
        m_first = first;
        m_end = end;
        endResetModel();
        return;
    }
    if (gone > 0) {
        beginRemoveRows(QModelIndex(), 0, int(gone) - 1);
        m_first += gone;
        endRemoveRows();
    }
    if (added > 0) {
        const int at = rowCount();
        beginInsertRows(QModelIndex(), at, at + int(added) - 1);
        m_end = end;
        endInsertRows();
    }
}

// --- TrafficMonitor --------------------------------------------------------

TrafficMonitor::TrafficMonitor(IMessageBoxes &boxes, LinkActivity *activity, QWidget *parent)
    : QWidget(parent, Qt::Window), m_boxes(boxes), m_refresh(new QTimer(this)),
      m_statisticsRefresh(new QTimer(this))
{
    setObjectName(QStringLiteral("FormMonitor"));
    setWindowTitle(QStringLiteral("Монитор обмена"));
    resize(1060, 520);

    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(4, 4, 4, 4);
    auto *bar = new QHBoxLayout;
    m_pause = makeButton(QStringLiteral("ButtonMonitorPause"), QStringLiteral("Пауза"), this);
    m_pause->setCheckable(true);
    m_pause->setToolTip(QStringLiteral("Не добавлять новые кадры"));
    auto *clearButton = makeButton(QStringLiteral("ButtonMonitorClear"), QStringLiteral("Очистить"), this);
    auto *copy = makeButton(QStringLiteral("ButtonMonitorCopy"), QStringLiteral("Копировать"), this);
    copy->setToolTip(QStringLiteral("Копировать выделенные строки (Ctrl+C)"));
    auto *save = makeButton(QStringLiteral("ButtonMonitorSave"), QStringLiteral("Сохранить…"), this);
    m_writeLog = new QCheckBox(QStringLiteral("Писать в журнал"), this);
    m_writeLog->setObjectName(QStringLiteral("CheckBoxMonitorLog"));
    m_writeLog->setToolTip(QStringLiteral("Записывать кадры в файл журнала vexs.log"));
    m_writeLog->setChecked(framesLogged());
    m_count = makeLabel(QString(), this, QStringLiteral("StaticTextMonitorRows"));
    for (QWidget *w : {static_cast<QWidget *>(m_pause), static_cast<QWidget *>(clearButton),
                       static_cast<QWidget *>(copy), static_cast<QWidget *>(save)})
        bar->addWidget(w);
    bar->addSpacing(16);
    bar->addWidget(m_writeLog);
    bar->addStretch(1);
    bar->addWidget(m_count);
    top->addLayout(bar);

    m_model = new TrafficModel(m_log, this);
    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("GridMonitor"));
    m_view->setModel(m_model);
    m_view->setItemDelegate(new PlainCellDelegate(m_view));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->setAlternatingRowColors(true);
    m_view->verticalHeader()->setVisible(false);
    // Fixed row heights keep a table of many thousand rows cheap.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView *header = m_view->horizontalHeader();
    header->setStretchLastSection(true);
    const QFontMetrics fixed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    header->resizeSection(traffic::TimeColumn, fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")) + 16);
    header->resizeSection(traffic::DirectionColumn, fontMetrics().horizontalAdvance(QStringLiteral("Направление")) + 16);
    header->resizeSection(traffic::OctetsColumn,
                          fixed.horizontalAdvance(QString(3 * kShownOctets + 2, QLatin1Char('0'))));
    header->resizeSection(traffic::SummaryColumn, fontMetrics().horizontalAdvance(
        QStringLiteral("Адрес 1, функция 0x03, регистр 10012, регистров 11")) + 16);
    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("PageControlMonitor"));
    tabs->addTab(m_view, QStringLiteral("Кадры"));
    auto *statistics = new QWidget(tabs);
    auto *statisticsLayout = new QVBoxLayout(statistics);
    m_statisticsView = new QTableWidget(0, int(statisticsTitles().size()), statistics);
    m_statisticsView->setObjectName(QStringLiteral("GridLinkStatistics"));
    m_statisticsView->setHorizontalHeaderLabels(statisticsTitles());
    m_statisticsView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_statisticsView->verticalHeader()->setVisible(false);
    m_statisticsView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    statisticsLayout->addWidget(m_statisticsView, 1);
    auto *reset = makeButton(QStringLiteral("ButtonStatisticsReset"), QStringLiteral("Сбросить"), statistics);
    reset->setToolTip(QStringLiteral("Начать подсчёт заново"));
    auto *resetRow = new QHBoxLayout;
    resetRow->addWidget(reset);
    resetRow->addStretch(1);
    statisticsLayout->addLayout(resetRow);
    tabs->addTab(statistics, QStringLiteral("Статистика"));
    top->addWidget(tabs, 1);
    connectAction(reset, m_boxes, [this] { resetStatistics(); });
    m_statisticsRefresh->setInterval(kRefreshMs * 5);
    connect(m_statisticsRefresh, &QTimer::timeout, this, &TrafficMonitor::refreshStatistics);

    auto *copyAction = new QAction(m_view);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_view->addAction(copyAction);
    connect(copyAction, &QAction::triggered, this, &TrafficMonitor::copySelection);

    connect(m_pause, &QPushButton::toggled, this, &TrafficMonitor::setPaused);
    connectAction(clearButton, m_boxes, [this] { clear(); });
    connectAction(copy, m_boxes, [this] { copySelection(); });
    if (activity)
        connectDialogAction(save, *activity, m_boxes, [this] { saveClick(); });
    else
        connectAction(save, m_boxes, [this] { saveClick(); });
    connect(m_writeLog, &QCheckBox::toggled, this, [](bool on) { setFramesLogged(on); });

    m_refresh->setSingleShot(true);
    m_refresh->setInterval(kRefreshMs);
    connect(m_refresh, &QTimer::timeout, this, &TrafficMonitor::refresh);

    chooseSaveFile = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить обмен"), QString(),
                                            QStringLiteral("Текст (*.txt);;CSV (*.csv)"));
    };
    refresh();
}

void TrafficMonitor::watch(LinkStack &link)
{
    link.exchange().setObserver(this);
    connect(&link.tcp(), &TcpClient::octetsDiscarded, this, [this](int count) { octetsDiscarded(count); });
    m_statistics = &link.exchange().statistics();
    m_statisticsRefresh->start();
    refreshStatistics();
}

void TrafficMonitor::resetStatistics()
{
    if (m_statistics)
        m_statistics->reset();
    refreshStatistics();
}

void TrafficMonitor::refreshStatistics()
{
    // Counting goes on while the window is closed; drawing only while open.
    if (!m_statistics || (!isVisible() && m_statisticsView->rowCount() > 0))
        return;
    const QList<AddressStatistics> rows = m_statistics->rows();
    m_statisticsView->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const QStringList texts = statisticsTexts(rows[r]);
        for (int c = 0; c < texts.size(); ++c) {
            QTableWidgetItem *item = m_statisticsView->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                m_statisticsView->setItem(r, c, item);
            }
            item->setText(texts[c]);
        }
    }
}

void TrafficMonitor::retrySent(const QByteArray &request)
{
    if (m_paused)
        return;
    m_log.addRequest(QDateTime::currentMSecsSinceEpoch(), request, true);
}

void TrafficMonitor::requestSent(const QByteArray &request)
{
    if (m_paused)
        return;
    // The table takes the request together with what came back: drawn
    // now, it would be drawn inside the exchange's wait.
    m_log.addRequest(QDateTime::currentMSecsSinceEpoch(), request);
}

void TrafficMonitor::replyReceived(const QByteArray &request, const QByteArray &reply)
{
    if (m_paused)
        return;
    m_log.addReply(QDateTime::currentMSecsSinceEpoch(), request, reply);
    rowAdded();
}

void TrafficMonitor::octetsDiscarded(int count)
{
    if (m_paused)
        return;
    m_log.addDiscarded(QDateTime::currentMSecsSinceEpoch(), count);
    rowAdded();
}

void TrafficMonitor::rowAdded()
{
    // Closed, the window only keeps the rows; the table catches up when shown.
    if (isVisible() && !m_refresh->isActive())
        m_refresh->start();
}

void TrafficMonitor::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    refreshStatistics();
    m_view->scrollToBottom();
}

void TrafficMonitor::refresh()
{
    QScrollBar *scroll = m_view->verticalScrollBar();
    const bool atBottom = scroll->value() == scroll->maximum();
    m_model->sync();
    m_count->setText(QStringLiteral("Строк: %1").arg(m_log.size()));
    // Following the newest rows unless the user scrolled up to read.
    if (atBottom)
        m_view->scrollToBottom();
}

void TrafficMonitor::setPaused(bool paused)
{
    m_paused = paused;
    if (m_pause->isChecked() != paused)
        m_pause->setChecked(paused);
}

void TrafficMonitor::clear()
{
    m_log.clear();
    refresh();
}

bool TrafficMonitor::saveTo(const QString &path, QString *error)
{
    QList<const TrafficRow *> rows;
    rows.reserve(m_log.size());
    for (int i = 0; i < m_log.size(); ++i)
        rows << &m_log.row(i);
    const bool csv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    QString text = traffic::formatRows(rows, csv ? traffic::Format::Csv : traffic::Format::Text, true);
    // Without the mark a spreadsheet reads the file in the system's code
    // page and the Russian texts come out garbled. The file is written
    // whole, so it is always at its start.
    if (csv)
        text.prepend(QChar(0xFEFF));
    return saveWholeFile(path, text.toUtf8(), error);
}

void TrafficMonitor::saveClick()
{
    const QString path = chooseSaveFile ? chooseSaveFile() : QString();
    QString why;
    if (!path.isEmpty() && !saveTo(path, &why))
        m_boxes.error(QStringLiteral("Не удалось записать файл %1\n%2").arg(path, why));
}

void TrafficMonitor::copySelection()
{
    QModelIndexList selected = m_view->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QList<const TrafficRow *> rows;
    for (const QModelIndex &index : selected) {
        if (const TrafficRow *row = m_model->rowAt(index.row()))
            rows << row;
    }
    if (!rows.isEmpty())
        QApplication::clipboard()->setText(traffic::formatRows(rows, traffic::Format::Text, false));
}

} // namespace vexs
