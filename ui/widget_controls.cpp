#include "ui/widget_controls.h"

#include "ui/date_field.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTableWidget>

namespace vexs {

namespace {

// The exact real behind a text, and the text it stands behind: an edit
// keeps them as properties, a grid cell as item data.
const char kExact[] = "vexsExactReal";
const char kExactText[] = "vexsExactText";
constexpr int kExactRole = Qt::UserRole + 1;
constexpr int kExactTextRole = Qt::UserRole + 2;

} // namespace

QString maskedText(const QLineEdit *edit)
{
    if (edit->inputMask().isEmpty())
        return edit->text();
    // displayText() keeps every position; the blank character is shown as '_'.
    QString shown = edit->displayText();
    shown.replace(u'_', u' ');
    return shown;
}

void setMaskedText(QLineEdit *edit, const QString &text)
{
    // The edit's own mask, remembered the first time it is met.
    static const char kMask[] = "vexsInputMask";
    QString mask = edit->property(kMask).toString();
    if (mask.isEmpty() && !edit->inputMask().isEmpty()) {
        mask = edit->inputMask();
        edit->setProperty(kMask, mask);
    }
    if (mask.isEmpty()) {
        edit->setText(text);
        return;
    }
    if (edit->inputMask() != mask)
        edit->setInputMask(mask);
    edit->setText(text);
    // A shorter text keeps the mask, its unfilled positions reading as blanks.
    const QString shown = maskedText(edit);
    bool held = shown.startsWith(text);
    for (qsizetype i = text.size(); held && i < shown.size(); ++i)
        held = shown[i] == u' ' || shown[i].isPunct();
    if (held)
        return;
    // A text from the device that the mask would cut or shift is shown whole,
    // without the mask, until a text fits again.
    edit->setInputMask(QString());
    edit->setMaxLength(32767);
    edit->setText(text);
}

QWidget *WidgetControls::widget(const QString &name) const
{
    QWidget *w = m_root->objectName() == name ? m_root : m_root->findChild<QWidget *>(name);
    if (!w)
        throw MissingControl(name);
    return w;
}

int WidgetControls::itemIndex(const QString &name) const
{
    QWidget *w = widget(name);
    if (auto *combo = qobject_cast<QComboBox *>(w))
        return combo->currentIndex();
    if (auto *list = qobject_cast<QListWidget *>(w)) {
        // The selected item, not the focus frame: a list can have a current
        // row with nothing selected (after a Ctrl-click, for instance).
        const QList<QListWidgetItem *> selected = list->selectedItems();
        return selected.isEmpty() ? -1 : list->row(selected.first());
    }
    throw MissingControl(name);
}

void WidgetControls::setItemIndex(const QString &name, int index)
{
    QWidget *w = widget(name);
    if (auto *combo = qobject_cast<QComboBox *>(w)) {
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
        return;
    }
    if (auto *list = qobject_cast<QListWidget *>(w)) {
        if (index >= 0 && index < list->count()) {
            list->setCurrentRow(index);
        } else {
            list->setCurrentRow(-1);
            list->clearSelection();
        }
        return;
    }
    throw MissingControl(name);
}

int WidgetControls::itemCount(const QString &name) const
{
    QWidget *w = widget(name);
    if (auto *combo = qobject_cast<QComboBox *>(w))
        return combo->count();
    if (auto *list = qobject_cast<QListWidget *>(w))
        return list->count();
    throw MissingControl(name);
}

QString WidgetControls::itemText(const QString &name, int index) const
{
    QWidget *w = widget(name);
    if (auto *combo = qobject_cast<QComboBox *>(w))
        return combo->itemText(index);
    if (auto *list = qobject_cast<QListWidget *>(w))
        return list->item(index) ? list->item(index)->text() : QString();
    throw MissingControl(name);
}

void WidgetControls::setItemText(const QString &name, int index, const QString &text)
{
    QWidget *w = widget(name);
    if (auto *combo = qobject_cast<QComboBox *>(w)) {
        if (index >= 0 && index < combo->count())
            combo->setItemText(index, text);
        return;
    }
    if (auto *list = qobject_cast<QListWidget *>(w)) {
        if (list->item(index))
            list->item(index)->setText(text);
        return;
    }
    throw MissingControl(name);
}

QString WidgetControls::text(const QString &name) const
{
    QWidget *w = widget(name);
    if (auto *edit = qobject_cast<QLineEdit *>(w))
        return maskedText(edit);
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *spin = qobject_cast<QSpinBox *>(w))
        return spin->text();
    throw MissingControl(name);
}

void WidgetControls::setText(const QString &name, const QString &text)
{
    QWidget *w = widget(name);
    w->setProperty(kExact, QVariant());
    if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        setMaskedText(edit, text);
        return;
    }
    if (auto *label = qobject_cast<QLabel *>(w)) {
        label->setText(text);
        return;
    }
    throw MissingControl(name);
}

void WidgetControls::setRealText(const QString &name, const QString &text, float exact)
{
    setText(name, text);
    QWidget *w = widget(name);
    w->setProperty(kExact, exact);
    // As the edit reads it back (a masked edit may show it otherwise).
    w->setProperty(kExactText, this->text(name));
}

std::optional<float> WidgetControls::exactReal(const QString &name) const
{
    const QWidget *w = widget(name);
    const QVariant exact = w->property(kExact);
    if (!exact.isValid() || w->property(kExactText).toString() != text(name))
        return std::nullopt;
    return exact.toFloat();
}

int WidgetControls::position(const QString &name) const
{
    return find<QSpinBox>(name)->value();
}

void WidgetControls::setPosition(const QString &name, int position)
{
    find<QSpinBox>(name)->setValue(position); // QSpinBox clamps into its range
}

QString WidgetControls::cell(const QString &grid, int column, int row) const
{
    auto *table = find<QTableWidget>(grid);
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

void WidgetControls::setCell(const QString &grid, int column, int row, const QString &text)
{
    auto *table = find<QTableWidget>(grid);
    if (row < 0 || column < 0 || row >= table->rowCount() || column >= table->columnCount())
        return;
    QTableWidgetItem *item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        table->setItem(row, column, item);
    }
    item->setText(text);
    item->setData(kExactRole, QVariant());
}

void WidgetControls::setRealCell(const QString &grid, int column, int row, const QString &text,
                                 float exact)
{
    setCell(grid, column, row, text);
    if (QTableWidgetItem *item = find<QTableWidget>(grid)->item(row, column)) {
        item->setData(kExactRole, exact);
        item->setData(kExactTextRole, item->text());
    }
}

std::optional<float> WidgetControls::exactCell(const QString &grid, int column, int row) const
{
    const QTableWidgetItem *item = find<QTableWidget>(grid)->item(row, column);
    if (!item)
        return std::nullopt;
    const QVariant exact = item->data(kExactRole);
    if (!exact.isValid() || item->data(kExactTextRole).toString() != item->text())
        return std::nullopt;
    return exact.toFloat();
}

int WidgetControls::rowCount(const QString &grid) const
{
    return find<QTableWidget>(grid)->rowCount();
}

QDate WidgetControls::date(const QString &name) const
{
    return find<DateField>(name)->value();
}

void WidgetControls::setDate(const QString &name, const QDate &date)
{
    find<DateField>(name)->setValue(date);
}

bool WidgetControls::isShown(const QString &name) const
{
    const QWidget *w = widget(name);
    // The edit inside a spinner is shown and hidden with its spinner.
    if (auto *spin = qobject_cast<const QAbstractSpinBox *>(w->parentWidget()))
        return !spin->isHidden();
    return !w->isHidden();
}

void WidgetControls::setShown(const QString &name, bool shown)
{
    widget(name)->setVisible(shown);
}

void WidgetControls::setHint(const QString &name, const QString &hint)
{
    widget(name)->setToolTip(hint);
}

QString WidgetControls::hint(const QString &name) const
{
    return widget(name)->toolTip();
}

void WidgetControls::setBackground(const QString &name, const QColor &colour)
{
    QWidget *w = widget(name);
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    w->setAutoFillBackground(true);
    w->setPalette(palette);
}

QColor WidgetControls::background(const QString &name) const
{
    return widget(name)->palette().color(QPalette::Window);
}

} // namespace vexs
