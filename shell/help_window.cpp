#include "shell/help_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace vexs {

HelpWindow::HelpWindow(const QStringList &folders, QWidget *parent)
    : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("FormHelp"));
    setWindowTitle(QStringLiteral("Справка"));
    resize(820, 640);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_browser->setObjectName(QStringLiteral("BrowserHelp"));
    m_browser->setOpenExternalLinks(true);
    layout->addWidget(m_browser);
    const QString guide = findGuide(folders);
    if (guide.isEmpty()) {
        m_browser->setPlainText(QStringLiteral("Руководство не найдено. Искали в:\n") + folders.join(u'\n'));
        return;
    }
    m_browser->setSource(QUrl::fromLocalFile(guide), QTextDocument::MarkdownResource);
}

QStringList HelpWindow::defaultFolders()
{
    const QDir bin(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(bin.filePath(QStringLiteral("../share/vexs-configurator"))),
            QStringLiteral(VEXS_SOURCE_DOCS)};
}

QString HelpWindow::findGuide(const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QFileInfo guide(QDir(folder), QStringLiteral("guide/guide.md"));
        if (guide.isFile() && guide.isReadable())
            return guide.absoluteFilePath();
    }
    return QString();
}

void showHelp(QWidget *parent)
{
    auto *window = parent->findChild<HelpWindow *>(QString(), Qt::FindDirectChildrenOnly);
    if (!window)
        window = new HelpWindow(HelpWindow::defaultFolders(), parent);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace vexs
