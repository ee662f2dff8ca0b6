#pragma once

#include "shell/serial_ports.h"

#include <QDialog>

class QLabel;
class QTreeWidget;

namespace vexs {

// Lists the serial ports present so a user can pick the one the converter
// is on instead of guessing a number.
class PortPickerDialog : public QDialog
{
    Q_OBJECT
public:
    PortPickerDialog(const QList<SerialPortEntry> &ports, int comNumber, QWidget *parent = nullptr);

    // The path of the selected row; empty when none is selected.
    QString selectedPath() const;
    void selectRow(int row);

private:
    QList<SerialPortEntry> m_ports;
    QTreeWidget *m_list;
    QLabel *m_note; // the selected port's note, hidden when it has none
};

} // namespace vexs
