#include "settings/outputs_page.h"

#include "link/modbus.h"
#include "settings/record_layout.h"
#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexs {

namespace {

constexpr int kWaitMs = 500;

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
        rows->addWidget(
            makePickList(name("ComboBoxOutVkl"), offOnItems(), nullptr, QComboBox::AdjustToContents), n, 0);
        rows->addWidget(makeLabel(own, nullptr, name("StaticTextOutCan")), n, 1);
        // Item 0 is the output's own measurement channel.
        rows->addWidget(makeChannelList(name("ComboBoxOutCan"),
                                        {own, QStringLiteral("Канал М1"), QStringLiteral("Канал М2"),
                                         QStringLiteral("Канал М3"), QStringLiteral("Канал М4")},
                                        QStringLiteral("Канал 4 -нет")),
                        n, 2);
        QPushButton *read = makeButton(name("ButtonReadNastrOut"), QStringLiteral("Считать"));
        QPushButton *write = makeButton(name("ButtonWriteNastrOut"), QStringLiteral("Записать"));
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
