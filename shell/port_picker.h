#pragma once

#include "shell/serial_ports.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QTreeWidget;

namespace vexs {

// Lists the serial ports present so a user can pick the one the converter
// is on instead of guessing a number.
class PortPickerDialog : public QDialog
{
    Q_OBJECT
public:
    // `currentPath`: where the port number leads now, shown above the list
    // and as the path to start from.
    PortPickerDialog(const QList<SerialPortEntry> &ports, int comNumber, const QString &currentPath = QString(),
                     QWidget *parent = nullptr);

    // The path in the edit: the selected row's, or one typed (a link of
    // the user's own that the list does not show); empty for none.
    QString selectedPath() const;
    void selectRow(int row);

private:
    QList<SerialPortEntry> m_ports;
    QTreeWidget *m_list;
    QLabel *m_note; // the selected port's note, hidden when it has none
    QLineEdit *m_path;
};

} // namespace vexs
