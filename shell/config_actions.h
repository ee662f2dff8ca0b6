#pragma once

// The window's configuration files: save what the device holds, open a file
// into the pages, compare the pages or the device with a file, and write a
// file into the device (backup, write, read back). The work is done by
// settings/config_file and settings/config_transfer; this only asks the
// user, moves values and shows the outcome.

#include "settings/config_file.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QPushButton;
class QWidget;

namespace vexs {

struct PageContext;

class ConfigActions : public QObject
{
    Q_OBJECT
public:
    // Everything that would open a window of its own, replaceable by tests.
    struct Hooks
    {
        // A path to save to, or empty when the user gives up; `suggested`
        // is the path offered.
        std::function<QString(const QString &caption, const QString &suggested)> saveFileName;
        // A file to open, or empty.
        std::function<QString(const QString &caption)> openFileName;
        std::function<bool(const QString &question)> confirm;
        // Before a configuration write: the fields that will change, from
        // what the device holds to what goes out, and the question; true
        // to write.
        std::function<bool(const QString &question, const QList<ConfigDifference> &changes)> previewWrite;
        // The table of differences; called only when there is any.
        std::function<void(const QString &title, const QString &sideA, const QString &sideB,
                           const QList<ConfigDifference> &groups,
                           const QList<ConfigDifference> &notes)>
            showDifferences;
        // Where backups go; empty means the user's data folder.
        QString backupFolder;
    };

    ConfigActions(PageContext &context, QWidget *window);

    // The buttons, one under the other, with Ctrl+S and Ctrl+O on the window.
    QWidget *createPanel(QWidget *parent);
    Hooks &hooks() { return m_hooks; }

    // Ctrl+S: reads the device and saves its configuration (not the pages).
    void saveDeviceConfig();
    // Saves the pages as they stand, edits included; nothing is sent. The
    // octets no field shows come from the bulk read, or from the file
    // opened when there was none.
    void savePagesToFile();
    // Writes every group the pages hold as a file is written: validation,
    // preview, backup, write and verify.
    void writePagesIntoDevice();
    // Ctrl+O: fills the pages from a file; nothing is sent.
    void openIntoPages();
    void comparePagesWithFile();
    void compareDeviceWithFile();
    // Validates the file, asks, keeps a backup, writes every group, reads
    // back and reports per group.
    void writeFileIntoDevice();

    // The table dialog the default hook shows.
    static void showDifferenceTable(QWidget *parent, const QString &title, const QString &sideA,
                                    const QString &sideB, const QList<ConfigDifference> &groups,
                                    const QList<ConfigDifference> &notes);
    // The preview the default hook shows: the question above the changes,
    // "Записать" and "Отмена".
    static bool showWritePreview(QWidget *parent, const QString &question,
                                 const QList<ConfigDifference> &changes);

private:
    std::optional<DeviceConfig> readDevice(bool *stopped);
    std::optional<DeviceConfig> openFile(const QString &caption, QString *path);
    // bothWhole: a device and a file, rather than the pages and a file.
    void compare(const QString &title, const QString &sideA, const QString &sideB,
                 const DeviceConfig &a, const DeviceConfig &b, bool bothWhole);
    QString program() const;
    void remember(const QString &path);
    // The pages as a configuration, over the octets they do not show;
    // nullopt with the reason shown.
    std::optional<DeviceConfig> pagesConfig();
    // Reads what the device holds, shows what will change, asks, then
    // backs up, writes, verifies, fills the pages from the read-back and
    // reports.
    void writeConfig(const DeviceConfig &config, const QString &asked);

    PageContext &m_ctx;
    QWidget *m_window;
    Hooks m_hooks;
    QString m_folder; // of the last file chosen
    // The file last opened into the pages: what they do not show of it
    // goes into a file saved from them while no bulk read came after.
    std::optional<DeviceConfig> m_opened;
};

} // namespace vexs
