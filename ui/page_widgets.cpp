#include "ui/page_widgets.h"

#include "ui/page_context.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QValidator>

#include <algorithm>

namespace vexs {

namespace {

// QLineEdit clears its modified flag on setText() and sets it before it
// validates an edit by the user, so the flag tells the two apart.
class TypedLengthLimit : public QValidator
{
public:
    TypedLengthLimit(QLineEdit *edit, int maxTyped)
        : QValidator(edit), m_edit(edit), m_maxTyped(maxTyped), m_allowed(maxTyped)
    {
    }

    State validate(QString &input, int &) const override
    {
        const int length = static_cast<int>(input.size());
        if (m_edit->isModified() && length > m_allowed)
            return Invalid;
        m_allowed = std::max(length, m_maxTyped);
        return Acceptable;
    }

private:
    QLineEdit *m_edit;
    int m_maxTyped;
    mutable int m_allowed;
};

} // namespace

QLabel *makeLabel(const QString &text, QWidget *parent, const QString &name)
{
    auto *label = new QLabel(text, parent);
    if (!name.isEmpty())
        label->setObjectName(name);
    return label;
}

QLabel *makeValueLabel(const QString &name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    // The background is always white, so the text must not follow a dark
    // theme's light text colour.
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    label->setPalette(palette);
    label->setMinimumHeight(18);
    return label;
}

QPushButton *makeButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

QGroupBox *makeGroup(const QString &name, const QString &title, QWidget *parent)
{
    auto *group = new QGroupBox(title, parent);
    if (!name.isEmpty())
        group->setObjectName(name);
    return group;
}

QTableWidget *makeStringGrid(const QString &name, int columns, int rows, bool fixedColumn,
                             int rowHeight, QWidget *parent)
{
    auto *grid = new QTableWidget(rows, columns, parent);
    grid->setObjectName(name);
    grid->horizontalHeader()->setVisible(false);
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setMinimumSectionSize(rowHeight);
    grid->verticalHeader()->setDefaultSectionSize(rowHeight);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    const QBrush fixedBrush = grid->palette().brush(QPalette::Button);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (r != 0 && !(fixedColumn && c == 0))
                continue;
            auto *item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled);
            item->setBackground(fixedBrush);
            grid->setItem(r, c, item);
        }
    }
    return grid;
}

QComboBox *makePickList(const QString &name, const QStringList &items, QWidget *parent,
                        QComboBox::SizeAdjustPolicy sizing)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->addItems(items);
    combo->setSizeAdjustPolicy(sizing);
    return combo;
}

QComboBox *makeSizedList(const QString &name, const QStringList &items, int chars,
                         QWidget *parent)
{
    QComboBox *combo =
        makePickList(name, items, parent, QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(chars);
    return combo;
}

QComboBox *makeChannelList(const QString &name, const QStringList &items,
                           const QString &longestItem, int spareChars, QWidget *parent)
{
    return makeSizedList(name, items, static_cast<int>(longestItem.size()) + spareChars, parent);
}

QLineEdit *makeEdit(const QString &name, QWidget *parent, int fixedWidth)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    if (fixedWidth > 0)
        edit->setFixedWidth(fixedWidth);
    return edit;
}

QSpinBox *makeSpinner(const QString &name, const QString &editName, int min, int max, int value,
                      QWidget *parent)
{
    auto *spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(min, max);
    spin->setValue(value);
    if (auto *edit = spin->findChild<QLineEdit *>(); edit && !editName.isEmpty())
        edit->setObjectName(editName);
    return spin;
}

void limitTypedLength(QLineEdit *edit, int maxTyped)
{
    edit->setValidator(new TypedLengthLimit(edit, maxTyped));
}

QHBoxLayout *buttonRow(const QList<QWidget *> &buttons, RowAlign align)
{
    auto *row = new QHBoxLayout;
    if (align == RowAlign::Right)
        row->addStretch(1);
    for (QWidget *button : buttons)
        row->addWidget(button);
    if (align == RowAlign::Left)
        row->addStretch(1);
    return row;
}

QHBoxLayout *ReadWriteButtons::row(RowAlign align) const
{
    return buttonRow({read, write}, align);
}

ReadWriteButtons makeReadWriteButtons(PageContext &context, const QString &readName,
                                      const QString &writeName, std::function<void()> onRead,
                                      std::function<void()> onWrite, QWidget *parent,
                                      const QString &writeCaption)
{
    const ReadWriteButtons buttons{makeButton(readName, QStringLiteral("Считать"), parent),
                                   makeButton(writeName, writeCaption, parent)};
    connectRequest(buttons.read, context, std::move(onRead));
    connectRequest(buttons.write, context, std::move(onWrite));
    return buttons;
}

void addFormRow(QGridLayout *grid, int row, const QString &caption, QWidget *field,
                const QString &labelName, Qt::Alignment fieldAlignment)
{
    grid->addWidget(makeLabel(caption, nullptr, labelName), row, 0);
    grid->addWidget(field, row, 1, fieldAlignment);
}

} // namespace vexs
