#include "service/registers_page.h"

#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vexs {

namespace {

const QString kFunction = QStringLiteral("ComboBoxRegsFunction");
const QString kFirst = QStringLiteral("UpDownRegsFirst");
const QString kCount = QStringLiteral("UpDownRegsCount");
const QString kView = QStringLiteral("ComboBoxRegsView");
const QString kOrder = QStringLiteral("ComboBoxRegsOrder");
const QString kGrid = QStringLiteral("StringGridRegs");
const QString kWriteFirst = QStringLiteral("UpDownRegsWriteFirst");
const QString kValues = QStringLiteral("EditRegsValues");

constexpr int kRowHeight = 18;

} // namespace

RegistersPage::RegistersPage(PageContext &context, QWidget *parent) : Page(context, parent)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(4, 4, 4, 4);

    QGroupBox *read = makeGroup(QStringLiteral("GroupBoxRegsRead"), QStringLiteral(" Чтение "), this);
    auto *readLayout = new QVBoxLayout(read);
    auto *fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->addWidget(makeLabel(QStringLiteral("Функция:"), read), 0, 0);
    fields->addWidget(makePickList(kFunction, raw::tableItems(), read), 0, 1);
    fields->addWidget(makeLabel(QStringLiteral("Первый регистр:"), read), 1, 0);
    fields->addWidget(makeSpinner(kFirst, QString(), 0, raw::kLastRegister, 0, read), 1, 1);
    fields->addWidget(makeLabel(QStringLiteral("Количество:"), read), 2, 0);
    fields->addWidget(makeSpinner(kCount, QString(), 1, raw::kMaxReadCount, 1, read), 2, 1);
    fields->addWidget(makeLabel(QStringLiteral("Вид:"), read), 0, 2);
    fields->addWidget(makePickList(kView, raw::viewItems(), read), 0, 3);
    fields->addWidget(makeLabel(QStringLiteral("Порядок байт:"), read), 1, 2);
    fields->addWidget(makePickList(kOrder, raw::orderItems(), read), 1, 3);
    QPushButton *readButton = makeButton(QStringLiteral("ButtonRegsRead"), QStringLiteral("Считать"), read);
    connectRequest(readButton, m_ctx, [this] { ButtonRegsReadClick(); });
    fields->addWidget(readButton, 2, 3, Qt::AlignLeft);
    fields->setColumnStretch(4, 1);
    readLayout->addLayout(fields);

    m_grid = makeStringGrid(kGrid, 3, 1, false, kRowHeight, read);
    const QStringList captions{QStringLiteral("Регистр"), QStringLiteral("Октеты"), QStringLiteral("Значение")};
    for (int column = 0; column < captions.size(); ++column)
        m_grid->item(0, column)->setText(captions[column]);
    m_grid->setColumnWidth(0, 100);
    m_grid->setColumnWidth(1, 260);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    readLayout->addWidget(m_grid, 1);
    page->addWidget(read, 1);

    QGroupBox *write =
        makeGroup(QStringLiteral("GroupBoxRegsWrite"), QStringLiteral(" Запись регистров хранения (0x10) "), this);
    auto *writeRow = new QHBoxLayout(write);
    writeRow->addWidget(makeLabel(QStringLiteral("Первый регистр:"), write));
    writeRow->addWidget(makeSpinner(kWriteFirst, QString(), 0, raw::kLastRegister, 0, write));
    writeRow->addWidget(makeLabel(QStringLiteral("Значения:"), write));
    QLineEdit *values = makeEdit(kValues, write);
    values->setPlaceholderText(QStringLiteral("по регистру: 0..65535 или 0x0..0xFFFF, через пробел"));
    writeRow->addWidget(values, 1);
    QPushButton *writeButton = makeButton(QStringLiteral("ButtonRegsWrite"), QStringLiteral("Записать"), write);
    connectRequest(writeButton, m_ctx, [this] { ButtonRegsWriteClick(); });
    writeRow->addWidget(writeButton);
    page->addWidget(write);
}

void RegistersPage::ButtonRegsReadClick()
{
    const IControls &controls = m_ctx.controls;
    const int first = controls.position(kFirst);
    const int count = controls.position(kCount);
    const auto view = raw::View(std::max(0, controls.itemIndex(kView)));
    const auto order = raw::Order(std::max(0, controls.itemIndex(kOrder)));
    const raw::Table table = controls.itemIndex(kFunction) == 1 ? raw::Table::Input : raw::Table::Holding;
    if (const QString refusal = raw::readRefusal(first, count, view); !refusal.isEmpty()) {
        m_ctx.boxes.error(refusal);
        return;
    }
    const std::optional<QByteArray> data = raw::readRegisters(m_ctx.modbus, m_ctx.link, table, first, count);
    if (!data) {
        // Values of an earlier read must not pass for these.
        showRows({});
        m_ctx.boxes.error(noLinkText(m_ctx.modbus));
        return;
    }
    const QString point = QLocale().decimalPoint();
    showRows(raw::show(*data, first, view, order, point.isEmpty() ? QLatin1Char('.') : point.front()));
}

void RegistersPage::ButtonRegsWriteClick()
{
    const int first = m_ctx.controls.position(kWriteFirst);
    const raw::Words words = raw::parseWords(m_ctx.controls.text(kValues));
    QString refusal = words.refusal;
    if (refusal.isEmpty())
        refusal = raw::writeRefusal(first, words.words.size());
    if (!refusal.isEmpty()) {
        m_ctx.boxes.error(refusal);
        return;
    }
    if (!m_ctx.boxes.confirm(raw::writeQuestion(m_ctx.link.slaveAddress(), first, words.words)))
        return;
    if (!journalReady(m_ctx))
        return;
    const raw::WriteCheck check = raw::writeAndReadBack(m_ctx.modbus, m_ctx.link, first, words.words);
    if (written)
        written(check);
    const bool verified = raw::verdictOf(check) == raw::Verdict::Verified;
    if (verified)
        m_ctx.boxes.info(raw::verdictText(check));
    else
        m_ctx.boxes.error(raw::verdictText(check));
    if (check.sent())
        journalWrite(m_ctx, raw::journalTitle(first, int(words.words.size())), raw::journalChanges(check), verified,
                     raw::verdictText(check).replace(QLatin1Char('\n'), QStringLiteral(": ")));
}

void RegistersPage::showRows(const QList<raw::Shown> &rows)
{
    m_grid->setRowCount(1 + int(rows.size()));
    int row = 1;
    for (const raw::Shown &shown : rows) {
        const QString registers = shown.registers == 1
                                      ? QString::number(shown.reg)
                                      : QStringLiteral("%1..%2").arg(shown.reg).arg(shown.reg + shown.registers - 1);
        m_ctx.controls.setCell(kGrid, 0, row, registers);
        m_ctx.controls.setCell(kGrid, 1, row, shown.octets);
        m_ctx.controls.setCell(kGrid, 2, row, shown.value);
        ++row;
    }
}

} // namespace vexs
