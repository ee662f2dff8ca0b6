#include "settings/math_page.h"

#include "settings/block_io.h"
#include "settings/field_lists.h"
#include "settings/record_layout.h"
#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QComboBox>
#include <QDataStream>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
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
// away, so their X and Y cells wait in a stash until the rows come back,
// whole (the exact value behind a rounded text included).
void sizeTable(QTableWidget *grid, int newValue)
{
    static const char kStash[] = "vexsHiddenPoints";
    const int points = std::clamp(newValue, 1, kTablePoints);
    QVariantMap stash = grid->property(kStash).toMap();
    for (int row = points + 1; row < grid->rowCount(); ++row) {
        for (int column = 1; column <= 2; ++column) {
            if (const QTableWidgetItem *item = grid->item(row, column)) {
                QByteArray cell;
                QDataStream out(&cell, QIODevice::WriteOnly);
                item->write(out);
                stash.insert(QStringLiteral("%1:%2").arg(row).arg(column), cell);
            }
        }
    }
    const int oldRows = grid->rowCount();
    grid->setRowCount(points + 1);
    for (int row = oldRows; row <= points; ++row) {
        for (int column = 1; column <= 2; ++column) {
            const QString key = QStringLiteral("%1:%2").arg(row).arg(column);
            if (!stash.contains(key))
                continue;
            QDataStream in(stash.take(key).toByteArray());
            auto *item = new QTableWidgetItem;
            item->read(in);
            grid->setItem(row, column, item);
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
    : ChannelPage(context, parent)
{
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
    auto pickList = [m](const char *prefix) {
        return makeFieldList(mathChannelLayout(), QString::fromLatin1(prefix), m, QComboBox::AdjustToContents);
    };
    auto edit = [](const QString &editName) { return makeEdit(editName, nullptr, kEditWidth); };

    // Settings of the channel, one labelled control per row. Sheet М1's
    // labels carry names: their captions are quoted in the messages of all
    // four channels.
    auto *form = new QGridLayout;
    int row = 0;
    auto addRow = [&](const char *caption, QWidget *field, const char *labelOnFirstSheet = nullptr) {
        addFormRow(form, row++, QString::fromUtf8(caption), field,
                   m == 1 && labelOnFirstSheet ? QString::fromLatin1(labelOnFirstSheet) : QString(),
                   Qt::AlignLeft);
    };
    addRow("Вкл/Выкл", pickList("ComboBoxMatCanVkl"));
    addRow("Формула", pickList("ComboBoxMatCanFormula"));
    // The first caption's letter is Cyrillic, the lists' are Latin.
    const char *const operands[][2] = {{"A", "Выбор А"}, {"B", "Выбор B"}, {"C", "Выбор C"}, {"D", "Выбор D"}};
    for (const auto &[letter, operandCaption] : operands) {
        const QString prefix = QStringLiteral("ComboBoxMatCanZn") + QLatin1String(letter);
        addRow(operandCaption, makeChannelList(composedName(prefix, m), listItems(mathChannelLayout(), prefix),
                                               QStringLiteral("A=Канал 4 -нет")));
    }
    QLineEdit *units = edit(name("EditMatCanEd"));
    // A six-character text from the device is shown and written back whole.
    limitTypedLength(units, kTypedUnitLength);
    addRow("Ед. измерения", units, label::MatCanEd);
    addRow("Дес. знаков", pickList("ComboBoxMatCanZap"));
    addRow("Барграф", pickList("ComboBoxIndBarType_"));
    addRow("Цвет уставки больше", pickList("ComboBoxIndBarColorUstBolse_"));
    addRow("Цвет уставки меньше", pickList("ComboBoxIndBarColorUstMense_"));
    addRow("Барграф 0%", edit(name("EditIndBarNPI_")), label::MatCanNPI);
    addRow("Барграф 100%", edit(name("EditIndBarVPI_")), label::MatCanVPI);
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

    const auto buttons = makeReadWriteButtons(
        m_ctx, name("ButtonReadNastrMatCan"), name("ButtonWriteNastrMatCan"),
        [this, m] { ButtonReadNastrMatCan1Click(m); }, [this, m] { ButtonWriteNastrMatCan1Click(m); });

    auto *columns = new QHBoxLayout;
    columns->addLayout(form);
    columns->addWidget(tableBox);
    columns->addWidget(coeffBox, 0, Qt::AlignTop);
    columns->addStretch(1);
    auto *outer = new QVBoxLayout(sheet);
    outer->addLayout(columns, 1);
    outer->addLayout(buttons.row(RowAlign::Left));

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
