#include "shell/form_main.h"
#include "ui/message_boxes.h"
#include "shell/port_map.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTimer>
#include <QTranslator>

#include <cstring>
#include <memory>

namespace {

// --help and --version only print: they must answer on a machine without a
// display, so they get a core application that loads no platform plugin.
bool onlyPrints(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "--help", "-?", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool printOnly = onlyPrints(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (printOnly)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexs-configurator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VEXS_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Configurator for the VEKS-310T2 measuring recorder.\n"
                       "Settings: Vexs.ini beside the executable when that folder is writable\n"
                       "and the program is not installed; otherwise %1.")
            .arg(QDir::toNativeSeparators(
                QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
                + QStringLiteral("/Vexs.ini"))));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption quitAfterShow(
        QStringLiteral("quit-after-show"),
        QStringLiteral("Close the window as soon as it is shown, saving the settings as at any "
                       "close (for smoke tests)."));
    parser.addOption(quitAfterShow);
    if (printOnly) {
        // Without the GUI application, Qt's own options such as -platform
        // are unknown here; they do not stop the help or the version.
        parser.parse(QCoreApplication::arguments());
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
        parser.showHelp();
    }
    parser.process(*app);

    QGuiApplication::setDesktopFileName(QStringLiteral(VEXS_APP_ID));
    QIcon icon = QIcon::fromTheme(QStringLiteral(VEXS_APP_ID));
    if (icon.isNull()) {
        icon.addFile(QStringLiteral(":/icons/48.png"));
        icon.addFile(QStringLiteral(":/icons/128.png"));
    }
    QApplication::setWindowIcon(icon);

    // The pages are Russian whatever the system language, so Qt's own texts
    // (context menus, standard buttons, the calendar's tips) are too. Numbers
    // and dates keep following the system locale.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);

    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);

    // Without a folder to hold the configuration file the program cannot
    // keep its settings.
    const QString config = vexs::defaultConfigPath();
    if (!QFileInfo(QFileInfo(config).absolutePath()).isDir()) {
        vexs::QtMessageBoxes boxes;
        boxes.errorNoIcon(QStringLiteral("Файл конфигурации не найден"));
        return 1;
    }

    vexs::TformMain::Options options;
    options.logFile = true; // vexs.log in the user's data folder
    options.configPath = config;
    vexs::TformMain formMain(options);
    formMain.show();
    if (parser.isSet(quitAfterShow))
        QTimer::singleShot(0, &formMain, &QWidget::close);
    return app->exec();
}
