#include "shell/config_actions.h"

#include "link/modbus.h"
#include "settings/config_transfer.h"
#include "settings/image_fill.h"
#include "settings/settings_image.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vexs {

namespace {

const QString kFilter = QStringLiteral("Конфигурация прибора (*.json);;Все файлы (*)");
const QString kReading = QStringLiteral("Чтение конфигурации прибора");

QString shownPath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Group, field, side A, side B; notes greyed.
QTableWidget *differenceTable(QWidget *parent, const QString &sideA, const QString &sideB,
                              const QList<ConfigDifference> &groups, const QList<ConfigDifference> &notes)
{
    auto *table = new QTableWidget(int(groups.size() + notes.size()), 4, parent);
    table->setObjectName(QStringLiteral("GridDifferences"));
    table->setHorizontalHeaderLabels({QStringLiteral("Группа"), QStringLiteral("Поле"), sideA, sideB});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    int row = 0;
    for (const QList<ConfigDifference> *list : {&groups, &notes}) {
        for (const ConfigDifference &d : *list) {
            const QStringList cells{d.groupTitle, d.caption, d.a, d.b};
            for (int column = 0; column < cells.size(); ++column) {
                auto *item = new QTableWidgetItem(cells[column]);
                item->setToolTip(d.group + QStringLiteral(" / ") + d.field);
                if (list == &notes)
                    item->setForeground(parent->palette().placeholderText());
                table->setItem(row, column, item);
            }
            ++row;
        }
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

} // namespace

ConfigActions::ConfigActions(PageContext &context, QWidget *window)
    : QObject(window), m_ctx(context), m_window(window), m_folder(QDir::homePath())
{
    m_hooks.saveFileName = [this](const QString &caption, const QString &suggested) {
        return QFileDialog::getSaveFileName(m_window, caption, suggested, kFilter);
    };
    m_hooks.openFileName = [this](const QString &caption) {
        return QFileDialog::getOpenFileName(m_window, caption, m_folder, kFilter);
    };
    m_hooks.confirm = [this](const QString &question) { return m_ctx.boxes.confirm(question); };
    m_hooks.previewWrite = [this](const QString &question, const QList<ConfigDifference> &changes) {
        return showWritePreview(m_window, question, changes);
    };
    m_hooks.showDifferences = [this](const QString &title, const QString &sideA, const QString &sideB,
                                     const QList<ConfigDifference> &groups,
                                     const QList<ConfigDifference> &notes) {
        showDifferenceTable(m_window, title, sideA, sideB, groups, notes);
    };
}

QWidget *ConfigActions::createPanel(QWidget *parent)
{
    auto *panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("PanelConfigFiles"));
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(2);
    column->addWidget(makeLabel(QStringLiteral("Файл конфигурации"), panel));

    struct Entry
    {
        const char *name;
        const char *caption;
        const char *hint;
        bool sends; // a request handler; the others send nothing
        void (ConfigActions::*handler)();
    };
    const Entry entries[] = {
        {"ButtonConfigSave", "Сохранить прибор в файл",
         "Считать конфигурацию из прибора и сохранить в файл; правки на страницах в файл не попадают (Ctrl+S)",
         true, &ConfigActions::saveDeviceConfig},
        {"ButtonPagesSave", "Сохранить страницы в файл",
         "Сохранить в файл то, что на страницах, с правками, ничего не отправляя", false,
         &ConfigActions::savePagesToFile},
        {"ButtonConfigOpen", "Открыть файл", "Показать файл на страницах, ничего не отправляя (Ctrl+O)",
         false, &ConfigActions::openIntoPages},
        {"ButtonConfigComparePages", "Сравнить с файлом", "Сравнить страницы с файлом", false,
         &ConfigActions::comparePagesWithFile},
        {"ButtonConfigCompareDevice", "Сравнить прибор с файлом", "Считать прибор и сравнить с файлом",
         true, &ConfigActions::compareDeviceWithFile},
        {"ButtonConfigWrite", "Записать файл в прибор",
         "Показать изменения, сохранить резервную копию, записать файл в прибор и проверить чтением", true,
         &ConfigActions::writeFileIntoDevice},
        {"ButtonPagesWrite", "Записать страницы в прибор",
         "Показать изменения, сохранить резервную копию, записать все группы страниц и проверить чтением", true,
         &ConfigActions::writePagesIntoDevice},
    };
    for (const Entry &e : entries) {
        QPushButton *button = makeButton(QString::fromLatin1(e.name), QString::fromUtf8(e.caption), panel);
        button->setToolTip(QString::fromUtf8(e.hint));
        const auto handler = e.handler;
        if (e.sends) {
            connectRequest(button, m_ctx, [this, handler] { (this->*handler)(); });
        } else {
            // Not while the link is busy either: a read under way fills the pages too.
            markRequestControl(button);
            connectDialogAction(button, m_ctx, [this, handler] { (this->*handler)(); });
        }
        column->addWidget(button);
        const QKeySequence key = e.handler == &ConfigActions::saveDeviceConfig
                                     ? QKeySequence(QKeySequence::Save)
                                 : e.handler == &ConfigActions::openIntoPages ? QKeySequence(QKeySequence::Open)
                                                                              : QKeySequence();
        if (!key.isEmpty()) {
            auto *shortcut = new QShortcut(key, m_window);
            connect(shortcut, &QShortcut::activated, button, [button] {
                if (button->isEnabled())
                    button->click();
            });
        }
    }
    return panel;
}

QString ConfigActions::program() const
{
    const QString name = QCoreApplication::applicationName();
    const QString version = QCoreApplication::applicationVersion();
    return (name.isEmpty() ? QStringLiteral("vexs-configurator") : name)
           + (version.isEmpty() ? QString() : QLatin1Char(' ') + version);
}

void ConfigActions::remember(const QString &path)
{
    m_folder = QFileInfo(path).absolutePath();
}

std::optional<DeviceConfig> ConfigActions::readDevice(bool *stopped)
{
    *stopped = false;
    std::optional<DeviceConfig> config;
    {
        ProgressScope progress(m_ctx.status, kReading, kConfigReadRequests, true);
        config = readDeviceConfig(m_ctx.modbus, program(), [&](int done, int) {
            *stopped = !progress(done);
            return !*stopped;
        });
    }
    if (!config)
        m_ctx.boxes.error(*stopped ? QStringLiteral("Чтение прервано") : kNoLink);
    return config;
}

std::optional<DeviceConfig> ConfigActions::openFile(const QString &caption, QString *path)
{
    *path = m_hooks.openFileName(caption);
    if (path->isEmpty())
        return std::nullopt;
    remember(*path);
    QString error;
    std::optional<DeviceConfig> config = readConfigFile(*path, &error);
    if (!config)
        m_ctx.boxes.error(error);
    return config;
}

void ConfigActions::saveDeviceConfig()
{
    bool stopped = false;
    const std::optional<DeviceConfig> config = readDevice(&stopped);
    if (!config)
        return;
    const QString suggested = m_folder + QLatin1Char('/') + serialFileName(config->serial())
                              + config->readAt.toString(QStringLiteral("-yyyyMMdd")) + QStringLiteral(".json");
    const QString path = m_hooks.saveFileName(QStringLiteral("Сохранить конфигурацию"), suggested);
    if (path.isEmpty())
        return;
    remember(path);
    QString error;
    if (writeConfigFile(path, *config, &error))
        m_ctx.boxes.info(QStringLiteral("Конфигурация сохранена: ") + shownPath(path));
    else
        m_ctx.boxes.error(error);
}

std::optional<DeviceConfig> ConfigActions::pagesConfig()
{
    const PagesOrigin &origin = m_ctx.image.pagesOrigin();
    DeviceConfig config;
    config.program = program();
    config.readAt = QDateTime::currentDateTime();
    config.identification = origin.identification;
    QByteArray base;
    if (origin.kind == PagesOrigin::Kind::File && m_opened)
        base = m_opened->image;
    else if (m_ctx.image.isLoaded())
        base = m_ctx.image.bytes();
    if (base.isEmpty()) {
        // Zeros in place of the octets no field shows would go to a device.
        m_ctx.boxes.error(QStringLiteral("Страницы не заполнены: считайте настройки прибора или откройте файл"));
        return std::nullopt;
    }
    QString error;
    const std::optional<QByteArray> image = encodePages(m_ctx.controls, base, &error);
    if (!image) {
        m_ctx.boxes.error(error);
        return std::nullopt;
    }
    config.image = *image;
    return config;
}

void ConfigActions::savePagesToFile()
{
    const std::optional<DeviceConfig> config = pagesConfig();
    if (!config)
        return;
    const QString suggested = m_folder + QLatin1Char('/') + serialFileName(config->serial())
                              + config->readAt.toString(QStringLiteral("-yyyyMMdd")) + QStringLiteral(".json");
    const QString path = m_hooks.saveFileName(QStringLiteral("Сохранить страницы в файл"), suggested);
    if (path.isEmpty())
        return;
    remember(path);
    QString error;
    if (writeConfigFile(path, *config, &error))
        m_ctx.boxes.info(QStringLiteral("Страницы сохранены в файл, в прибор ничего не отправлено: ")
                         + shownPath(path));
    else
        m_ctx.boxes.error(error);
}

void ConfigActions::writePagesIntoDevice()
{
    const std::optional<DeviceConfig> config = pagesConfig();
    if (!config)
        return;
    QString question = QStringLiteral("Записать в прибор все группы настроек со страниц?\n"
                                      "Перед записью конфигурация прибора будет сохранена в резервную копию.");
    const QString other = m_ctx.image.pagesOrigin().otherAddressQuestion(m_ctx.link);
    if (!other.isEmpty())
        question = other + QLatin1Char('\n') + question;
    writeConfig(*config, question);
}

void ConfigActions::openIntoPages()
{
    QString path;
    const std::optional<DeviceConfig> config = openFile(QStringLiteral("Открыть файл"), &path);
    if (!config)
        return;
    // The pages fill as after a bulk read; the image stays the device's.
    SettingsImage shown;
    shown.replaceAll(config->image);
    FillPagesFromImage(m_ctx.controls, shown);
    m_opened = config;
    PagesOrigin origin = PagesOrigin::ofFile(QFileInfo(path).fileName(), config->serial(), config->readAt);
    origin.identification = config->identification;
    m_ctx.image.setPagesOrigin(origin);
    m_ctx.status.showNavigation();
    m_ctx.boxes.info(QStringLiteral("Файл открыт на страницах, в прибор ничего не отправлено: ")
                     + shownPath(path));
}

void ConfigActions::comparePagesWithFile()
{
    QString path;
    const std::optional<DeviceConfig> file = openFile(QStringLiteral("Сравнить с файлом"), &path);
    if (!file)
        return;
    QString error;
    const std::optional<QByteArray> image = encodePages(m_ctx.controls, m_ctx.image.bytes(), &error);
    if (!image) {
        m_ctx.boxes.error(error);
        return;
    }
    DeviceConfig pages;
    pages.image = *image;
    compare(QStringLiteral("Страницы и файл ") + QFileInfo(path).fileName(), QStringLiteral("Страницы"),
            QStringLiteral("Файл"), pages, *file, false);
}

void ConfigActions::compareDeviceWithFile()
{
    QString path;
    const std::optional<DeviceConfig> file = openFile(QStringLiteral("Сравнить прибор с файлом"), &path);
    if (!file)
        return;
    bool stopped = false;
    const std::optional<DeviceConfig> device = readDevice(&stopped);
    if (!device)
        return;
    compare(QStringLiteral("Прибор и файл ") + QFileInfo(path).fileName(), QStringLiteral("Прибор"),
            QStringLiteral("Файл"), *device, *file, true);
}

void ConfigActions::compare(const QString &title, const QString &sideA, const QString &sideB,
                            const DeviceConfig &a, const DeviceConfig &b, bool bothWhole)
{
    // The pages side has neither an identification nor octets beyond what
    // its fields show (those come from the last bulk read).
    const QList<ConfigDifference> groups = compareGroups(a, b, bothWhole);
    const QList<ConfigDifference> notes =
        bothWhole ? compareIdentification(a, b) : QList<ConfigDifference>();
    if (groups.isEmpty() && notes.isEmpty())
        m_ctx.boxes.info(QStringLiteral("Различий нет"));
    else
        m_hooks.showDifferences(title, sideA, sideB, groups, notes);
}

void ConfigActions::writeFileIntoDevice()
{
    QString path;
    const std::optional<DeviceConfig> file = openFile(QStringLiteral("Записать файл в прибор"), &path);
    if (!file)
        return;
    writeConfig(*file, QStringLiteral("Записать в прибор конфигурацию из файла «%1»?\n"
                                      "Перед записью конфигурация прибора будет сохранена в резервную копию.")
                           .arg(shownPath(path)));
}

void ConfigActions::writeConfig(const DeviceConfig &config, const QString &asked)
{
    if (!journalReady(m_ctx))
        return;
    QString question = asked;
    const int address = networkAddressOf(config);
    if (address != m_ctx.link.slaveAddress()) {
        question += QStringLiteral("\nВнимание: записываемые настройки задают прибору адрес %1, связь идёт по адресу %2.")
                        .arg(address)
                        .arg(m_ctx.link.slaveAddress());
    }
    // What will change is shown from what the device holds now; the write
    // reads it once more for its backup, right before it sends.
    bool stopped = false;
    const std::optional<DeviceConfig> device = readDevice(&stopped);
    if (!device)
        return;
    if (!m_hooks.previewWrite(question, writePreview(*device, config)))
        return;
    WriteOptions options;
    options.backupFolder = m_hooks.backupFolder.isEmpty() ? defaultBackupFolder() : m_hooks.backupFolder;
    options.program = program();
    options.status = &m_ctx.status;
    options.journal = m_ctx.journal;
    const WriteReport report = writeDeviceConfig(m_ctx.modbus, config, options);
    if (report.readBack) {
        // A whole read of the area, as a bulk read's: the pages show what the device now holds.
        m_ctx.image.replaceAll(*report.readBack, recorderOf(m_ctx.link));
        FillPagesFromImage(m_ctx.controls, m_ctx.image);
        m_ctx.status.showNavigation();
    }
    if (report.allVerified())
        m_ctx.boxes.info(report.summary());
    else
        m_ctx.boxes.error(report.summary());
}

void ConfigActions::showDifferenceTable(QWidget *parent, const QString &title, const QString &sideA,
                                        const QString &sideB, const QList<ConfigDifference> &groups,
                                        const QList<ConfigDifference> &notes)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("DialogConfigDifferences"));
    dialog.setWindowTitle(title);
    auto *layout = new QVBoxLayout(&dialog);
    QString count = groups.isEmpty() ? QStringLiteral("Различий нет")
                                     : QStringLiteral("Различий: %1").arg(groups.size());
    if (!notes.isEmpty())
        count += QStringLiteral("; в идентификации: %1 (не учитываются)").arg(notes.size());
    layout->addWidget(makeLabel(count, &dialog, QStringLiteral("LabelDifferenceCount")));

    QTableWidget *table = differenceTable(&dialog, sideA, sideB, groups, notes);
    layout->addWidget(table, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(720, 420);
    dialog.exec();
}

bool ConfigActions::showWritePreview(QWidget *parent, const QString &question,
                                     const QList<ConfigDifference> &changes)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("DialogWritePreview"));
    dialog.setWindowTitle(QStringLiteral("Запись в прибор"));
    auto *layout = new QVBoxLayout(&dialog);
    QLabel *asked = makeLabel(question, &dialog, QStringLiteral("LabelWriteQuestion"));
    asked->setWordWrap(true);
    layout->addWidget(asked);
    layout->addWidget(makeLabel(changes.isEmpty()
                                    ? QStringLiteral("В приборе уже те же значения: запись ничего не изменит")
                                    : QStringLiteral("Будут изменены поля: %1").arg(changes.size()),
                                &dialog, QStringLiteral("LabelChangeCount")));
    layout->addWidget(differenceTable(&dialog, QStringLiteral("В приборе"), QStringLiteral("Будет записано"),
                                      changes, {}),
                      1);
    auto *buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("Записать"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(720, 420);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace vexs
