#pragma once

// The navigation tree and the stack of pages beside it: which node shows
// which page, with only the shown page's tab visible. The factory pages
// (raw registers) are the navigation's own: their nodes stay hidden until
// the factory chord reveals them.

#include <QList>
#include <QObject>
#include <QString>

class QTabWidget;
class QTreeWidget;
class QWidget;

namespace vexs {

struct PageContext;

class Navigation : public QObject
{
public:
    static constexpr int kPageCount = 14;

    // Fills the tree with its nodes; the tree starts hidden.
    Navigation(QTreeWidget *tree, QTabWidget *pages, QObject *parent);

    // One captioned sheet per page, in the stack, for the pages to go in;
    // the factory pages are built into theirs here.
    QList<QWidget *> addSheets(PageContext &context);
    // Shows the factory pages' nodes.
    void revealFactoryPages();
    // As at start: only the start page's tab, the tree expanded.
    void reset();
    // Selects the node with the given absolute index, which shows its page.
    void select(int absoluteIndex);
    // Shows the page alone.
    void show(int absoluteIndex);
    // Index of the one page whose tab is visible; -2 when several are.
    int visiblePage() const;

private:
    void showTabOf(int index);

    QTreeWidget *m_tree;
    QTabWidget *m_pages;
};

} // namespace vexs
