#pragma once

#include "ui/controls.h"

class QLineEdit;

namespace vexs {

// IControls over the children of one root widget, looked up by object name.
// Lists are QComboBox or QListWidget; edits QLineEdit (masked edits included)
// or QLabel; spinners QSpinBox; grids QTableWidget; date fields DateField.
class WidgetControls : public IControls
{
public:
    explicit WidgetControls(QWidget *root) : m_root(root) {}

    int itemIndex(const QString &name) const override;
    void setItemIndex(const QString &name, int index) override;
    int itemCount(const QString &name) const override;
    QString itemText(const QString &name, int index) const override;
    void setItemText(const QString &name, int index, const QString &text) override;
    QString text(const QString &name) const override;
    void setText(const QString &name, const QString &text) override;
    void setRealText(const QString &name, const QString &text, float exact) override;
    std::optional<float> exactReal(const QString &name) const override;
    int position(const QString &name) const override;
    void setPosition(const QString &name, int position) override;
    QString cell(const QString &grid, int column, int row) const override;
    void setCell(const QString &grid, int column, int row, const QString &text) override;
    int rowCount(const QString &grid) const override;
    void setRealCell(const QString &grid, int column, int row, const QString &text,
                     float exact) override;
    std::optional<float> exactCell(const QString &grid, int column, int row) const override;
    QDate date(const QString &name) const override;
    void setDate(const QString &name, const QDate &date) override;
    bool isShown(const QString &name) const override;
    void setShown(const QString &name, bool shown) override;
    void setHint(const QString &name, const QString &hint) override;
    QString hint(const QString &name) const override;
    void setBackground(const QString &name, const QColor &colour) override;
    QColor background(const QString &name) const override;

    QWidget *widget(const QString &name) const;
    template <typename T>
    T *find(const QString &name) const
    {
        T *w = qobject_cast<T *>(widget(name));
        if (!w)
            throw MissingControl(name);
        return w;
    }

private:
    QWidget *m_root;
};

// Text of a masked line edit with unfilled positions as blanks (the widget's
// own text() leaves them out).
QString maskedText(const QLineEdit *edit);

// Sets the text of an edit with an input mask; a text the mask cannot hold
// whole is shown without the mask instead of being cut.
void setMaskedText(QLineEdit *edit, const QString &text);

} // namespace vexs
