#include "service/service_page.h"

#include "service/calibration.h"
#include "service/coefficient_read.h"
#include "settings/block_io.h"
#include "settings/encodings.h"
#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <functional>

namespace vexs {

namespace {

// Reports every arrow step with the position it asks for, before the change,
// also a step past either end (which the spinner itself then ignores).
class ChannelSpinner : public QSpinBox
{
public:
    using QSpinBox::QSpinBox;
    std::function<void(int)> changing;

    void stepBy(int steps) override
    {
        if (changing)
            changing(value() + steps);
        QSpinBox::stepBy(steps);
    }
};

// The list of calibration steps: gaining the focus does not pick a step for
// the user, as an item view otherwise does with its first item.
class StepList : public QListWidget
{
public:
    using QListWidget::QListWidget;

protected:
    void focusInEvent(QFocusEvent *event) override
    {
        if (currentRow() >= 0) {
            QListWidget::focusInEvent(event);
            return;
        }
        QWidget::focusInEvent(event);
        viewport()->update();
    }
};

const QString kList = QStringLiteral("ListBoxCalibr");
const QString kValueEdit = QStringLiteral("EditCalibrInp");
const QString kChannelEdit = QStringLiteral("EditCalibrCan");
const QString kChannelSpin = QStringLiteral("UpDownCalibrCan");
const QString kNudgeStatus = QStringLiteral("StaticText50");
const QString kPercentEdit = QStringLiteral("Edit_ArrowPer");

constexpr int kEditHeight = 17;

const char *const kTests[] = {"Тест регистрации", "Тест барграфа", "Тест сигнализации",
                              "Тест записи FLASH", "Тест клавиатуры"};

QFont boldFont(QWidget *widget)
{
    QFont font = widget->font();
    font.setBold(true);
    return font;
}

} // namespace

ServicePage::ServicePage(PageContext &context, QWidget *parent) : ChannelPage(context, parent)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);

    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("PageControl1"));
    tabs->addTab(buildTestsTab(), QStringLiteral("Тесты"));

    auto *calibr = new QWidget;
    calibr->setObjectName(QStringLiteral("TabSheetCalibr"));
    auto *calibrLayout = new QHBoxLayout(calibr);
    calibrLayout->setContentsMargins(4, 4, 4, 4);
    calibrLayout->addWidget(buildCoefficientTable(), 0, Qt::AlignTop);
    calibrLayout->addWidget(buildCalibrationPanel(), 1);
    tabs->addTab(calibr, QStringLiteral("Калибровка"));

    // Nothing selects the tests page: its tab stays hidden.
    tabs->setTabVisible(0, false);
    tabs->setCurrentIndex(1);
    page->addWidget(tabs);
}

QWidget *ServicePage::buildTestsTab()
{
    auto *tab = new QWidget;
    tab->setObjectName(QStringLiteral("TabSheet_Test"));
    auto *grid = new QGridLayout(tab);
    int button = 13;
    for (int row = 0; row < 5; ++row) {
        grid->addWidget(makeLabel(QString::fromUtf8(kTests[row]), tab), row, 0);
        // The test buttons have no action.
        grid->addWidget(makeButton(composedName(QStringLiteral("Button"), button++),
                                   QStringLiteral("Старт"), tab),
                        row, 1);
        grid->addWidget(makeButton(composedName(QStringLiteral("Button"), button++),
                                   QStringLiteral("Стоп"), tab),
                        row, 2);
    }
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(5, 1);
    return tab;
}

QWidget *ServicePage::buildCoefficientTable()
{
    auto *table = new QWidget;
    auto *grid = new QGridLayout(table);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);

    const auto groups = coefficientGroups();
    for (int n = 1; n <= calibration::kChannels; ++n) {
        auto *head = makeLabel(QStringLiteral("Канал ") + QString::number(n), table);
        head->setAlignment(Qt::AlignCenter);
        grid->addWidget(head, 0, n);
        auto *status = makeLabel(QString(), table,
                                 composedName(QStringLiteral("StaticTextCalibrCan"), n));
        status->setAlignment(Qt::AlignCenter);
        grid->addWidget(status, 1, n);
    }

    int row = 2;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (int point = 1; point <= calibration::kCoefficientPoints; ++point, ++row) {
            grid->addWidget(makeLabel(coefficientGroupCaption(int(g))
                                          + QStringLiteral(" T") + QString::number(point),
                                      table),
                            row, 0);
            for (int n = 1; n <= calibration::kChannels; ++n) {
                QLineEdit *edit = makeEdit(coefficientEditName(n, groups[g], point), table);
                edit->setReadOnly(true);
                edit->setFixedSize(82, kEditHeight);
                grid->addWidget(edit, row, n);
            }
        }
    }

    for (int n = 1; n <= calibration::kChannels; ++n) {
        auto *read = makeButton(composedName(QStringLiteral("ButtonReadCoeffCAN"), n),
                                QStringLiteral("Считать"), table);
        connectRequest(read, m_ctx, [this, n] { ButtonReadCoeffCAN1Click(n); });
        grid->addWidget(read, row, n);
    }
    return table;
}

QWidget *ServicePage::buildCalibrationPanel()
{
    auto *panel = new QFrame;
    panel->setObjectName(QStringLiteral("PanelCalibr"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto *layout = new QVBoxLayout(panel);

    auto *channelRow = new QHBoxLayout;
    QLineEdit *channel = makeEdit(kChannelEdit, panel);
    channel->setText(QStringLiteral("Канал 1"));
    channel->setReadOnly(true);
    channelRow->addWidget(channel, 1);
    auto *spin = new ChannelSpinner(panel);
    spin->setObjectName(kChannelSpin);
    spin->setRange(1, calibration::kChannels);
    spin->setValue(1);
    spin->setWrapping(false);
    spin->setFixedWidth(44);
    if (auto *inner = spin->findChild<QLineEdit *>())
        inner->setReadOnly(true);
    // Every arrow step reports, also one past either end; a position set in
    // another way is shown too.
    spin->changing = [this](int p) {
        runGuarded(m_ctx.boxes, [this, p] { UpDownCalibrCanChanging(p); });
    };
    connect(spin, &QSpinBox::valueChanged, this, [this](int p) {
        runGuarded(m_ctx.boxes, [this, p] { UpDownCalibrCanChanging(p); });
    });
    channelRow->addWidget(spin);
    layout->addLayout(channelRow);

    auto *list = new StepList(panel);
    list->setObjectName(kList);
    list->addItems(calibrationListItems());
    list->setCurrentRow(-1);
    // Moving the selection with the keyboard or the buttons counts as a
    // click, and so does clicking the item already selected.
    connect(list, &QListWidget::itemSelectionChanged, this,
            [this] { runGuarded(m_ctx.boxes, [this] { ListBoxCalibrClick(); }); });
    connect(list, &QListWidget::itemClicked, this,
            [this] { runGuarded(m_ctx.boxes, [this] { ListBoxCalibrClick(); }); });
    layout->addWidget(list, 1);

    auto *moveRow = new QHBoxLayout;
    auto *up = makeButton(QStringLiteral("ButtonSelectCalibrUp"), QStringLiteral("Вверх"), panel);
    auto *down = makeButton(QStringLiteral("ButtonSelectCalibrDown"),
                            QStringLiteral("Вниз"), panel);
    up->setFont(boldFont(up));
    down->setFont(boldFont(down));
    connectAction(up, m_ctx.boxes, [this] { ButtonSelectCalibrUpClick(); });
    connectAction(down, m_ctx.boxes, [this] { ButtonSelectCalibrDownClick(); });
    moveRow->addWidget(up);
    moveRow->addWidget(down);
    layout->addLayout(moveRow);

    auto *valueRow = new QHBoxLayout;
    valueRow->addWidget(makeEdit(kValueEdit, panel), 1);
    m_calibrate = makeButton(QStringLiteral("ButtonCalibr"), QStringLiteral("Калибровать"), panel);
    connectRequest(m_calibrate, m_ctx, [this] { ButtonCalibrClick(); });
    valueRow->addWidget(m_calibrate);
    layout->addLayout(valueRow);

    layout->addWidget(buildPenGroup(panel));

    // A factory control: shown by the factory key chord only.
    panel->setVisible(false);
    return panel;
}

QWidget *ServicePage::buildPenGroup(QWidget *parent)
{
    auto *group = makeGroup(QStringLiteral("GroupBoxCalibrPera"),
                            QStringLiteral(" Калибровка пера "), parent);
    auto *grid = new QGridLayout(group);

    struct Entry
    {
        const char *name;
        const char *caption;
        void (ServicePage::*handler)();
        int row, column;
    };
    const Entry entries[] = {
        {"Button4", "Установить перо на ~95%", &ServicePage::Button4Click, 0, 0},
        {"Button6", "Установить перо на ~5%", &ServicePage::Button6Click, 0, 1},
        {"Button8", "Калибровать 100%", &ServicePage::Button8Click, 1, 0},
        {"Button10", "Калибровать 0%", &ServicePage::Button10Click, 1, 1},
        {"Button32", "Вверх", &ServicePage::Button32Click, 2, 0},
        {"Button33", "Вниз", &ServicePage::Button33Click, 2, 1},
        {"Button34", "Проверка, %", &ServicePage::Button34Click, 3, 0},
    };
    for (const Entry &e : entries) {
        auto *button = makeButton(QString::fromLatin1(e.name), QString::fromUtf8(e.caption), group);
        const auto handler = e.handler;
        connectRequest(button, m_ctx, [this, handler] { (this->*handler)(); });
        grid->addWidget(button, e.row, e.column);
    }
    auto *status = makeLabel(QString(), group, kNudgeStatus);
    status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status->setAlignment(Qt::AlignCenter);
    status->setMinimumWidth(60);
    grid->addWidget(status, 2, 2);
    grid->addWidget(makeEdit(kPercentEdit, group), 3, 1);
    return group;
}

void ServicePage::ButtonReadCoeffCAN1Click(int n)
{
    IControls &c = m_ctx.controls;
    const auto groups = coefficientGroups();
    for (const CoefficientGroup &group : groups) {
        for (int point = 1; point <= calibration::kCoefficientPoints; ++point)
            c.setText(coefficientEditName(n, group, point), QString());
    }
    // Five reads of up to 8 s each: the window shows which one runs, and the
    // user may stop between them; the groups already shown stay.
    bool answered = true;
    {
        ProgressScope progress(m_ctx.status, QStringLiteral("Чтение коэффициентов канала %1").arg(n),
                               int(groups.size()), true);
        int done = 0;
        for (const CoefficientGroup &group : groups) {
            const std::optional<QByteArray> data = readCoefficientGroup(m_ctx.modbus, n, group);
            answered = data.has_value();
            if (!answered)
                break;
            for (int point = 1; point <= calibration::kCoefficientPoints; ++point)
                c.setText(coefficientEditName(n, group, point), coefficientText(*data, point));
            if (!progress(++done))
                break;
        }
    }
    // The groups already shown stay; the rest stay empty.
    if (!answered)
        m_ctx.boxes.error(noLinkText(m_ctx.modbus));
}

void ServicePage::ListBoxCalibrClick()
{
    IControls &c = m_ctx.controls;
    const int index = c.itemIndex(kList);
    c.setText(kValueEdit, QString());
    c.setShown(kValueEdit, calibrationTakesValue(index));
    m_calibrate->setText(calibrationButtonCaption(index));
}

void ServicePage::selectCalibrationItem(int index)
{
    m_ctx.controls.setItemIndex(kList, index);
    // Also when the selection did not move (first or last item).
    ListBoxCalibrClick();
}

void ServicePage::ButtonSelectCalibrUpClick()
{
    const int index = m_ctx.controls.itemIndex(kList);
    selectCalibrationItem(index < 0 ? 0 : qMax(0, index - 1));
}

void ServicePage::ButtonSelectCalibrDownClick()
{
    const int index = m_ctx.controls.itemIndex(kList);
    const int last = m_ctx.controls.itemCount(kList) - 1;
    // Past the last item the selection stays on the last one.
    selectCalibrationItem(index < 0 ? 0 : qMin(last, index + 1));
}

void ServicePage::UpDownCalibrCanChanging(int position)
{
    const int p = qBound(1, position, calibration::kChannels);
    const QString status =
        m_ctx.controls.text(composedName(QStringLiteral("StaticTextCalibrCan"), p));
    QString text = QStringLiteral("Канал ") + QString::number(p);
    // Only a warning: a channel without a module can still be calibrated.
    if (!status.isEmpty())
        text += QStringLiteral(" -") + status;
    m_ctx.controls.setText(kChannelEdit, text);
}

void ServicePage::ButtonCalibrClick()
{
    IControls &c = m_ctx.controls;
    const int index = c.itemIndex(kList);
    const std::optional<int> step =
        index < 0 ? std::nullopt : calibrationStepCode(c.itemText(kList, index));
    if (!step) {
        m_ctx.boxes.error(QStringLiteral("Не выбран пункт калибровки"));
        return;
    }
    float value = 0.0f;
    if (c.isShown(kValueEdit)) {
        const std::optional<float> typed = calibrationValue(index, c.text(kValueEdit));
        if (!typed) {
            m_ctx.boxes.error(QStringLiteral("Неверное значение"));
            return;
        }
        value = *typed;
    }
    const QByteArray payload =
        calibrationCommand(quint8(c.position(kChannelSpin)), quint8(*step), value);
    if (!journalReady(m_ctx))
        return;
    const bool ok = sendCommand(m_ctx.modbus, calibration::kCommandRegister,
                                calibration::kCommandCount, payload, calibration::kCommandWaitMs);
    if (ok)
        m_ctx.boxes.info(QStringLiteral("Точка откалибрована"));
    else
        m_ctx.boxes.error(QStringLiteral("Ошибка калибровки"));
    QList<JournalChange> changes;
    if (c.isShown(kValueEdit))
        changes << JournalChange{QStringLiteral("Значение"), QString(), c.text(kValueEdit).trimmed()};
    journalWrite(m_ctx,
                 QStringLiteral("Калибровка: канал %1, шаг %2").arg(c.position(kChannelSpin)).arg(*step),
                 changes, ok, journalOutcome(m_ctx.modbus, ok));
}

void ServicePage::runPenCommand(const PenCommand &command)
{
    if (!journalReady(m_ctx))
        return;
    const bool ok =
        sendCommand(m_ctx.modbus, command.reg, 1, penPayload(command.value), command.waitMs);
    const QString outcome = journalOutcome(m_ctx.modbus, ok);
    if (command.statusOnly) {
        m_ctx.controls.setText(kNudgeStatus, ok ? QStringLiteral("OK") : QStringLiteral("Err"));
    } else if (ok) {
        m_ctx.boxes.info(QString::fromUtf8(command.success));
    } else {
        m_ctx.boxes.error(QString::fromUtf8(command.failure));
    }
    journalWrite(m_ctx, QString::fromUtf8(command.what), {}, ok, outcome);
}

void ServicePage::Button4Click() { runPenCommand(*penCommandFor(QStringLiteral("Button4"))); }
void ServicePage::Button6Click() { runPenCommand(*penCommandFor(QStringLiteral("Button6"))); }
void ServicePage::Button8Click() { runPenCommand(*penCommandFor(QStringLiteral("Button8"))); }
void ServicePage::Button10Click() { runPenCommand(*penCommandFor(QStringLiteral("Button10"))); }
void ServicePage::Button32Click() { runPenCommand(*penCommandFor(QStringLiteral("Button32"))); }
void ServicePage::Button33Click() { runPenCommand(*penCommandFor(QStringLiteral("Button33"))); }

void ServicePage::Button34Click()
{
    const PenCheck check = penCheck(m_ctx.controls.text(kPercentEdit));
    if (!check.error.isEmpty()) {
        m_ctx.boxes.error(check.error);
        return;
    }
    if (!journalReady(m_ctx))
        return;
    const bool ok = sendCommand(m_ctx.modbus, kPenCheckRegister, 1, check.payload, kPenCheckWaitMs);
    if (ok)
        m_ctx.boxes.info(QStringLiteral("Положение пера установлено"));
    else
        m_ctx.boxes.error(QStringLiteral("Ошибка калибровки"));
    journalWrite(m_ctx, QStringLiteral("Перо: проверка"),
                 {{QStringLiteral("Проверка, %"), QString(), m_ctx.controls.text(kPercentEdit).trimmed()}},
                 ok, journalOutcome(m_ctx.modbus, ok));
}

void ServicePage::relabelChannels(const ChannelPresence &presence)
{
    for (int n = 1; n <= 4; ++n)
        m_ctx.controls.setText(composedName(QStringLiteral("StaticTextCalibrCan"), n),
                               presence.absent[n - 1] ? QStringLiteral("нет") : QString());
}

} // namespace vexs
