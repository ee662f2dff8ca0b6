#pragma once

#include "shell/navigation.h"
#include "ui/page_context.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QFrame;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace vexs {

class ArchivePage;
class Commissioning;
class ConfigActions;
class FileWriteJournal;
class ConnectionBar;
class DisplayPage;
class Exchange;
class IdentificationPage;
class IMessageBoxes;
class QtMessageBoxes;
class LinkActivity;
class LinkStack;
class LivePage;
class MathChannelsPage;
class MeasurementChannelsPage;
class ModbusMaster;
class NetworkPage;
class OutputsPage;
class OutputTestGroup;
class RecordingPage;
class ServicePage;
class SetpointsPage;
class SettingsImage;
class StatusPanel;
class SerialTransport;
class TAfComPort;
class TcpClient;
class TrafficMonitor;
class WidgetControls;

// The one main window: connection bar on top, navigation tree on the left,
// the stack of thirteen pages beside it. It composes the pages; their logic
// lives in the page classes.
class TformMain : public QWidget
{
    Q_OBJECT
public:
    struct Options
    {
        // Vexs.ini; empty means the file beside the executable.
        QString configPath;
        // Message boxes; null means real modal boxes.
        IMessageBoxes *boxes = nullptr;
        // Serial port number -> device path; empty means the [Ports]
        // section of the configuration file, else /dev/ttyS(n-1).
        std::function<QString(int)> portResolver;
        // Also write the program's messages to the log file in the user's
        // data folder (see shell/log_file.h); the program sets it, tests do not.
        bool logFile = false;
        // The write journal's folder; empty means the user's data folder.
        QString journalFolder;
    };

    TformMain();
    explicit TformMain(Options options);
    ~TformMain() override;

    static constexpr int kPageCount = Navigation::kPageCount;

    // Handlers under the names the program uses.
    void FormShow();
    void FormClose();
    void TreeView1Changing(int absoluteIndex);
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void Button11Click();
    // Ctrl+T and the bar's monitor button: shows the traffic monitor.
    void showMonitor();
    // The bar's "Поиск…": the search of the line for recorders.
    void showBusScan();
    // "Запись в несколько приборов…": one file to a list of addresses.
    void showFleetWrite();

    // The two factory chords: Ctrl+Alt+1 reveals the factory controls,
    // Ctrl+Alt+2 shows the navigation tree without a bulk read.
    static constexpr int kFactoryKey = Qt::Key_1;
    static constexpr int kTreeKey = Qt::Key_2;

    PageContext &context();
    IMessageBoxes &boxes();
    ConnectionBar &connectionBar() { return *m_bar; }
    Exchange &exchange();
    TcpClient &socket() { return *m_socket; }
    TAfComPort &serialPort() { return *m_serial; }
    LinkActivity &activity() { return *m_activity; }
    TrafficMonitor &monitor() { return *m_monitor; }
    SettingsImage &image() { return *m_image; }
    // Configuration files: save, open, compare, write into the device.
    ConfigActions &configActions() { return *m_configActions; }
    // The write journal, the report and the write to several recorders.
    Commissioning &commissioning() { return *m_commissioning; }
    QString configPath() const { return m_configPath; }
    // Index of the one page whose tab is visible.
    int visiblePage() const;
    QTreeWidget *tree() const { return m_tree; }
    // Selects the tree node with the given absolute index.
    void selectNode(int absoluteIndex);


protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildPages();
    void applyBusy(bool busy);
    void closeIfPutOff();

    QString m_configPath;
    std::unique_ptr<QtMessageBoxes> m_ownBoxes;
    IMessageBoxes *m_boxes;
    std::unique_ptr<LinkActivity> m_activity;
    std::unique_ptr<TAfComPort> m_serial;
    TcpClient *m_socket;
    ConnectionBar *m_bar;
    TrafficMonitor *m_monitor = nullptr;
    ConfigActions *m_configActions = nullptr;
    std::unique_ptr<LinkStack> m_link;
    std::unique_ptr<SettingsImage> m_image;
    std::unique_ptr<WidgetControls> m_controls;
    std::unique_ptr<PageContext> m_context;
    std::unique_ptr<FileWriteJournal> m_journal;
    Commissioning *m_commissioning = nullptr;

    QTreeWidget *m_tree = nullptr;
    QTabWidget *m_pages = nullptr;
    Navigation *m_navigation = nullptr;
    StatusPanel *m_status = nullptr;
    bool m_closeWhenDone = false; // a close asked while a write ran

    IdentificationPage *m_identification = nullptr;
    MeasurementChannelsPage *m_measurement = nullptr;
    MathChannelsPage *m_math = nullptr;
    OutputsPage *m_outputs = nullptr;
    OutputTestGroup *m_outputTest = nullptr;
    SetpointsPage *m_setpoints = nullptr;
    RecordingPage *m_recording = nullptr;
    DisplayPage *m_display = nullptr;
    NetworkPage *m_network = nullptr;
    LivePage *m_live = nullptr;
    ArchivePage *m_archive = nullptr;
    ServicePage *m_service = nullptr;

    bool m_shown = false;
    bool m_closed = false;
    bool m_cursorOverridden = false;
};

} // namespace vexs
