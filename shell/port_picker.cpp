#include "shell/port_picker.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vexs {

namespace {
constexpr int NoteRole = Qt::UserRole;
}

PortPickerDialog::PortPickerDialog(const QList<SerialPortEntry> &ports, int comNumber,
                                   const QString &currentPath, QWidget *parent)
    : QDialog(parent), m_ports(ports)
{
    setObjectName(QStringLiteral("PortPicker"));
    setWindowTitle(QStringLiteral("Выбор порта для COM%1").arg(comNumber));
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(currentPath.isEmpty()
                                   ? QStringLiteral("Выберите устройство для COM%1").arg(comNumber)
                                   : QStringLiteral("Сейчас COM%1 — %2").arg(comNumber).arg(currentPath),
                               this);
    heading->setObjectName(QStringLiteral("LabelPortCurrent"));
    layout->addWidget(heading);
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

    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(new QLabel(QStringLiteral("Путь к устройству:"), this));
    m_path = new QLineEdit(currentPath, this);
    m_path->setObjectName(QStringLiteral("EditPortPath"));
    m_path->setToolTip(QStringLiteral("Можно ввести путь, которого нет в списке, например свою ссылку udev"));
    pathRow->addWidget(m_path, 1);
    layout->addLayout(pathRow);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *choose = buttons->addButton(QStringLiteral("Выбрать"), QDialogButtonBox::AcceptRole);
    choose->setObjectName(QStringLiteral("ButtonChoosePort"));
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    choose->setEnabled(!selectedPath().isEmpty());
    connect(m_path, &QLineEdit::textChanged, this, [this, choose] { choose->setEnabled(!selectedPath().isEmpty()); });
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
            [this] {
                const QTreeWidgetItem *item = m_list->currentItem();
                if (item && item->isSelected())
                    m_path->setText(item->text(0));
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
    return m_path->text().trimmed();
}

void PortPickerDialog::selectRow(int row)
{
    if (QTreeWidgetItem *item = m_list->topLevelItem(row))
        m_list->setCurrentItem(item);
}

} // namespace vexs
