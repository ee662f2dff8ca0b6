#include "ui/date_field.h"

#include <QLineEdit>

namespace vexs {

namespace {
// The minimum date stands for "no date"; it is shown as a blank.
const QDate kEmpty(1752, 9, 14);
} // namespace

DateField::DateField(QWidget *parent) : QDateEdit(parent)
{
    setCalendarPopup(true);
    setMinimumDate(kEmpty);
    setMaximumDate(QDate(9999, 12, 31));
    setSpecialValueText(QStringLiteral(" "));
    setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    setDate(kEmpty);
    lineEdit()->setReadOnly(true);
}

QDate DateField::value() const
{
    return date() == kEmpty ? QDate() : date();
}

void DateField::setValue(const QDate &d)
{
    setDate(d.isValid() ? d : kEmpty);
}

} // namespace vexs
