#include "settings/outputs_page.h"

#include "link/modbus.h"
#include "settings/record_layout.h"
#include "shell/ui/controls.h"
#include "shell/ui/message_boxes.h"
#include "shell/ui/page_context.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexs {

namespace {

constexpr int kWaitMs = 500;

const QString kNoLink = QStringLiteral("Нет связи с прибором");
const QString kDone = QStringLiteral("Выполнено");

QComboBox *pickList(const QString &name, const QStringList &items)
{
    auto *combo = new QComboBox;
    combo->setObjectName(name);
    combo->addItems(items);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return combo;
}

// The channel names grow a suffix (" -нет") after a bulk read: size the list
// for the longest from the start so the layout keeps its width.
QComboBox *channelList(const QString &name, const QStringList &items)
{
    QComboBox *combo = pickList(name, items);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(static_cast<int>(QStringLiteral("Канал 4 -нет").size()));
    return combo;
}

QPushButton *button(const QString &name, const QString &text)
{
    auto *b = new QPushButton(text);
    b->setObjectName(name);
    return b;
}

} // namespace

OutputsPage::OutputsPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
    auto *rows = new QGridLayout;
    rows->setHorizontalSpacing(12);
    rows->addWidget(new QLabel(QStringLiteral("Вкл/Выкл")), 0, 0);
    rows->addWidget(new QLabel(QStringLiteral("Канал")), 0, 2);
    for (int n = 1; n <= kOutputs; ++n) {
        auto name = [n](const char *prefix) { return composedName(QString::fromLatin1(prefix), n); };
        const QString own = QStringLiteral("Канал ") + QString::number(n);
        auto *channel = new QLabel(own);
        channel->setObjectName(name("StaticTextOutCan"));
        rows->addWidget(pickList(name("ComboBoxOutVkl"), {QStringLiteral("Выкл"), QStringLiteral("Вкл")}), n, 0);
        rows->addWidget(channel, n, 1);
        // Item 0 is the output's own measurement channel.
        rows->addWidget(channelList(name("ComboBoxOutCan"),
                                 {own, QStringLiteral("Канал М1"), QStringLiteral("Канал М2"),
                                  QStringLiteral("Канал М3"), QStringLiteral("Канал М4")}),
                        n, 2);
        QPushButton *read = button(name("ButtonReadNastrOut"), QStringLiteral("Считать"));
        QPushButton *write = button(name("ButtonWriteNastrOut"), QStringLiteral("Записать"));
        connectRequest(read, m_ctx, [this, read] { ButtonReadNastrOut1Click(itemNumberOf(read)); });
        connectRequest(write, m_ctx, [this, write] { ButtonWriteNastrOut1Click(itemNumberOf(write)); });
        rows->addWidget(read, n, 3);
        rows->addWidget(write, n, 4);
    }
    rows->setColumnStretch(5, 1);

    m_layout = new QVBoxLayout(this);
    m_layout->addLayout(rows);
    m_layout->addStretch(1);
}

void OutputsPage::addServiceGroup(QWidget *group)
{
    // Between the rows and the closing stretch.
    m_layout->insertWidget(m_layout->count() - 1, group);
}

void OutputsPage::ButtonReadNastrOut1Click(int n)
{
    const BlockLayout &layout = outputLayout();
    const QByteArray reply =
        m_ctx.modbus.ReadHoldingRegisters(static_cast<quint16>(layout.firstRegister(n)), 1, kWaitMs);
    if (reply.size() != 7) {
        m_ctx.boxes.error(kNoLink);
        return;
    }
    decodeRecord(m_ctx.controls, layout, n, reply.mid(3, 2));
    m_ctx.boxes.info(kDone);
}

void OutputsPage::ButtonWriteNastrOut1Click(int n)
{
    const BlockLayout &layout = outputLayout();
    const EncodeResult encoded = encodeRecord(m_ctx.controls, layout, n, QString());
    if (!encoded.ok()) { // lists only: cannot fail, but never send a bad record
        m_ctx.boxes.error(encoded.error);
        return;
    }
    const QByteArray reply = m_ctx.modbus.WriteMultipleRegisters(
        static_cast<quint16>(layout.firstRegister(n)), 1, encoded.bytes, kWaitMs);
    if (reply.size() != 8)
        m_ctx.boxes.error(kNoLink);
    else
        m_ctx.boxes.info(kDone);
}

} // namespace vexs
