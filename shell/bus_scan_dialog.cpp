#include "shell/bus_scan_dialog.h"

#include "link/line_speed.h"
#include "link/link_activity.h"
#include "link/pumping_delay.h"
#include "link/serial_transport.h"
#include "link/tcp_client.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include <memory>
#include <optional>
#include <utility>

namespace vexs {

namespace {
// The addresses a recorder can be given; the search asks the unicast ones
// unless told otherwise.
constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 255;
constexpr int kLastUnicastAddress = 247;
constexpr int kLongestWaitMs = 10000;

enum Column { kAddressColumn, kSpeedColumn, kSerialColumn, kVersionsColumn, kColumns };

// The window's serial transport keeps the port open for a while after its
// last exchange, then closes it: no probe at another speed may be waiting
// on the port when it does.
void waitForThePortToBeLetGo(TAfComPort &port, LinkActivity &activity)
{
    // Marked as an exchange, so no poll tick takes the port meanwhile.
    std::optional<LinkActivity::Exchanging> spokenFor;
    if (!activity.exchanging())
        spokenFor.emplace(activity);
    QElapsedTimer held;
    held.start();
    while (port.Active() && held.elapsed() <= SerialTransport::HoldOpenMs + 50 && !pumpingDelaysInterrupted())
        PumpingDelay(10);
    port.Close();
}
} // namespace

BusScanDialog::BusScanDialog(const ILinkSettings &link, LinkStack &windowLink, LinkActivity &activity,
                             ILinkObserver *observer, QWidget *parent)
    : QDialog(parent),
      m_activity(activity),
      m_settings(link),
      m_link(m_settings, windowLink, activity),
      m_windowLink(windowLink),
      m_observer(observer)
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
    // A recorder whose speed nobody remembers is found at that speed.
    m_everySpeed = new QCheckBox(QStringLiteral("Все скорости"), this);
    m_everySpeed->setObjectName(QStringLiteral("CheckBoxScanEverySpeed"));
    grid->addWidget(m_everySpeed, 1, 2, 1, 3);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBarScan"));
    grid->addWidget(m_progress, 2, 0, 1, 5);
    m_table = new QTableWidget(0, kColumns, this);
    m_table->setObjectName(QStringLiteral("StringGridScan"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Адрес"), QStringLiteral("Скорость, бит/с"),
                                        QStringLiteral("Заводской номер"), QStringLiteral("Версии ПО")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionResizeMode(kSpeedColumn, QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(kSerialColumn, QHeaderView::ResizeToContents);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->addWidget(m_table, 3, 0, 1, 5);
    m_status = makeLabel(QString(), this, QStringLiteral("StaticTextScan"));
    grid->addWidget(m_status, 4, 0, 1, 5);
    showLineChoices();
    resize(540, 360);

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
    const FoundRecorder chosen = m_found[row];
    if (chosen.bitsPerSecond > 0)
        emit speedChosen(lineSpeedIndex(chosen.bitsPerSecond));
    emit addressChosen(chosen.address);
    finish(QDialog::Accepted);
}

void BusScanDialog::showLineChoices()
{
    const bool serial = m_settings.interfaceIndex() == 0;
    const QList<int> speeds = scanSpeeds(true, 0);
    m_everySpeed->setEnabled(serial && !m_scanning);
    m_everySpeed->setToolTip(
        serial ? QStringLiteral("Каждая скорость от %1 до %2 бит/с по всем адресам диапазона")
                     .arg(speeds.first())
                     .arg(speeds.last())
               : QStringLiteral("Через шлюз скорость линии задаёт шлюз"));
    m_table->setColumnHidden(kSpeedColumn, !serial);
    m_table->setToolTip(serial
                            ? QStringLiteral("Двойной щелчок — связаться с прибором по его адресу и скорости")
                            : QStringLiteral("Двойной щелчок — связаться с прибором по его адресу"));
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
    showLineChoices();
    // The range, the wait and the speeds are read once; they stay as the scan runs.
    const auto enableFields = [this](bool on) {
        m_from->setEnabled(on);
        m_to->setEnabled(on);
        m_wait->setEnabled(on);
    };
    enableFields(false);
    const bool serial = m_settings.interfaceIndex() == 0;
    m_settings.setBaudIndex(-1);
    // Over a gateway the line's speed is the gateway's: one pass, at none.
    const QList<int> speeds = scanSpeeds(serial && m_everySpeed->isChecked(),
                                         serial ? lineSpeedForIndex(m_settings.baudIndex()) : 0);
    const int span = to - from + 1;
    m_progress->setRange(0, int(speeds.size()) * span);
    m_progress->setValue(0);
    // The window's transport opens the port at the bar's speed. Other speeds
    // take a transport of their own on the same port, for this run only.
    std::unique_ptr<LinkStack> ownLink;
    if (speeds.size() > 1) {
        waitForThePortToBeLetGo(m_windowLink.port(), m_activity);
        ownLink =
            std::make_unique<LinkStack>(m_settings, m_windowLink.port(), m_windowLink.tcp(), m_activity);
        ownLink->exchange().setObserver(m_observer);
    }
    LinkStack &link = ownLink ? *ownLink : m_link;
    QString failure;
    int stoppedAt = 0; // the first address not asked; 0 when the run went to its end
    int stoppedSpeed = 0;
    int asked = 0;
    for (const int speed : speeds) {
        m_settings.setBaudIndex(lineSpeedIndex(speed));
        const int waitMs = scanWaitMs(serial, speed, m_wait->value());
        m_settings.setEndsOnSilence(m_wait->value() == 0);
        for (int address = from; address <= to; ++address) {
            if (m_cancelled || pumpingDelaysInterrupted()) {
                stoppedAt = address;
                stoppedSpeed = speed;
                break;
            }
            m_settings.setAddress(address);
            m_status->setText(speeds.size() > 1
                                  ? QStringLiteral("Скорость %1 бит/с, адрес %2...").arg(speed).arg(address)
                                  : QStringLiteral("Адрес %1...").arg(address));
            std::optional<FoundRecorder> found;
            try {
                found = probeRecorder(link.modbus(), address, waitMs);
            } catch (const std::exception &error) {
                failure = QString::fromUtf8(error.what());
                break;
            }
            m_progress->setValue(++asked);
            if (!found) {
                // No link at all (the gateway's connection not open, the port
                // missing or taken) is no empty line.
                if (const QString problem = link.linkProblem(); !problem.isEmpty()) {
                    failure = QStringLiteral("нет связи с прибором: ") + problem;
                    break;
                }
                continue;
            }
            found->bitsPerSecond = speed;
            m_found.append(*found);
            const int row = m_table->rowCount();
            m_table->insertRow(row);
            m_table->setItem(row, kAddressColumn, new QTableWidgetItem(QString::number(found->address)));
            m_table->setItem(row, kSpeedColumn,
                             new QTableWidgetItem(speed > 0 ? QString::number(speed) : QString()));
            m_table->setItem(row, kSerialColumn, new QTableWidgetItem(found->serial));
            m_table->setItem(row, kVersionsColumn,
                             new QTableWidgetItem(QStringLiteral("%1 / %2 / %3")
                                                      .arg(found->versionProc, found->versionInd,
                                                           found->versionDac)));
        }
        if (stoppedAt > 0 || !failure.isEmpty())
            break;
    }
    if (ownLink) {
        // Left open, the port would stay at the last speed tried with no
        // transport to let it go.
        ownLink.reset();
        m_windowLink.port().Close();
    }
    m_settings.setBaudIndex(-1);
    const QString count = QStringLiteral("Найдено приборов: %1").arg(m_found.size());
    if (!failure.isEmpty())
        m_status->setText(QStringLiteral("Поиск прерван: ") + failure);
    else if (stoppedAt > 0 && speeds.size() > 1)
        m_status->setText(QStringLiteral("%1 (поиск остановлен на адресе %2, %3 бит/с)")
                              .arg(count)
                              .arg(stoppedAt)
                              .arg(stoppedSpeed));
    else if (stoppedAt > 0)
        m_status->setText(QStringLiteral("%1 (поиск остановлен на адресе %2)").arg(count).arg(stoppedAt));
    else
        m_status->setText(count);
    m_start->setText(QStringLiteral("Начать"));
    enableFields(true);
    m_scanning = false;
    showLineChoices();
    if (m_pendingResult >= 0)
        done(std::exchange(m_pendingResult, -1));
}

} // namespace vexs
