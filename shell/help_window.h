#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QTextBrowser;

namespace vexs {

// "Справка" (F1): the user guide shipped with the program, with its
// screenshots, in a window of its own.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    // `folders`: where to look for guide/guide.md, first match wins.
    explicit HelpWindow(const QStringList &folders, QWidget *parent = nullptr);

    // The installed copy (share/vexs-configurator beside the program's bin
    // folder), then the source tree of a copy run from its build folder.
    static QStringList defaultFolders();
    // The guide's path in the first folder that has it; empty when none has.
    static QString findGuide(const QStringList &folders);

    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
};

// Shows the one help window of `parent`, making it the first time.
void showHelp(QWidget *parent);

} // namespace vexs
