#include "settings/network_page.h"

#include "settings/block_io.h"
#include "settings/encodings.h"
#include "settings/field_lists.h"
#include "settings/record_layout.h"
#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace vexs {

namespace {

// Address, interface, speed and the reserved byte come before the texts.

// The masked edits, in the order the write checks them.
QList<const Field *> maskedFields()
{
    QList<const Field *> fields;
    for (const Field &f : networkLayout().fields) {
        if (!f.inputMask.isEmpty())
            fields << &f;
    }
    return fields;
}

// A masked edit reads every unfilled position as a blank, so a text without
// a blank is completely filled; a text the device sent that did not fit the
// mask is written back as it is.
bool fillsMask(const QString &text)
{
    return !text.contains(u' ');
}

class PadOnLeave : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *edit = qobject_cast<QLineEdit *>(watched);
        if (edit && event->type() == QEvent::FocusOut) {
            const QString padded = padAddressGroups(edit->text());
            if (padded != edit->text())
                edit->setText(padded);
        }
        return false;
    }
};

QLineEdit *maskedEdit(const Field &f, const QString &initial, QWidget *parent)
{
    QLineEdit *edit = makeEdit(f.prefix, parent);
    edit->setInputMask(f.inputMask);
    edit->setText(initial);
    // Addresses are padded as the field is left, so "192.168.1.2" typed
    // the usual way is not refused for its blanks. Not on editingFinished:
    // a masked edit raises it only for a text that already fills the mask.
    if (f.inputMask.count(u'.') == 3)
        edit->installEventFilter(new PadOnLeave(edit));
    return edit;
}

} // namespace

QString padAddressGroups(const QString &text)
{
    QStringList groups = text.split(u'.');
    for (QString &group : groups) {
        const QString digits = QString(group).remove(u' ');
        const bool allDigits = !digits.isEmpty() && digits.size() <= 3
                               && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); });
        if (allDigits)
            group = digits.rightJustified(3, u'0');
    }
    return groups.join(u'.');
}

NetworkPage::NetworkPage(PageContext &context, QWidget *parent) : Page(context, parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);

    auto *general = new QGroupBox(QStringLiteral(" Общие "), this);
    auto *generalGrid = new QGridLayout(general);
    generalGrid->addWidget(new QLabel(QStringLiteral("Адрес:"), general), 0, 0);
    QSpinBox *address =
        makeSpinner(QStringLiteral("UpDownRsAdr"), QStringLiteral("Edit55"), 1, 255, 1, general);
    generalGrid->addWidget(address, 0, 1);
    generalGrid->addWidget(makeFieldList(networkLayout(), QStringLiteral("ComboBoxRsInter")), 1, 0, 1, 2);

    auto *rs485 = new QGroupBox(QStringLiteral(" RS-485 "), this);
    auto *rsGrid = new QGridLayout(rs485);
    rsGrid->addWidget(makeFieldList(networkLayout(), QStringLiteral("ComboBoxRsBaud")), 0, 0);

    auto *ethernet = new QGroupBox(QStringLiteral("Ethernet"), this);
    auto *ethGrid = new QGridLayout(ethernet);
    const char *const initial[] = {"192.168.011.002", "255.255.000.000", "192.168.011.002", "5000"};
    const QList<const Field *> masked = maskedFields();
    for (int i = 0; i < masked.size(); ++i) {
        ethGrid->addWidget(new QLabel(masked[i]->caption + QLatin1Char(':'), ethernet), i, 0);
        QLineEdit *edit = maskedEdit(*masked[i], QString::fromLatin1(initial[i]), ethernet);
        edit->setMinimumWidth(110);
        ethGrid->addWidget(edit, i, 1);
    }

    auto *groups = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(general);
    left->addWidget(rs485);
    left->addStretch(1);
    groups->addLayout(left);
    groups->addWidget(ethernet, 0, Qt::AlignTop);
    groups->addStretch(1);
    column->addLayout(groups);
    const auto buttons = makeReadWriteButtons(
        m_ctx, QStringLiteral("ButtonReadNastrRs"), QStringLiteral("ButtonWriteNastrRs"),
        [this] { ButtonReadNastrRsClick(); }, [this] { ButtonWriteNastrRsClick(); }, this);
    column->addLayout(buttons.row(RowAlign::Left));
    column->addStretch(1);
}

void NetworkPage::ButtonWriteNastrRsClick()
{
    for (const Field *f : maskedFields()) {
        const QString text = m_ctx.controls.text(f->prefix);
        if (!fillsMask(text) || !addressGroupsFit(text)) {
            m_ctx.boxes.error(f->maskMessage);
            return;
        }
    }

    // The address, interface, speed and texts from the page; the reserved
    // byte 3 stays 0.
    writeGroupFromPage(m_ctx, configGroup(GroupFamily::Network));
}

} // namespace vexs
