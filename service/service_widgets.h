#pragma once

// Small builders shared by the measurement and service pages, so every
// control gets its object name, caption and look in one place.

#include <QString>

class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QWidget;

namespace vexs::service {

QLabel *makeLabel(const QString &text, QWidget *parent, const QString &name = QString());
// A value field: white background, sunken frame, empty.
QLabel *makeValueLabel(const QString &name, QWidget *parent);
QPushButton *makeButton(const QString &name, const QString &caption, QWidget *parent);
QGroupBox *makeGroup(const QString &name, const QString &title, QWidget *parent);
// A string grid whose row 0 (and column 0 when fixedColumn) are the fixed
// header cells: grey and not editable. Rows are rowHeight pixels high and
// the widget's own headers are hidden, since row 0 is the header.
QTableWidget *makeStringGrid(const QString &name, int columns, int rows, bool fixedColumn,
                             int rowHeight, QWidget *parent);

} // namespace vexs::service
