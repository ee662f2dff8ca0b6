#include "shell/bus_scan_dialog.h"

#include "link/line_speed.h"
#include "link/link_activity.h"
#include "link/pumping_delay.h"
#include "link/tcp_client.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include <memory>
#include <utility>

namespace vexs {

namespace {
// The addresses a recorder can be given; the search asks the unicast ones
// unless told otherwise.
constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 255;
constexpr int kLastUnicastAddress = 247;
constexpr int kLongestWaitMs = 10000;
} // namespace

BusScanDialog::BusScanDialog(const ILinkSettings &link, LinkStack &windowLink, LinkActivity &activity,
                             ILinkObserver *observer, QWidget *parent)
    : QDialog(parent),
      m_activity(activity),
      m_settings(link),
      m_link(m_settings, windowLink, activity)
{
    setObjectName(QStringLiteral("FormBusScan"));
    setWindowTitle(QStringLiteral("Поиск приборов"));
    m_link.exchange().setObserver(observer);
    auto *grid = new QGridLayout(this);
    grid->addWidget(makeLabel(QStringLiteral("Адреса с"), this), 0, 0);
    m_from = makeSpinner(QStringLiteral("UpDownScanFrom"), QStringLiteral("EditScanFrom"),
                         kFirstAddress, kLastAddress, kFirstAddress, this);
    grid->addWidget(m_from, 0, 1);
    grid->addWidget(makeLabel(QStringLiteral("по"), this), 0, 2);
    m_to = makeSpinner(QStringLiteral("UpDownScanTo"), QStringLiteral("EditScanTo"), kFirstAddress,
                       kLastAddress, kLastUnicastAddress, this);
    grid->addWidget(m_to, 0, 3);
    m_start = makeButton(QStringLiteral("ButtonScan"), QStringLiteral("Начать"), this);
    grid->addWidget(m_start, 0, 4);
    // A slow converter or gateway may need more than the wait of the line.
    grid->addWidget(makeLabel(QStringLiteral("Ожидание, мс"), this), 1, 0);
    m_wait = makeSpinner(QStringLiteral("UpDownScanWait"), QStringLiteral("EditScanWait"), 0,
                         kLongestWaitMs, 0, this);
    m_wait->setSingleStep(10);
    m_wait->setSpecialValueText(QStringLiteral("авто"));
    m_wait->setToolTip(QStringLiteral("«авто»: время ответа на линии и 50 мс, через шлюз 100 мс"));
    grid->addWidget(m_wait, 1, 1);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBarScan"));
    grid->addWidget(m_progress, 2, 0, 1, 5);
    m_table = new QTableWidget(0, 3, this);
    m_table->setObjectName(QStringLiteral("StringGridScan"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Адрес"), QStringLiteral("Заводской номер"), QStringLiteral("Версии ПО")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setToolTip(QStringLiteral("Двойной щелчок — связаться с прибором по его адресу"));
    grid->addWidget(m_table, 3, 0, 1, 5);
    m_status = makeLabel(QString(), this, QStringLiteral("StaticTextScan"));
    grid->addWidget(m_status, 4, 0, 1, 5);
    resize(460, 360);

    connect(m_start, &QPushButton::clicked, this, &BusScanDialog::startOrCancel);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { choose(row); });
}

void BusScanDialog::startOrCancel()
{
    if (m_scanning) {
        cancel();
        return;
    }
    // A poll's exchange or a page's request under way: start once the link
    // is free, never inside their waits (each probe would be refused).
    runWhenLinkFree(this, m_activity,
                    std::make_shared<std::function<void()>>([this] { scan(m_from->value(), m_to->value()); }));
}

void BusScanDialog::finish(int result)
{
    if (!m_scanning) {
        done(result);
        return;
    }
    // Deleting the dialog now would pull its exchange from under the wait.
    cancel();
    m_pendingResult = result;
}

void BusScanDialog::reject()
{
    finish(QDialog::Rejected);
}

void BusScanDialog::choose(int row)
{
    if (row < 0 || row >= m_found.size())
        return;
    emit addressChosen(m_found[row].address);
    finish(QDialog::Accepted);
}

void BusScanDialog::scan(int from, int to)
{
    if (m_scanning)
        return;
    if (from > to)
        std::swap(from, to);
    m_scanning = true;
    m_cancelled = false;
    // The window's request buttons wait until the scan is over.
    LinkActivity::Scope busy(m_activity);
    m_found.clear();
    m_table->setRowCount(0);
    m_start->setText(QStringLiteral("Отмена"));
    // The range and the wait are read once; they stay as the scan runs.
    const auto enableFields = [this](bool on) {
        m_from->setEnabled(on);
        m_to->setEnabled(on);
        m_wait->setEnabled(on);
    };
    enableFields(false);
    m_progress->setRange(0, to - from + 1);
    m_progress->setValue(0);
    const bool serial = m_settings.interfaceIndex() == 0;
    const int waitMs = scanWaitMs(serial, lineSpeedForIndex(m_settings.baudIndex()), m_wait->value());
    QString failure;
    int address = from;
    for (; address <= to && !m_cancelled && !pumpingDelaysInterrupted(); ++address) {
        m_settings.setAddress(address);
        m_status->setText(QStringLiteral("Адрес %1...").arg(address));
        std::optional<FoundRecorder> found;
        try {
            found = probeRecorder(m_link.modbus(), address, waitMs);
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
            break;
        }
        m_progress->setValue(address - from + 1);
        if (!found) {
            // No link at all (the gateway's connection not open, the port
            // missing or taken) is no empty line.
            if (const QString problem = m_link.linkProblem(); !problem.isEmpty()) {
                failure = QStringLiteral("нет связи с прибором: ") + problem;
                break;
            }
            continue;
        }
        m_found.append(*found);
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        m_table->setItem(row, 0, new QTableWidgetItem(QString::number(found->address)));
        m_table->setItem(row, 1, new QTableWidgetItem(found->serial));
        m_table->setItem(row, 2, new QTableWidgetItem(QStringLiteral("%1 / %2 / %3")
                                                          .arg(found->versionProc, found->versionInd,
                                                               found->versionDac)));
    }
    const QString count = QStringLiteral("Найдено приборов: %1").arg(m_found.size());
    if (!failure.isEmpty())
        m_status->setText(QStringLiteral("Поиск прерван: ") + failure);
    else if (address <= to)
        m_status->setText(QStringLiteral("%1 (поиск остановлен на адресе %2)").arg(count).arg(address));
    else
        m_status->setText(count);
    m_start->setText(QStringLiteral("Начать"));
    enableFields(true);
    m_scanning = false;
    if (m_pendingResult >= 0)
        done(std::exchange(m_pendingResult, -1));
}

} // namespace vexs
