#include "shell/fleet_dialog.h"

#include "link/address_list.h"
#include "link/link_activity.h"
#include "link/pumping_delay.h"
#include "link/tcp_client.h"
#include "settings/config_transfer.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <memory>
#include <utility>

namespace vexs {

namespace {

enum OverrideColumn { kAddressColumn, kNewAddressColumn, kIpColumn, kOverrideColumns };
enum ResultColumn { kResultAddressColumn, kResultColumn, kBackupColumn, kResultColumns };

const QString kNetwork = QStringLiteral("network");
const QString kFilter = QStringLiteral("Конфигурация прибора (*.json);;Все файлы (*)");

QString program()
{
    const QString name = QCoreApplication::applicationName();
    const QString version = QCoreApplication::applicationVersion();
    return (name.isEmpty() ? QStringLiteral("vexs-configurator") : name)
           + (version.isEmpty() ? QString() : QLatin1Char(' ') + version);
}

QTableWidgetItem *fixedItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text().trimmed() : QString();
}

} // namespace

FleetDialog::FleetDialog(const ILinkSettings &link, LinkStack &windowLink, LinkActivity &activity,
                         IMessageBoxes &boxes, ILinkObserver *observer, QWidget *parent)
    : QDialog(parent),
      m_activity(activity),
      m_boxes(boxes),
      m_settings(link),
      m_link(m_settings, windowLink, activity),
      m_windowLink(windowLink),
      m_folder(QDir::homePath())
{
    setObjectName(QStringLiteral("DialogFleetWrite"));
    setWindowTitle(QStringLiteral("Запись в несколько приборов"));
    m_link.exchange().setObserver(observer);
    m_hooks.openFileName = [this](const QString &caption, const QString &folder) {
        return QFileDialog::getOpenFileName(this, caption, folder, kFilter);
    };

    auto *grid = new QGridLayout(this);
    grid->addWidget(makeLabel(QStringLiteral("Файл"), this), 0, 0);
    m_file = makeEdit(QStringLiteral("EditFleetFile"), this);
    grid->addWidget(m_file, 0, 1);
    m_browse = makeButton(QStringLiteral("ButtonFleetBrowse"), QStringLiteral("Обзор…"), this);
    grid->addWidget(m_browse, 0, 2);
    grid->addWidget(makeLabel(QStringLiteral("Адреса"), this), 1, 0);
    m_addresses = makeEdit(QStringLiteral("EditFleetAddresses"), this);
    m_addresses->setPlaceholderText(QStringLiteral("1-8, 10"));
    m_addresses->setToolTip(QStringLiteral("Адреса через запятую, диапазоны через дефис: 1-8, 10"));
    grid->addWidget(m_addresses, 1, 1, 1, 2);
    // Checked at first: the file's slave address for a whole line would
    // leave recorders no one can tell apart.
    m_keepNetwork = new QCheckBox(QStringLiteral("Оставить сеть прибора"), this);
    m_keepNetwork->setObjectName(QStringLiteral("CheckBoxFleetKeepNetwork"));
    m_keepNetwork->setChecked(true);
    m_keepNetwork->setToolTip(QStringLiteral("Адрес, интерфейс, скорость и IP-адреса каждого прибора "
                                             "остаются как в приборе"));
    grid->addWidget(m_keepNetwork, 2, 0, 1, 3);
    m_overrides = new QTableWidget(0, kOverrideColumns, this);
    m_overrides->setObjectName(QStringLiteral("StringGridFleetNetwork"));
    m_overrides->setHorizontalHeaderLabels(
        {QStringLiteral("Адрес"), QStringLiteral("Новый адрес"), QStringLiteral("IP-адрес")});
    m_overrides->horizontalHeader()->setStretchLastSection(true);
    m_overrides->verticalHeader()->hide();
    m_overrides->setToolTip(QStringLiteral("Пустая ячейка — значение из файла"));
    grid->addWidget(m_overrides, 3, 0, 1, 3);

    auto *buttons = new QHBoxLayout;
    m_write = makeButton(QStringLiteral("ButtonFleetWrite"), QStringLiteral("Записать"), this);
    m_stop = makeButton(QStringLiteral("ButtonFleetStop"), QStringLiteral("Остановить"), this);
    m_stop->setToolTip(QStringLiteral("Остановить после прибора, который записывается сейчас"));
    m_close = makeButton(QStringLiteral("ButtonFleetClose"), QStringLiteral("Закрыть"), this);
    buttons->addWidget(m_write);
    buttons->addWidget(m_stop);
    buttons->addStretch(1);
    buttons->addWidget(m_close);
    grid->addLayout(buttons, 4, 0, 1, 3);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBarFleet"));
    grid->addWidget(m_progress, 5, 0, 1, 3);
    m_status = makeLabel(QString(), this, QStringLiteral("StaticTextFleet"));
    grid->addWidget(m_status, 6, 0, 1, 3);
    m_results = new QTableWidget(0, kResultColumns, this);
    m_results->setObjectName(QStringLiteral("StringGridFleetResult"));
    m_results->setHorizontalHeaderLabels(
        {QStringLiteral("Адрес"), QStringLiteral("Результат"), QStringLiteral("Резервная копия")});
    m_results->horizontalHeader()->setStretchLastSection(true);
    m_results->verticalHeader()->hide();
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->addWidget(m_results, 7, 0, 1, 3);
    m_summary = makeLabel(QString(), this, QStringLiteral("StaticTextFleetSummary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(m_summary, 8, 0, 1, 3);
    enableFields(true);
    resize(620, 520);

    connect(m_addresses, &QLineEdit::textChanged, this, [this] { fillRows(); });
    connect(m_keepNetwork, &QCheckBox::toggled, this, [this] { enableFields(!m_writing); });
    connectDialogAction(m_browse, m_activity, m_boxes, [this] { browse(); });
    // A poll's exchange under way: start once the link is free, never
    // inside its wait.
    connect(m_write, &QPushButton::clicked, this, [this] {
        runWhenLinkFree(this, m_activity, std::make_shared<std::function<void()>>([this] {
                            runGuarded(m_boxes, [this] { write(); });
                        }));
    });
    connect(m_stop, &QPushButton::clicked, this, [this] { stop(); });
    connect(m_close, &QPushButton::clicked, this, [this] { reject(); });
}

void FleetDialog::browse()
{
    const QString path = m_hooks.openFileName(QStringLiteral("Файл конфигурации для записи в приборы"), m_folder);
    if (path.isEmpty())
        return;
    m_folder = QFileInfo(path).absolutePath();
    m_file->setText(QDir::toNativeSeparators(path));
}

void FleetDialog::fillRows()
{
    const std::optional<QList<int>> addresses = parseAddressList(m_addresses->text());
    if (!addresses)
        return; // half typed: the rows stay until the list reads again
    QMap<int, std::pair<QString, QString>> typed;
    for (int row = 0; row < m_overrides->rowCount(); ++row) {
        typed.insert(cellText(m_overrides, row, kAddressColumn).toInt(),
                     {cellText(m_overrides, row, kNewAddressColumn), cellText(m_overrides, row, kIpColumn)});
    }
    m_overrides->setRowCount(0);
    for (const int address : *addresses) {
        const int row = m_overrides->rowCount();
        m_overrides->insertRow(row);
        m_overrides->setItem(row, kAddressColumn, fixedItem(QString::number(address)));
        m_overrides->setItem(row, kNewAddressColumn, new QTableWidgetItem(typed.value(address).first));
        m_overrides->setItem(row, kIpColumn, new QTableWidgetItem(typed.value(address).second));
    }
}

QList<FleetAddress> FleetDialog::rowSettings(const QList<int> &addresses) const
{
    QList<FleetAddress> out;
    for (const int address : addresses) {
        FleetAddress a{address, {}};
        for (int row = 0; row < m_overrides->rowCount() && !m_keepNetwork->isChecked(); ++row) {
            if (cellText(m_overrides, row, kAddressColumn).toInt() == address) {
                a.settings = networkOverrides(cellText(m_overrides, row, kNewAddressColumn),
                                              cellText(m_overrides, row, kIpColumn));
            }
        }
        out << a;
    }
    return out;
}

void FleetDialog::write()
{
    if (m_writing)
        return;
    const QString path = m_file->text().trimmed();
    if (path.isEmpty()) {
        m_boxes.error(QStringLiteral("Выберите файл конфигурации"));
        return;
    }
    QString error;
    const std::optional<DeviceConfig> config = readConfigFile(QDir::fromNativeSeparators(path), &error);
    if (!config) {
        m_boxes.error(error);
        return;
    }
    const std::optional<QList<int>> addresses = parseAddressList(m_addresses->text());
    if (!addresses || addresses->isEmpty()) {
        m_boxes.error(QStringLiteral("Неверный список адресов: нужны адреса от 1 до 255 через запятую, "
                                     "диапазоны через дефис, например 1-8, 10"));
        return;
    }
    fillRows();
    const QStringList keep = m_keepNetwork->isChecked() ? QStringList{kNetwork} : QStringList();
    // Every recorder's values before anything is sent: a bad one must not
    // leave half the line written.
    const std::optional<QList<FleetTarget>> targets = fleetTargets(*config, rowSettings(*addresses), keep, &error);
    if (!targets) {
        m_boxes.error(error);
        return;
    }
    if (const QString clash = addressClash(*targets, keep); !clash.isEmpty()) {
        m_boxes.error(clash + QStringLiteral(".\nОтметьте «Оставить сеть прибора» или задайте каждому прибору "
                                             "свой новый адрес."));
        return;
    }
    QString question = QStringLiteral("Записать конфигурацию из файла «%1» в приборы по адресам %2 (приборов: %3)?\n")
                           .arg(path, addressRanges(*addresses))
                           .arg(addresses->size());
    if (!keep.isEmpty()) {
        question += QStringLiteral("Сеть каждого прибора останется как в приборе.\n");
    } else {
        QStringList moved;
        for (const FleetTarget &t : *targets) {
            if (networkAddressOf(t.config) != t.address)
                moved << QStringLiteral("%1 → %2").arg(t.address).arg(networkAddressOf(t.config));
        }
        question += QStringLiteral("Сеть записывается: адрес и IP-адрес по таблице, остальное из файла.\n");
        if (!moved.isEmpty())
            question += QStringLiteral("Приборы получат новые адреса: %1.\n").arg(moved.join(QStringLiteral(", ")));
    }
    question += QStringLiteral("Перед записью конфигурация каждого прибора будет сохранена в резервную копию.");
    if (!m_boxes.confirm(question))
        return;

    m_writing = true;
    m_stopAsked = false;
    // The window's request buttons wait, and the bar keeps its port and
    // speed, until the run is over.
    LinkActivity::Scope busy(m_activity);
    enableFields(false);
    m_results->setRowCount(0);
    m_summary->clear();
    m_progress->setRange(0, int(targets->size()));
    m_progress->setValue(0);
    WriteOptions options;
    options.backupFolder = m_hooks.backupFolder.isEmpty() ? defaultBackupFolder() : m_hooks.backupFolder;
    options.program = program();
    options.keep = keep;
    options.journal = m_journal;
    bool asked = false;
    const FleetSelect select = [&](int address, QString *why) {
        m_settings.setAddress(address);
        m_status->setText(QStringLiteral("Адрес %1 (%2 из %3)...")
                              .arg(address)
                              .arg(addresses->indexOf(address) + 1)
                              .arg(addresses->size()));
        // The port's state is known once the run has used it; before, it
        // may be that of an earlier failure since put right.
        if (asked) {
            if (const QString problem = m_link.linkProblem(); !problem.isEmpty()) {
                *why = QStringLiteral("нет связи с прибором: ") + problem;
                return false;
            }
        }
        asked = true;
        return true;
    };
    const auto restore = [this] {
        m_writing = false;
        enableFields(true);
        m_status->clear();
    };
    try {
        m_report = writeFleet(
            *targets, select, m_link.modbus(), options,
            [this] { return !m_stopAsked && !pumpingDelaysInterrupted(); },
            [this](const FleetLine &line) { showLine(line); },
            [this] { return m_settings.interfaceIndex() != 0 && !m_windowLink.tcp().active(); });
    } catch (...) {
        restore();
        throw;
    }
    restore();
    m_summary->setText(m_report.summary());
    if (m_pendingResult >= 0)
        done(std::exchange(m_pendingResult, -1));
}

void FleetDialog::showLine(const FleetLine &line)
{
    const int row = m_results->rowCount();
    m_results->insertRow(row);
    m_results->setItem(row, kResultAddressColumn, new QTableWidgetItem(QString::number(line.address)));
    auto *result = new QTableWidgetItem(line.ok ? QStringLiteral("записан и проверен") : line.why);
    result->setToolTip(line.text);
    m_results->setItem(row, kResultColumn, result);
    m_results->setItem(row, kBackupColumn, new QTableWidgetItem(QDir::toNativeSeparators(line.backupPath)));
    m_results->scrollToItem(result);
    m_progress->setValue(m_progress->value() + 1);
}

void FleetDialog::enableFields(bool on)
{
    m_file->setEnabled(on);
    m_browse->setEnabled(on);
    m_addresses->setEnabled(on);
    m_keepNetwork->setEnabled(on);
    // Kept as in each recorder, the network group takes nothing of the table.
    m_overrides->setEnabled(on && !m_keepNetwork->isChecked());
    m_write->setEnabled(on);
    m_stop->setEnabled(!on);
}

void FleetDialog::finish(int result)
{
    if (!m_writing) {
        done(result);
        return;
    }
    // Deleting the dialog now would pull its exchange from under the wait.
    stop();
    m_pendingResult = result;
}

void FleetDialog::reject()
{
    finish(QDialog::Rejected);
}

} // namespace vexs
