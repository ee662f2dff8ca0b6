#pragma once

// Builders shared by every page, so each control gets its object name,
// caption and look in one place. A null parent leaves the widget to the
// layout it is added to.

#include <QComboBox>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QWidget;

namespace vexs {

struct PageContext;

QLabel *makeLabel(const QString &text, QWidget *parent = nullptr, const QString &name = QString());
// A value field: white background, sunken frame, empty.
QLabel *makeValueLabel(const QString &name, QWidget *parent);
QPushButton *makeButton(const QString &name, const QString &caption, QWidget *parent = nullptr);
QGroupBox *makeGroup(const QString &name, const QString &title, QWidget *parent = nullptr);
// A string grid whose row 0 (and column 0 when fixedColumn) are the fixed
// header cells: grey and not editable. Rows are rowHeight pixels high and
// the widget's own headers are hidden, since row 0 is the header.
QTableWidget *makeStringGrid(const QString &name, int columns, int rows, bool fixedColumn,
                             int rowHeight, QWidget *parent);

// A drop-down list to pick from (nothing can be typed into it). With Qt's
// default sizing it takes its width from the items it has when first shown;
// AdjustToContents follows the items.
QComboBox *makePickList(const QString &name, const QStringList &items, QWidget *parent = nullptr,
                        QComboBox::SizeAdjustPolicy sizing = QComboBox::AdjustToContentsOnFirstShow);
// A pick list as wide as `chars` characters whatever its items; the
// drop-down still shows the whole texts.
QComboBox *makeSizedList(const QString &name, const QStringList &items, int chars,
                         QWidget *parent = nullptr);
// Channel names grow a module's state (" -нет", " -выкл") after a bulk read:
// the list is sized from the start for the longest such item, plus
// spareChars, so that the layout keeps its width.
QComboBox *makeChannelList(const QString &name, const QStringList &items,
                           const QString &longestItem, int spareChars = 0,
                           QWidget *parent = nullptr);

// fixedWidth 0 leaves the width to the layout.
QLineEdit *makeEdit(const QString &name, QWidget *parent = nullptr, int fixedWidth = 0);
// A spinner at `value`; the line edit inside it carries editName (unnamed
// when empty), since the program reads and hides it under that name.
QSpinBox *makeSpinner(const QString &name, const QString &editName, int min, int max, int value,
                      QWidget *parent = nullptr);

// The user types at most maxTyped characters. A longer text set by the
// program (a units text read from the device) is shown and written back
// whole, and may be edited as long as it does not grow; once the user has
// shortened it to the limit it stays within the limit. A plain maximum
// length would cut the device's text instead.
void limitTypedLength(QLineEdit *edit, int maxTyped);

// Buttons side by side: pushed to the left or the right by a stretch, or
// left to the cell they are put in.
enum class RowAlign { None, Left, Right };
QHBoxLayout *buttonRow(const QList<QWidget *> &buttons, RowAlign align = RowAlign::None);

// The "Считать"/"Записать" pair of one group of settings, both connected as
// request controls.
struct ReadWriteButtons
{
    QPushButton *read;
    QPushButton *write;
    QHBoxLayout *row(RowAlign align = RowAlign::None) const;
};
ReadWriteButtons makeReadWriteButtons(PageContext &context, const QString &readName,
                                      const QString &writeName, std::function<void()> onRead,
                                      std::function<void()> onWrite, QWidget *parent = nullptr,
                                      const QString &writeCaption = QStringLiteral("Записать"));

// A caption in column 0 (a label named labelName, when given) and its
// control in column 1 of `row`.
void addFormRow(QGridLayout *grid, int row, const QString &caption, QWidget *field,
                const QString &labelName = QString(), Qt::Alignment fieldAlignment = {});

} // namespace vexs
