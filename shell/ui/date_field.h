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
};

} // namespace vexs
