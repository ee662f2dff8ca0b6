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
#include <QVBoxLayout>

namespace vexs {

namespace {

// Address, interface, speed and the reserved byte come before the texts.

struct TextEdit
{
    const char *name;
    const char *mask;    // Qt input mask, blank shown as '_'
    const char *message; // refusal of a text with an unfilled position
};

// In the order the write checks them.
const TextEdit kTextEdits[] = {
    {"EditRsIP", "999.999.999.999;_", "Неверный IP-адрес"},
    {"EditRsMask", "999.999.999.999;_", "Неверная маска подсети"},
    {"EditRsGate", "999.999.999.999;_", "Неверный шлюз"},
    {"EditRsPort", "9999;_", "Неверный порт"},
};

// A masked edit reads every unfilled position as a blank, so a text without
// a blank is completely filled; a text the device sent that did not fit the
// mask is written back as it is.
bool fillsMask(const QString &text)
{
    return !text.contains(u' ');
}

QLineEdit *maskedEdit(const TextEdit &t, const QString &initial, QWidget *parent)
{
    QLineEdit *edit = makeEdit(QString::fromLatin1(t.name), parent);
    edit->setInputMask(QString::fromLatin1(t.mask));
    edit->setText(initial);
    return edit;
}

} // namespace

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
    const char *const captions[] = {"IP-адрес:", "Маска подсети:", "Основной шлюз:", "Порт:"};
    const char *const initial[] = {"192.168.011.002", "255.255.000.000", "192.168.011.002", "5000"};
    for (int i = 0; i < 4; ++i) {
        ethGrid->addWidget(new QLabel(QString::fromUtf8(captions[i]), ethernet), i, 0);
        QLineEdit *edit = maskedEdit(kTextEdits[i], QString::fromLatin1(initial[i]), ethernet);
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
    for (const TextEdit &t : kTextEdits) {
        const QString text = m_ctx.controls.text(QString::fromLatin1(t.name));
        if (!fillsMask(text) || !addressGroupsFit(text)) {
            m_ctx.boxes.error(QString::fromUtf8(t.message));
            return;
        }
    }

    // The address, interface, speed and texts from the page; the reserved
    // byte 3 stays 0.
    writeGroupFromPage(m_ctx, configGroup(GroupFamily::Network));
}

} // namespace vexs
