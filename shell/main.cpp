#include "shell/form_main.h"
#include "ui/message_boxes.h"
#include "shell/port_map.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vexs"));
    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);

    // The configuration file lives beside the executable; without a folder
    // to hold it the program cannot keep its settings.
    const QString config = vexs::defaultConfigPath();
    if (!QFileInfo(QFileInfo(config).absolutePath()).isDir()) {
        vexs::QtMessageBoxes boxes;
        boxes.errorNoIcon(QStringLiteral("Файл конфигурации не найден"));
        return 1;
    }

    vexs::TformMain formMain;
    formMain.show();
    return app.exec();
}
