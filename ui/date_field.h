#pragma once

#include <QDateEdit>

namespace vexs {

// A date edit that can hold no date: it starts empty and is filled only by
// its calendar, by code, or by a read from the device. Typing is off.
class DateField : public QDateEdit
{
    Q_OBJECT
public:
    explicit DateField(QWidget *parent = nullptr);

    QDate value() const; // null when empty
    void setValue(const QDate &date);
    bool isEmpty() const { return value().isNull(); }

protected:
    // Arrow keys and the mouse wheel would otherwise step the date without
    // the calendar, even out of the empty state.
    void stepBy(int) override {}
    StepEnabled stepEnabled() const override { return StepNone; }
};

} // namespace vexs
