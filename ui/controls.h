#pragma once

#include <QColor>
#include <QDate>
#include <QString>

#include <optional>
#include <stdexcept>

class QWidget;

namespace vexs {

// Per-item controls are found by a prefix and the item number in decimal
// (prefix "ComboBoxX" and item 3 make "ComboBoxX3").
inline QString composedName(const QString &prefix, int number)
{
    return prefix + QString::number(number);
}

// Raised when a composed name names no control of the expected kind: a
// programming fault, never a user error.
class MissingControl : public std::logic_error
{
public:
    explicit MissingControl(const QString &name)
        : std::logic_error(("no control named " + name).toStdString())
    {
    }
};

// Values of the window's controls by name. Record layouts, encodings and
// request sequences work through this interface, so they can be tested
// without widgets; the window provides the widget-backed implementation.
class IControls
{
public:
    virtual ~IControls() = default;

    // Drop-down lists and list boxes: -1 means no selection.
    virtual int itemIndex(const QString &name) const = 0;
    // An index outside the list leaves the list without a selection.
    virtual void setItemIndex(const QString &name, int index) = 0;
    virtual int itemCount(const QString &name) const = 0;
    virtual QString itemText(const QString &name, int index) const = 0;
    virtual void setItemText(const QString &name, int index, const QString &text) = 0;

    // Edits, masked edits and labels. A masked edit reads its unfilled
    // positions back as blanks.
    virtual QString text(const QString &name) const = 0;
    virtual void setText(const QString &name, const QString &text) = 0;

    // Reals are shown rounded to what an edit holds. One set with the exact
    // value behind its text keeps that value for as long as the text stays
    // as set, so a value nobody edited goes back to the device as it came;
    // any other text, or one set plainly, has none. Controls that cannot
    // keep it show the text only.
    virtual void setRealText(const QString &name, const QString &text, float exact)
    {
        (void)exact;
        setText(name, text);
    }
    virtual std::optional<float> exactReal(const QString &name) const
    {
        (void)name;
        return std::nullopt;
    }

    // Spinners: setting clamps into the spinner's range.
    virtual int position(const QString &name) const = 0;
    virtual void setPosition(const QString &name, int position) = 0;

    // String grids; row 0 is the header row.
    virtual QString cell(const QString &grid, int column, int row) const = 0;
    virtual void setCell(const QString &grid, int column, int row, const QString &text) = 0;
    virtual int rowCount(const QString &grid) const = 0;
    // A cell's real with the exact value behind it, as for edits above.
    virtual void setRealCell(const QString &grid, int column, int row, const QString &text,
                             float exact)
    {
        (void)exact;
        setCell(grid, column, row, text);
    }
    virtual std::optional<float> exactCell(const QString &grid, int column, int row) const
    {
        (void)grid, (void)column, (void)row;
        return std::nullopt;
    }

    // Date fields: a null date means the field holds no date yet.
    virtual QDate date(const QString &name) const = 0;
    virtual void setDate(const QString &name, const QDate &date) = 0;

    virtual bool isShown(const QString &name) const = 0;
    virtual void setShown(const QString &name, bool shown) = 0;

    virtual void setHint(const QString &name, const QString &hint) = 0;
    virtual QString hint(const QString &name) const = 0;
    virtual void setBackground(const QString &name, const QColor &colour) = 0;
    virtual QColor background(const QString &name) const = 0;
};

} // namespace vexs
