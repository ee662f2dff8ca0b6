#include "shell/journal_window.h"

#include "link/link_activity.h"
#include "settings/whole_file.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <utility>

namespace vexs {

namespace {

// More notes than this are counted, not listed; the tooltip has them all.
constexpr int kNotesShown = 5;

} // namespace

// The table's texts, made once per record shown: a journal of years has tens
// of thousands of records, and the view asks for each cell many times.
class JournalModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRecords(const QList<JournalRecord> &records)
    {
        beginResetModel();
        m_rows.clear();
        m_rows.reserve(records.size());
        for (const JournalRecord &r : records)
            m_rows.append({journal::rowTexts(r), r.ok});
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : journal::ColumnCount;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_rows.size())
            return QVariant();
        const Row &row = m_rows[index.row()];
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            // The long cells are cut in the table; the tooltip has them whole.
            return row.texts.value(index.column());
        case Qt::ForegroundRole:
            return index.column() == journal::Outcome && !row.ok ? QVariant(QColor(176, 0, 0)) : QVariant();
        default:
            return QVariant();
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return journal::columnTitles().value(section);
        return QAbstractTableModel::headerData(section, orientation, role);
    }

private:
    struct Row
    {
        QStringList texts;
        bool ok;
    };
    QList<Row> m_rows;
};

JournalWindow::JournalWindow(IMessageBoxes &boxes, QString folder, LinkActivity *activity, QWidget *parent)
    : QDialog(parent), m_boxes(boxes), m_store(std::move(folder)), m_model(new JournalModel(this))
{
    setObjectName(QStringLiteral("DialogJournal"));
    setWindowTitle(QStringLiteral("Журнал записи"));
    setModal(false);
    resize(1100, 520);

    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(4, 4, 4, 4);
    auto *filters = new QHBoxLayout;
    m_serial = makeEdit(QStringLiteral("EditJournalSerial"), this, 110);
    m_serial->setToolTip(QStringLiteral("Только записи прибора с этим заводским номером"));
    m_since = makeEdit(QStringLiteral("EditJournalSince"), this, 100);
    m_until = makeEdit(QStringLiteral("EditJournalUntil"), this, 100);
    for (QLineEdit *date : {m_since, m_until}) {
        date->setPlaceholderText(QStringLiteral("ДД.ММ.ГГГГ"));
        date->setToolTip(QStringLiteral("Дата включительно; пусто — без ограничения"));
    }
    m_text = makeEdit(QStringLiteral("EditJournalText"), this);
    m_text->setToolTip(QStringLiteral("Текст в любом месте записи: что записано, изменения, итог, связь, "
                                      "пользователь"));
    const struct
    {
        const char *caption;
        const char *name;
        QLineEdit *edit;
    } fields[] = {{"Заводской номер", "LabelJournalSerial", m_serial},
                  {"С", "LabelJournalSince", m_since},
                  {"По", "LabelJournalUntil", m_until},
                  {"Текст", "LabelJournalText", m_text}};
    for (const auto &f : fields) {
        filters->addWidget(makeLabel(QString::fromUtf8(f.caption), this, QString::fromLatin1(f.name)));
        filters->addWidget(f.edit, f.edit == m_text ? 1 : 0);
        filters->addSpacing(8);
        connect(f.edit, &QLineEdit::textChanged, this, &JournalWindow::applyFilter);
    }
    top->addLayout(filters);

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("GridJournal"));
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->setAlternatingRowColors(true);
    m_view->verticalHeader()->setVisible(false);
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    // Widths from sample texts: fitting the columns to their contents would
    // measure every row of a long journal.
    QHeaderView *header = m_view->horizontalHeader();
    header->setStretchLastSection(true);
    const struct
    {
        journal::Column column;
        const char *sample;
    } widths[] = {{journal::Time, "00.00.0000 00:00:00"},
                  {journal::User, "Пользователь"},
                  {journal::Link, "RS-485, COM1, 115200 бит/с"},
                  {journal::Address, "Адрес"},
                  {journal::Serial, "Заводской номер"},
                  {journal::What, "Канал измерения 1"},
                  {journal::Changes, "ВПИ: 100.000 -> 250.000; НПИ: 0.000 -> 10.000"}};
    for (const auto &w : widths)
        header->resizeSection(w.column, fontMetrics().horizontalAdvance(QString::fromUtf8(w.sample)) + 16);
    top->addWidget(m_view, 1);

    m_notes = makeLabel(QString(), this, QStringLiteral("StaticTextJournalNotes"));
    m_notes->setWordWrap(true);
    m_notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notes->setVisible(false);
    top->addWidget(m_notes);

    auto *bottom = new QHBoxLayout;
    m_count = makeLabel(QString(), this, QStringLiteral("StaticTextJournalCount"));
    m_count->setToolTip(QStringLiteral("Папка журнала: ") + QDir::toNativeSeparators(m_store.folder()));
    auto *refresh = makeButton(QStringLiteral("ButtonJournalRefresh"), QStringLiteral("Обновить"), this);
    refresh->setToolTip(QStringLiteral("Прочитать журнал заново"));
    auto *save = makeButton(QStringLiteral("ButtonJournalExport"), QStringLiteral("Экспорт в CSV…"), this);
    save->setToolTip(QStringLiteral("Сохранить показанные записи в файл CSV"));
    auto *closeButton = makeButton(QStringLiteral("ButtonJournalClose"), QStringLiteral("Закрыть"), this);
    bottom->addWidget(m_count, 1);
    bottom->addWidget(refresh);
    bottom->addWidget(save);
    bottom->addWidget(closeButton);
    top->addLayout(bottom);

    connectAction(refresh, m_boxes, [this] { reload(); });
    if (activity)
        connectDialogAction(save, *activity, m_boxes, [this] { exportClick(); });
    else
        connectAction(save, m_boxes, [this] { exportClick(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);

    chooseExportFile = [this] {
        const QString suggested = QDir::homePath() + QStringLiteral("/journal-")
                                  + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv");
        return QFileDialog::getSaveFileName(this, QStringLiteral("Экспорт журнала в CSV"), suggested,
                                            QStringLiteral("CSV (*.csv);;Все файлы (*)"));
    };
}

void JournalWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    reload();
}

void JournalWindow::reload()
{
    const JournalRead read = m_store.read();
    m_all = read.records;
    QString notes;
    if (!read.notes.isEmpty()) {
        notes = QStringLiteral("Пропущено при чтении журнала: %1").arg(read.notes.size());
        for (const QString &note : read.notes.mid(0, kNotesShown))
            notes += QLatin1Char('\n') + note;
        if (read.notes.size() > kNotesShown)
            notes += QStringLiteral("\n… и ещё %1").arg(read.notes.size() - kNotesShown);
    }
    m_notes->setText(notes);
    m_notes->setToolTip(read.notes.join(QLatin1Char('\n')));
    m_notes->setVisible(!notes.isEmpty());
    applyFilter();
    m_view->scrollToBottom();
}

JournalFilter JournalWindow::filterFromEdits(QString *problem) const
{
    JournalFilter filter;
    filter.serial = m_serial->text();
    filter.text = m_text->text();
    QStringList bad;
    for (const auto &[edit, date] : {std::pair{m_since, &filter.since}, std::pair{m_until, &filter.until}}) {
        if (!parseJournalDate(edit->text(), date))
            bad << QStringLiteral("«%1»").arg(edit->text().trimmed());
    }
    if (problem)
        *problem = bad.isEmpty() ? QString()
                                 : QStringLiteral("дата %1 не понята (нужно ДД.ММ.ГГГГ) и не учитывается")
                                       .arg(bad.join(QStringLiteral(", ")));
    return filter;
}

void JournalWindow::applyFilter()
{
    QString problem;
    m_shown = filtered(m_all, filterFromEdits(&problem));
    m_model->setRecords(m_shown);
    QString count = m_all.isEmpty() ? QStringLiteral("Записей нет")
                                    : QStringLiteral("Записей: %1 из %2").arg(m_shown.size()).arg(m_all.size());
    if (!problem.isEmpty())
        count += QStringLiteral("; ") + problem;
    m_count->setText(count);
}

bool JournalWindow::exportTo(const QString &path, QString *error) const
{
    return saveWholeFile(path, journalCsv(m_shown), error);
}

void JournalWindow::exportClick()
{
    const QString path = chooseExportFile ? chooseExportFile() : QString();
    if (path.isEmpty())
        return;
    QString why;
    if (exportTo(path, &why))
        m_boxes.info(QStringLiteral("Журнал сохранён (записей: %1): %2")
                         .arg(m_shown.size())
                         .arg(QDir::toNativeSeparators(path)));
    else
        m_boxes.error(QStringLiteral("Не удалось записать файл %1\n%2").arg(QDir::toNativeSeparators(path), why));
}

} // namespace vexs
