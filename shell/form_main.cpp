#include "shell/form_main.h"

#include "shell/navigation.h"
#include "shell/status_panel.h"

#include "link/af_com_port.h"
#include "link/exchange.h"
#include "link/link_stack.h"
#include "shell/ini_file.h"
#include "link/link_activity.h"
#include "link/modbus.h"
#include "link/serial_transport.h"
#include "shell/port_map.h"
#include "link/tcp_client.h"
#include "service/archive_page.h"
#include "service/live_page.h"
#include "service/output_test_group.h"
#include "service/service_page.h"
#include "settings/bulk_read.h"
#include "settings/display_page.h"
#include "settings/gateway_probe.h"
#include "settings/identification_page.h"
#include "settings/math_page.h"
#include "settings/measurement_page.h"
#include "settings/network_page.h"
#include "settings/outputs_page.h"
#include "settings/recording_page.h"
#include "settings/settings_image.h"
#include "settings/setpoints_page.h"
#include "shell/bus_scan_dialog.h"
#include "settings/journal_store.h"
#include "shell/commissioning.h"
#include "shell/config_actions.h"
#include "shell/config_file.h"
#include "shell/fleet_dialog.h"
#include "shell/connection_bar.h"
#include "shell/help_window.h"
#include "shell/recorder_summary.h"
#include "shell/log_file.h"
#include "shell/traffic_monitor.h"
#include "shell/window_journal.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/widget_controls.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QPushButton>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QShortcut>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vexs {

TformMain::TformMain() : TformMain(Options()) {}

TformMain::TformMain(Options options)
    : m_configPath(options.configPath.isEmpty() ? defaultConfigPath() : options.configPath)
{
    if (options.logFile)
        installLogFile();
    setObjectName(QStringLiteral("formMain"));
    setWindowTitle(QStringLiteral(" Конфигуратор ВЕКС-310Т2 v1.18"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(1090, 607);

    if (options.boxes) {
        m_boxes = options.boxes;
    } else {
        m_ownBoxes = std::make_unique<QtMessageBoxes>(this);
        m_boxes = m_ownBoxes.get();
    }

    m_activity = std::make_unique<LinkActivity>();
    if (m_ownBoxes)
        m_ownBoxes->setActivity(m_activity.get());
    m_serial = std::make_unique<TAfComPort>(QStringLiteral("AfComPort1"));
    const QString configPath = m_configPath;
    m_serial->SetDevicePathResolver(options.portResolver
                                        ? options.portResolver
                                        : [configPath](int n) {
                                              return serialDevicePath(n, configPath);
                                          });
    m_socket = new TcpClient(this);
    m_socket->setObjectName(QStringLiteral("ClientSocket1"));

    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    m_bar = new ConnectionBar(*m_socket, *m_serial, *m_activity, *m_boxes, this);
    top->addWidget(m_bar);

    m_serial->OnOpening = [](bool opening) {
        if (opening)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    m_link = std::make_unique<LinkStack>(*m_bar, *m_serial, *m_socket, *m_activity);
    connect(&m_link->serial(), &SerialTransport::portStatusChanged, m_bar, &ConnectionBar::setPortStatus);
    connect(m_bar, &ConnectionBar::portChosen, this, [this](int number, const QString &path) {
        m_image->forgetSource();
        if (!mapSerialPort(number, path, m_configPath))
            m_boxes->report(QStringLiteral("Unable to write to %1").arg(m_configPath));
    });
    // Another gateway, or the same after a reset, may serve another line.
    connect(m_socket, &TcpClient::connected, this, [this] { m_image->forgetSource(); });
    // The monitor watches from the start: opened after a failure, it shows what led up to it.
    m_monitor = new TrafficMonitor(*m_boxes, m_activity.get(), this);
    m_monitor->watch(*m_link);
    m_bar->probeFraming = [this] { return probeGatewayFraming(*m_socket, m_link->modbus(), m_bar->slaveAddress()); };
    connectAction(m_bar->monitorButton(), *m_boxes, [this] { showMonitor(); });
    connectAction(m_bar->scanButton(), *m_boxes, [this] { showBusScan(); });
    markRequestControl(m_bar->scanButton());
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this, this, &TformMain::showMonitor);
    new QShortcut(QKeySequence::HelpContents, this, this, [this] { showHelp(this); });
    m_image = std::make_unique<SettingsImage>();
    m_controls = std::make_unique<WidgetControls>(this);
    m_status = new StatusPanel(*m_activity, this, this);
    m_status->infoShown = [this](bool info) {
        if (info)
            selectNode(0);
        m_tree->setVisible(!info);
    };
    m_context.reset(new PageContext{m_link->modbus(), *m_boxes, *m_controls, *m_activity, *m_image, *m_bar, *m_status});
    m_journal = makeWindowJournal(options.journalFolder.isEmpty() ? defaultJournalFolder() : options.journalFolder,
                                  *m_bar, *m_image, m_configPath);
    m_context->journal = m_journal.get();

    auto *panel2 = new QFrame(this);
    panel2->setObjectName(QStringLiteral("Panel2"));
    auto *split = new QHBoxLayout(panel2);
    split->setContentsMargins(0, 0, 0, 0);
    split->setSpacing(0);
    auto *panel3 = new QFrame(panel2);
    panel3->setObjectName(QStringLiteral("Panel3"));
    panel3->setFixedWidth(200);
    auto *panel3Layout = new QVBoxLayout(panel3);
    panel3Layout->setContentsMargins(0, 0, 0, 0);
    m_tree = new QTreeWidget(panel3);
    m_tree->setObjectName(QStringLiteral("TreeView1"));
    panel3Layout->addWidget(m_tree);
    auto *panel4 = new QFrame(panel2);
    panel4->setObjectName(QStringLiteral("Panel4"));
    auto *panel4Layout = new QVBoxLayout(panel4);
    panel4Layout->setContentsMargins(0, 0, 0, 0);
    m_pages = new QTabWidget(panel4);
    m_pages->setObjectName(QStringLiteral("PageControl"));
    panel4Layout->addWidget(m_pages);
    split->addWidget(panel3);
    split->addWidget(panel4, 1);
    top->addWidget(panel2, 1);

    m_navigation = new Navigation(m_tree, m_pages, this);
    buildPages();
    // The configuration file buttons stay under the tree whatever page is shown.
    m_configActions = new ConfigActions(*m_context, this);
    panel3Layout->addWidget(m_configActions->createPanel(panel3), 0, Qt::AlignBottom);
    m_commissioning = new Commissioning(*m_context, m_journal->store().folder(), this);
    m_commissioning->showFleetWrite = [this] { showFleetWrite(); };
    panel3Layout->addWidget(m_commissioning->createPanel(panel3), 0, Qt::AlignBottom);

    connectRequest(m_bar->readSettingsButton(), *m_context, [this] { Button11Click(); });
    connect(m_activity.get(), &LinkActivity::busyChanged, this, &TformMain::applyBusy);
    qApp->installEventFilter(this);
}

TformMain::~TformMain()
{
    qApp->removeEventFilter(this);
    if (m_cursorOverridden)
        QApplication::restoreOverrideCursor();
}

PageContext &TformMain::context()
{
    return *m_context;
}

Exchange &TformMain::exchange()
{
    return m_link->exchange();
}

IMessageBoxes &TformMain::boxes()
{
    return *m_boxes;
}

void TformMain::buildPages()
{
    PageContext &ctx = *m_context;
    // The sheets go into the window first, so a page under construction can
    // already be found by name from the window.
    const QList<QWidget *> sheets = m_navigation->addSheets(ctx);
    auto place = [&sheets](int i, QWidget *page) {
        sheets[i]->layout()->addWidget(page);
        return page;
    };

    auto *start = new QWidget(sheets[0]);
    auto *startLayout = new QVBoxLayout(start);
    startLayout->addStretch(1);
    startLayout->addWidget(m_status);
    startLayout->addWidget(new RecorderSummary(*m_image, start));
    startLayout->addStretch(2);
    place(0, start);

    place(1, new QWidget(sheets[1])); // FLASH: an empty page
    place(2, m_identification = new IdentificationPage(ctx, sheets[2]));
    place(3, m_measurement = new MeasurementChannelsPage(ctx, sheets[3]));
    place(4, m_math = new MathChannelsPage(ctx, sheets[4]));
    place(5, m_outputs = new OutputsPage(ctx, sheets[5]));
    m_outputTest = new OutputTestGroup(ctx, m_outputs);
    m_outputs->addServiceGroup(m_outputTest);
    place(6, m_setpoints = new SetpointsPage(ctx, sheets[6]));
    place(7, m_recording = new RecordingPage(ctx, sheets[7]));
    place(8, m_display = new DisplayPage(ctx, sheets[8]));
    place(9, m_network = new NetworkPage(ctx, sheets[9]));
    place(10, m_live = new LivePage(ctx, sheets[10]));
    place(11, m_archive = new ArchivePage(ctx, sheets[11]));
    place(12, m_service = new ServicePage(ctx, sheets[12]));
}

void TformMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TformMain::FormShow()
{
    // 1. Every drop-down list of the window starts at its first item.
    for (QComboBox *combo : findChildren<QComboBox *>())
        combo->setCurrentIndex(combo->count() > 0 ? 0 : -1);
    // 2. The speed list; the configuration file replaces it below.
    m_controls->setItemIndex(QStringLiteral("ComboBoxBaud"), 4);
    // 3. One row per linearisation table.
    m_math->resetTables();
    // 4. Only the start page shows its tab.
    m_navigation->reset();
    // 5, 6.
    m_bar->ComboBoxInterfaceChange();
    // 7.
    m_live->labelDiagnosticsGrid();
    // 8. Connection settings, clamped into each control's range.
    m_bar->applySettings(readConnectionSettings(IniFile(m_configPath)));
    // 9.
    m_archive->labelArchiveGrid();
}

void TformMain::closeEvent(QCloseEvent *event)
{
    // What the user started is not cut off part-way: a configuration write,
    // or a page's group written in several requests, would leave the
    // recorder with some settings old and some new. The window closes once
    // it is over, its summary included. A read that the user may stop
    // (the bulk read, a configuration or coefficient read) ends at once.
    const bool writing = m_status->operationRunning() && !m_status->stoppable();
    const bool stoppableRead = m_status->operationRunning() && m_status->stoppable();
    const bool putOff = !m_closed && (writing || (m_activity->busy() && !stoppableRead));
    if (putOff && !m_closeWhenDone) {
        m_closeWhenDone = true;
        setWindowTitle(windowTitle() + QStringLiteral(" — окно закроется по окончании обмена с прибором"));
    }
    if (!putOff && !m_closed) {
        m_closed = true;
        FormClose();
    }
    // The monitor, the trend and any other window of this one close with it;
    // a search of the line, asked to close, stops after the address it asks.
    for (QWidget *w : findChildren<QWidget *>()) {
        if (w->isWindow() && w->isVisible())
            w->close();
    }
    if (putOff)
        event->ignore();
    else
        event->accept();
}

void TformMain::FormClose()
{
    // Nothing queued starts from here on, not even inside the boxes below.
    m_activity->shutdown();
    const ConnectionSettings s = m_bar->settings();
    IniFile file(m_configPath);
    // A file that is too large or not text was read as empty (defaults);
    // it is not ours to rewrite.
    if (const QString unchanged = unchangedFileMessage(file); !unchanged.isEmpty())
        m_boxes->info(unchanged);
    else if (!writeConnectionSettings(file, s))
        m_boxes->report(QStringLiteral("Unable to write to %1").arg(m_configPath));
    // A handler may still be waiting for the device or on a message box:
    // end those waits so it unwinds, and send nothing more.
    m_link->exchange().shutdown();
    m_boxes->shutdown();
    m_serial->Close();
}

int TformMain::visiblePage() const
{
    return m_navigation->visiblePage();
}

void TformMain::selectNode(int absoluteIndex)
{
    m_navigation->select(absoluteIndex);
}

void TformMain::TreeView1Changing(int absoluteIndex)
{
    m_navigation->show(absoluteIndex);
}

void TformMain::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (!(modifiers & Qt::ControlModifier) || !(modifiers & Qt::AltModifier))
        return;
    if (key == kFactoryKey) {
        for (const char *name : {"ButtonWriteManuf", "GroupBoxInfo", "PanelCalibr"})
            m_controls->setShown(QString::fromLatin1(name), true);
        m_navigation->revealFactoryPages();
    } else if (key == kTreeKey) {
        m_status->showNavigation();
    }
}

bool TformMain::eventFilter(QObject *watched, QEvent *event)
{
    // The window sees key presses before the focused control does.
    if (event->type() == QEvent::KeyPress) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (!key->isAutoRepeat())
                FormKeyDown(key->key(), key->modifiers());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TformMain::Button11Click()
{
    vexs::Button11Click(*m_context);
}

void TformMain::closeIfPutOff()
{
    // After the event that ended the operation: a following step (the
    // read-back) begins at once and keeps the window open too, and so does
    // the summary its handler shows before the link is free again.
    if (m_closeWhenDone && !m_activity->busy())
        QTimer::singleShot(0, this, [this] { close(); });
}

void TformMain::showBusScan()
{
    if (findChild<BusScanDialog *>())
        return;
    auto *dialog = new BusScanDialog(*m_bar, *m_link, *m_activity, m_monitor, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &BusScanDialog::speedChosen, m_bar, &ConnectionBar::setBaudIndex);
    connect(dialog, &BusScanDialog::addressChosen, m_bar, &ConnectionBar::setSlaveAddress);
    dialog->open();
}

void TformMain::showFleetWrite()
{
    if (findChild<FleetDialog *>())
        return;
    auto *dialog = new FleetDialog(*m_bar, *m_link, *m_activity, *m_boxes, m_monitor, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setJournal(m_journal.get());
    dialog->open();
}

void TformMain::showMonitor()
{
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
}

void TformMain::applyBusy(bool busy)
{
    for (QWidget *w : findChildren<QWidget *>()) {
        if (isRequestControl(w))
            w->setEnabled(!busy);
    }
    // A group written in several requests goes to one recorder, as a long
    // operation's do.
    m_bar->holdLink(busy);
    if (!busy)
        closeIfPutOff();
    if (busy && !m_cursorOverridden) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        m_cursorOverridden = true;
    } else if (!busy && m_cursorOverridden) {
        QApplication::restoreOverrideCursor();
        m_cursorOverridden = false;
    }
}

} // namespace vexs
