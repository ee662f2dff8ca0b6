#pragma once

// The traffic monitor ("Монитор обмена", Ctrl+T): one row per frame that went
// over the link, fed by the link's observer. The rows are kept whether the
// window is open or not, so after a failure the window shows what led to it.

#include "link/frame_summary.h"
#include "link/link_observer.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QFont>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;

namespace vexs {

class IMessageBoxes;
class LinkActivity;
class LinkStack;
class LinkStatistics;

struct TrafficRow
{
    enum Kind : quint8 { Request, Reply, Discarded };
    qint64 timeMs = 0; // since the epoch
    Kind kind = Request;
    FrameOutcome outcome = FrameOutcome::None;
    int discarded = 0;  // octets thrown away, for a Discarded row
    QByteArray octets;
    bool retry = false; // a read sent again after a failed try
};

// The last `capacity` rows, oldest first. Every row ever added has an
// absolute number, so a view that lags behind can still tell which of its
// rows are gone.
class TrafficLog
{
public:
    static constexpr int kDefaultCapacity = 20000;
    explicit TrafficLog(int capacity = kDefaultCapacity);

    void addRequest(qint64 timeMs, const QByteArray &request, bool retry = false);
    // The outcome is judged against the request it answers.
    void addReply(qint64 timeMs, const QByteArray &request, const QByteArray &reply);
    void addDiscarded(qint64 timeMs, int count);
    void clear();

    int size() const { return int(m_rows.size()); }
    int capacity() const { return m_capacity; }
    // Absolute number of the oldest row kept, and one past the newest.
    qint64 first() const { return m_end - size(); }
    qint64 end() const { return m_end; }
    // Null for a row no longer kept (or not yet added).
    const TrafficRow *at(qint64 absolute) const;
    // 0 is the oldest row kept.
    const TrafficRow &row(int index) const;

private:
    void add(TrafficRow row);

    int m_capacity;
    std::vector<TrafficRow> m_rows; // a ring once full
    int m_head = 0;                 // index of the oldest row when full
    qint64 m_end = 0;
};

namespace traffic {
enum Column { TimeColumn, DirectionColumn, OctetsColumn, SummaryColumn, OutcomeColumn, ColumnCount };
QStringList columnTitles();
// The texts of a row's columns, as the table shows them.
QStringList rowTexts(const TrafficRow &row);
// Rows as text: columns separated by tabs (copy, .txt), or CSV with ';'
// (what spreadsheets set to a decimal comma expect) and quotes where needed.
// The time column carries the date as well ("2026-12-09 09:07:05.123").
enum class Format { Text, Csv };
QString formatRows(const QList<const TrafficRow *> &rows, Format format, bool withTitles);
} // namespace traffic

// The table's view of a TrafficLog. It catches up with the log in sync(), so
// a burst of frames costs one update of the table.
class TrafficModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TrafficModel(const TrafficLog &log, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void sync();
    // Null for a row the log no longer keeps.
    const TrafficRow *rowAt(int row) const;

private:
    const TrafficLog &m_log;
    QFont m_fixedFont;
    qint64 m_first = 0; // absolute numbers of the rows the view knows
    qint64 m_end = 0;
};

class TrafficMonitor : public QWidget, public ILinkObserver
{
    Q_OBJECT
public:
    // With `activity`, saving waits for an exchange that is waiting, so its
    // file dialog never holds that wait open.
    explicit TrafficMonitor(IMessageBoxes &boxes, LinkActivity *activity = nullptr,
                            QWidget *parent = nullptr);

    void requestSent(const QByteArray &request) override;
    void retrySent(const QByteArray &request) override;
    void replyReceived(const QByteArray &request, const QByteArray &reply) override;
    void octetsDiscarded(int count) override;

    // Watches the link: every exchange, the octets the gateway's client
    // throws away, and the link's statistics in the tab "Статистика".
    void watch(LinkStack &link);
    // "Сбросить" of the statistics.
    void resetStatistics();
    QTableWidget *statisticsView() const { return m_statisticsView; }

    // "Пауза": while paused no rows are added, so the table holds still.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    void clear();
    // Saves every row; a name ending in .csv gets CSV after a UTF-8 byte
    // order mark, any other text.
    bool saveTo(const QString &path, QString *error = nullptr);
    // "Сохранить…": asks for the file and saves.
    void saveClick();
    // Selected rows to the clipboard, as text.
    void copySelection();

    // The save dialog; returns the chosen path or empty. Tests replace it.
    std::function<QString()> chooseSaveFile;

    const TrafficLog &log() const { return m_log; }
    TrafficModel &model() { return *m_model; }
    QTableView *view() const { return m_view; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rowAdded();
    void refresh();
    void refreshStatistics();

    IMessageBoxes &m_boxes;
    TrafficLog m_log;
    TrafficModel *m_model;
    QTableView *m_view;
    QPushButton *m_pause;
    QCheckBox *m_writeLog;
    QLabel *m_count;
    QTimer *m_refresh;
    bool m_paused = false;
    LinkStatistics *m_statistics = nullptr;
    QTableWidget *m_statisticsView = nullptr;
    QTimer *m_statisticsRefresh;
};

} // namespace vexs
