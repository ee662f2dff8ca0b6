#include "settings/setpoints_page.h"

#include "link/modbus.h"
#include "settings/record_layout.h"
#include "shell/ui/controls.h"
#include "shell/ui/message_boxes.h"
#include "shell/ui/page_context.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
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

// The channel names grow suffixes (" -нет", " -выкл") after a bulk read:
// size the list for the longest from the start so the rows keep their width.
QComboBox *channelList(const QString &name, const QStringList &items)
{
    QComboBox *combo = pickList(name, items);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(static_cast<int>(QStringLiteral("Канал М4 -выкл").size()) + 2);
    return combo;
}

QLineEdit *edit(const QString &name)
{
    auto *e = new QLineEdit;
    e->setObjectName(name);
    e->setFixedWidth(90);
    return e;
}

QPushButton *button(const QString &name, const QString &text)
{
    auto *b = new QPushButton(text);
    b->setObjectName(name);
    return b;
}

QLabel *columnCaption(const QString &text, const char *name = nullptr)
{
    auto *label = new QLabel(text);
    // Long captions take two lines so that the rows fit the page.
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    if (name)
        label->setObjectName(QString::fromLatin1(name));
    return label;
}

} // namespace

SetpointsPage::SetpointsPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
    auto *rows = new QGridLayout;
    rows->setHorizontalSpacing(6);
    // Two captions are quoted by the validation messages.
    rows->addWidget(columnCaption(QStringLiteral("Вкл/Выкл")), 0, 1);
    rows->addWidget(columnCaption(QStringLiteral("Выбор канала")), 0, 2);
    rows->addWidget(columnCaption(QStringLiteral("Вид уставки")), 0, 3);
    rows->addWidget(columnCaption(QStringLiteral("Исх. сост. реле")), 0, 4);
    rows->addWidget(columnCaption(QStringLiteral("Значение уставки"), label::UstUst), 0, 5);
    rows->addWidget(columnCaption(QStringLiteral("Значение зоны возвр"), label::UstZona), 0, 6);

    for (int n = 1; n <= kSetpoints; ++n) {
        auto name = [n](const char *prefix) { return composedName(QString::fromLatin1(prefix), n); };
        rows->addWidget(new QLabel(QStringLiteral("Уставка ") + QString::number(n)), n, 0);
        rows->addWidget(pickList(name("ComboBoxUstVkl"), {QStringLiteral("Выкл"), QStringLiteral("Вкл")}), n, 1);
        rows->addWidget(channelList(name("ComboBoxUstCan"),
                                 {QStringLiteral("Канал 1"), QStringLiteral("Канал 2"),
                                  QStringLiteral("Канал 3"), QStringLiteral("Канал 4"),
                                  QStringLiteral("Канал М1"), QStringLiteral("Канал М2"),
                                  QStringLiteral("Канал М3"), QStringLiteral("Канал М4")}),
                        n, 2);
        rows->addWidget(pickList(name("ComboBoxUstTypeUST"), {QStringLiteral("Больше"), QStringLiteral("Меньше")}),
                        n, 3);
        rows->addWidget(pickList(name("ComboBoxUstSost"), {QStringLiteral("Замкнуто"), QStringLiteral("Разомкнуто")}),
                        n, 4);
        rows->addWidget(edit(name("EditUstUst")), n, 5);
        rows->addWidget(edit(name("EditUstZona")), n, 6);
        QPushButton *read = button(name("ButtonReadNastrUst"), QStringLiteral("Считать"));
        QPushButton *write = button(name("ButtonWriteNastrUst"), QStringLiteral("Записать"));
        connectRequest(read, m_ctx, [this, read] { ButtonReadNastrUst1Click(itemNumberOf(read)); });
        connectRequest(write, m_ctx, [this, write] { ButtonWriteNastrUst1Click(itemNumberOf(write)); });
        rows->addWidget(read, n, 7);
        rows->addWidget(write, n, 8);
    }
    rows->setColumnStretch(9, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(rows);
    layout->addStretch(1);
}

void SetpointsPage::ButtonReadNastrUst1Click(int n)
{
    const BlockLayout &layout = setpointLayout();
    const QByteArray reply = m_ctx.modbus.ReadHoldingRegisters(
        static_cast<quint16>(layout.firstRegister(n)), static_cast<quint16>(layout.registerCount()), kWaitMs);
    if (reply.size() != 2 * layout.registerCount() + 5) {
        m_ctx.boxes.error(kNoLink);
        return;
    }
    decodeRecord(m_ctx.controls, layout, n, reply.mid(3, layout.recordSize));
    m_ctx.boxes.info(kDone);
}

void SetpointsPage::ButtonWriteNastrUst1Click(int n)
{
    const BlockLayout &layout = setpointLayout();
    // The number in the messages is the setpoint's.
    const EncodeResult encoded = encodeRecord(
        m_ctx.controls, layout, n, QStringLiteral("Канал ") + QString::number(n) + QStringLiteral(": "));
    if (!encoded.ok()) {
        m_ctx.boxes.error(encoded.error);
        return;
    }
    const QByteArray reply = m_ctx.modbus.WriteMultipleRegisters(
        static_cast<quint16>(layout.firstRegister(n)), static_cast<quint16>(layout.registerCount()),
        encoded.bytes, kWaitMs);
    if (reply.size() != 8)
        m_ctx.boxes.error(kNoLink);
    else
        m_ctx.boxes.info(kDone);
}

} // namespace vexs
