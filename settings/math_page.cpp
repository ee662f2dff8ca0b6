#include "settings/math_page.h"

#include "settings/block_io.h"
#include "settings/record_layout.h"
#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVariantMap>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <numeric>

namespace vexs {

namespace {

constexpr int kTypedUnitLength = 5;
constexpr int kEditWidth = 110;
constexpr int kFirstCounterEdit = 50; // Edit50..Edit53 show the counters of М1..М4

const QString kGrid = QStringLiteral("StringGridMatCanCoeff");
const QString kCounter = QStringLiteral("UpDownMatCanKolCoeff");

// Sheet М1's labels carry names: their captions are quoted in the messages
// of all four channels.
QLabel *caption(const char *text, int m, const char *nameOnFirstSheet = nullptr)
{
    return makeLabel(QString::fromUtf8(text), nullptr,
                     m == 1 && nameOnFirstSheet ? QString::fromLatin1(nameOnFirstSheet) : QString());
}

QStringList colours()
{
    return listItems(mathChannelLayout(), QStringLiteral("ComboBoxIndBarType_"));
}

QStringList operandItems(const QString &letter)
{
    return listItems(mathChannelLayout(), QStringLiteral("ComboBoxMatCanZn") + letter);
}

// Header cells and point numbers are not edited in place.
void setFixedCell(QTableWidget *grid, int row, int column, const QString &text)
{
    QTableWidgetItem *item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        grid->setItem(row, column, item);
    }
    item->setFlags(Qt::ItemIsEnabled);
    item->setText(text);
    item->setTextAlignment(Qt::AlignCenter);
    if (row == 0)
        item->setBackground(grid->palette().button());
}

// N + 1 rows: the header row and one per point. Values are kept even in
// rows that a smaller N hides for a while: the grid drops rows it shrinks
// away, so their X and Y texts wait in a stash until the rows come back.
void sizeTable(QTableWidget *grid, int newValue)
{
    static const char kStash[] = "vexsHiddenPoints";
    const int points = std::clamp(newValue, 1, kTablePoints);
    QVariantMap stash = grid->property(kStash).toMap();
    for (int row = points + 1; row < grid->rowCount(); ++row) {
        for (int column = 1; column <= 2; ++column) {
            if (const QTableWidgetItem *item = grid->item(row, column))
                stash.insert(QStringLiteral("%1:%2").arg(row).arg(column), item->text());
        }
    }
    const int oldRows = grid->rowCount();
    grid->setRowCount(points + 1);
    for (int row = oldRows; row <= points; ++row) {
        for (int column = 1; column <= 2; ++column) {
            const QString key = QStringLiteral("%1:%2").arg(row).arg(column);
            if (stash.contains(key))
                grid->setItem(row, column, new QTableWidgetItem(stash.take(key).toString()));
        }
    }
    grid->setProperty(kStash, stash);
    grid->setColumnWidth(0, 30);
    setFixedCell(grid, 0, 0, QStringLiteral("№"));
    setFixedCell(grid, 0, 1, QStringLiteral("X"));
    setFixedCell(grid, 0, 2, QStringLiteral("Y"));
    for (int row = 1; row <= points; ++row)
        setFixedCell(grid, row, 0, QString::number(row));
}

} // namespace

MathChannelsPage::MathChannelsPage(PageContext &context, QWidget *parent)
    : QWidget(parent), m_ctx(context)
{
    m_ctx.channelLabels.append(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("PageControl2"));
    layout->addWidget(tabs);
    for (int m = 1; m <= kSheets; ++m)
        tabs->addTab(buildSheet(m), QStringLiteral("Канал М") + QString::number(m));
}

QWidget *MathChannelsPage::buildSheet(int m)
{
    auto *sheet = new QWidget;
    sheet->setObjectName(composedName(QStringLiteral("TabSheet"), 12 + m));
    auto name = [m](const char *prefix) { return composedName(QString::fromLatin1(prefix), m); };
    // The sheet's lists follow their items; its edits share one width.
    auto pickList = [](const QString &listName, const QStringList &items) {
        return makePickList(listName, items, nullptr, QComboBox::AdjustToContents);
    };
    auto channelList = [](const QString &listName, const QStringList &items) {
        return makeChannelList(listName, items, QStringLiteral("A=Канал 4 -нет"));
    };
    auto edit = [](const QString &editName) { return makeEdit(editName, nullptr, kEditWidth); };

    // Settings of the channel, one labelled control per row.
    auto *form = new QGridLayout;
    int row = 0;
    auto addRow = [&](QLabel *label, QWidget *field) {
        form->addWidget(label, row, 0);
        form->addWidget(field, row, 1, Qt::AlignLeft);
        ++row;
    };
    addRow(caption("Вкл/Выкл", m),
           pickList(name("ComboBoxMatCanVkl"), offOnItems()));
    addRow(caption("Формула", m),
           pickList(name("ComboBoxMatCanFormula"),
                    listItems(mathChannelLayout(), QStringLiteral("ComboBoxMatCanFormula"))));
    addRow(caption("Выбор А", m), channelList(name("ComboBoxMatCanZnA"), operandItems(QStringLiteral("A"))));
    addRow(caption("Выбор B", m), channelList(name("ComboBoxMatCanZnB"), operandItems(QStringLiteral("B"))));
    addRow(caption("Выбор C", m), channelList(name("ComboBoxMatCanZnC"), operandItems(QStringLiteral("C"))));
    addRow(caption("Выбор D", m), channelList(name("ComboBoxMatCanZnD"), operandItems(QStringLiteral("D"))));
    QLineEdit *units = edit(name("EditMatCanEd"));
    // A six-character text from the device is shown and written back whole.
    limitTypedLength(units, kTypedUnitLength);
    addRow(caption("Ед. измерения", m, label::MatCanEd), units);
    addRow(caption("Дес. знаков", m),
           pickList(name("ComboBoxMatCanZap"), listItems(mathChannelLayout(), QStringLiteral("ComboBoxMatCanZap"))));
    addRow(caption("Барграф", m), pickList(name("ComboBoxIndBarType_"), colours()));
    addRow(caption("Цвет уставки больше", m), pickList(name("ComboBoxIndBarColorUstBolse_"), colours()));
    addRow(caption("Цвет уставки меньше", m), pickList(name("ComboBoxIndBarColorUstMense_"), colours()));
    addRow(caption("Барграф 0%", m, label::MatCanNPI), edit(name("EditIndBarNPI_")));
    addRow(caption("Барграф 100%", m, label::MatCanVPI), edit(name("EditIndBarVPI_")));
    form->setRowStretch(row, 1);

    // Linearisation table: the counter above the grid it sizes.
    QGroupBox *tableBox = makeGroup(QString(), QStringLiteral(" Линеаризация "));
    auto *tableLayout = new QVBoxLayout(tableBox);
    QSpinBox *counter =
        makeSpinner(name("UpDownMatCanKolCoeff"),
                    composedName(QStringLiteral("Edit"), kFirstCounterEdit + m - 1), 1, kTablePoints, 1);
    counter->setFixedWidth(60);
    counter->findChild<QLineEdit *>()->setReadOnly(true);
    tableLayout->addWidget(counter, 0, Qt::AlignLeft);
    auto *grid = new QTableWidget(0, 3);
    grid->setObjectName(name("StringGridMatCanCoeff"));
    // Row 0 is the grid's own header row, as the rest of the program expects.
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(20);
    grid->setColumnWidth(1, 90);
    grid->setColumnWidth(2, 90);
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                          | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setMinimumWidth(30 + 90 + 90 + 24);
    tableLayout->addWidget(grid, 1);
    connect(counter, &QSpinBox::valueChanged, this, [this, counter](int value) {
        runGuarded(m_ctx.boxes,
                   [&] { UpDownMatCanKolCoeff1ChangingEx(itemNumberOf(counter), value); });
    });

    QGroupBox *coeffBox = makeGroup(QString(), QStringLiteral(" Коэффициенты "));
    auto *coeffLayout = new QGridLayout(coeffBox);
    for (int k = 1; k <= 4; ++k) {
        coeffLayout->addWidget(new QLabel(QStringLiteral("K") + QString::number(k)), k - 1, 0);
        coeffLayout->addWidget(
            edit(composedName(QStringLiteral("EditMatCanK%1_").arg(k), m)), k - 1, 1);
    }
    coeffLayout->setRowStretch(4, 1);

    QPushButton *read = makeButton(name("ButtonReadNastrMatCan"), QStringLiteral("Считать"));
    QPushButton *write = makeButton(name("ButtonWriteNastrMatCan"), QStringLiteral("Записать"));
    connectRequest(read, m_ctx, [this, read] { ButtonReadNastrMatCan1Click(itemNumberOf(read)); });
    connectRequest(write, m_ctx, [this, write] { ButtonWriteNastrMatCan1Click(itemNumberOf(write)); });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(read);
    buttons->addWidget(write);
    buttons->addStretch(1);

    auto *columns = new QHBoxLayout;
    columns->addLayout(form);
    columns->addWidget(tableBox);
    columns->addWidget(coeffBox, 0, Qt::AlignTop);
    columns->addStretch(1);
    auto *outer = new QVBoxLayout(sheet);
    outer->addLayout(columns, 1);
    outer->addLayout(buttons);

    // The counter starts at 1: give the table its header and first row.
    sizeTable(grid, counter->value());
    return sheet;
}

void MathChannelsPage::resetTables()
{
    for (int m = 1; m <= kSheets; ++m) {
        const QString counter = composedName(kCounter, m);
        const QString grid = composedName(kGrid, m);
        // The counter stops at 1. When it already stood there the change
        // handler does not run, so size the table here as well.
        m_ctx.controls.setPosition(counter, 0);
        UpDownMatCanKolCoeff1ChangingEx(m, m_ctx.controls.position(counter));
        m_ctx.controls.setCell(grid, 1, 1, QStringLiteral("0"));
        m_ctx.controls.setCell(grid, 2, 1, QStringLiteral("0"));
    }
}

void MathChannelsPage::UpDownMatCanKolCoeff1ChangingEx(int m, int newValue)
{
    const QString name = composedName(kGrid, m);
    auto *grid = findChild<QTableWidget *>(name);
    if (!grid)
        throw MissingControl(name);
    sizeTable(grid, newValue);
}

void MathChannelsPage::ButtonReadNastrMatCan1Click(int m)
{
    // Nothing is shown unless every chunk arrived.
    readGroupIntoPage(m_ctx, configGroup(GroupFamily::Math, m));
}

void MathChannelsPage::ButtonWriteNastrMatCan1Click(int m)
{
    // Chunks the device accepted before a failure stay written.
    writeGroupFromPage(m_ctx, configGroup(GroupFamily::Math, m));
}

void MathChannelsPage::relabelChannels(const ChannelPresence &presence)
{
    static const char *const operandLetters[] = {"A", "B", "C", "D"};
    for (int m = 1; m <= 4; ++m) {
        for (const char *letter : operandLetters) {
            const QString list = composedName(QStringLiteral("ComboBoxMatCanZn") + QLatin1String(letter), m);
            for (int k = 1; k <= 4; ++k)
                m_ctx.controls.setItemText(list, k - 1, QLatin1String(letter) + QLatin1Char('=')
                                                            + channelName(k, presence.absent[k - 1]));
        }
    }
}

} // namespace vexs
