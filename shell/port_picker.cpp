#include "shell/port_picker.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vexs {

namespace {
constexpr int NoteRole = Qt::UserRole;
}

PortPickerDialog::PortPickerDialog(const QList<SerialPortEntry> &ports, int comNumber,
                                   QWidget *parent)
    : QDialog(parent), m_ports(ports)
{
    setObjectName(QStringLiteral("PortPicker"));
    setWindowTitle(QStringLiteral("Выбор порта для COM%1").arg(comNumber));
    auto *layout = new QVBoxLayout(this);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("PortList"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({QStringLiteral("Устройство"), QStringLiteral("Описание"),
                             QStringLiteral("Изготовитель"), QStringLiteral("Серийный номер")});
    for (const SerialPortEntry &p : ports) {
        auto *item = new QTreeWidgetItem(m_list);
        item->setText(0, p.path);
        item->setToolTip(0, p.systemLocation);
        item->setText(1, p.description);
        item->setText(2, p.manufacturer);
        item->setText(3, p.serialNumber);
        item->setData(0, NoteRole, p.note);
    }
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto *empty = new QLabel(QStringLiteral("Последовательные порты не найдены"), this);
    empty->setObjectName(QStringLiteral("LabelNoPorts"));
    empty->setVisible(ports.isEmpty());
    m_list->setVisible(!ports.isEmpty());
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("LabelPortNote"));
    m_note->setWordWrap(true);
    m_note->setVisible(false);
    layout->addWidget(empty);
    layout->addWidget(m_list);
    layout->addWidget(m_note);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *choose = buttons->addButton(QStringLiteral("Выбрать"), QDialogButtonBox::AcceptRole);
    choose->setObjectName(QStringLiteral("ButtonChoosePort"));
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    choose->setEnabled(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
            [this, choose] {
                choose->setEnabled(!selectedPath().isEmpty());
                const QTreeWidgetItem *item = m_list->currentItem();
                const QString note =
                    item && item->isSelected() ? item->data(0, NoteRole).toString() : QString();
                m_note->setText(note);
                m_note->setVisible(!note.isEmpty());
            });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(640, 260);
}

QString PortPickerDialog::selectedPath() const
{
    const QTreeWidgetItem *item = m_list->currentItem();
    return item && item->isSelected() ? item->text(0) : QString();
}

void PortPickerDialog::selectRow(int row)
{
    if (QTreeWidgetItem *item = m_list->topLevelItem(row))
        m_list->setCurrentItem(item);
}

} // namespace vexs
