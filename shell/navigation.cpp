#include "shell/navigation.h"

#include "service/registers_page.h"

#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vexs {

namespace {

struct PageInfo
{
    const char *node;
    int parent; // absolute index of the parent node, -1 for the root
    const char *caption;
    // A factory page: hidden until the factory chord, built here, and its
    // sheet named apart from TabSheet13..16, the math page's channel tabs.
    const char *factorySheet = nullptr;
};

// Node texts, tree structure and page captions, by absolute index.
const PageInfo kPages[Navigation::kPageCount] = {
    {"Векс 310", -1, ""},
    {"Работа с FLASH", 0, "Работа с FLASH"},
    {"Конфигурация", 0, " Конфигурация "},
    {"Каналы измерения", 2, "Каналы измерительные"},
    {"Каналы математические", 2, "Каналы математические"},
    {"Выходные сигналы", 2, "Выходные сигналы"},
    {"Сигнализация", 2, "Сигнализация"},
    {"Рег./Арх./Дата/Время", 2, "Регистрация/архивирование/Дата/Время"},
    {"Индикация", 2, "Индикация"},
    {"Сеть", 2, "Сеть"},
    {"Измерение", 0, "Измерение"},
    {"Архивы", 0, "Архив"},
    {"Сервис", 0, "Сервис"},
    {"Регистры", 0, "Регистры", "TabSheetRegs"},
};

const int kIndexRole = Qt::UserRole + 1;

} // namespace

Navigation::Navigation(QTreeWidget *tree, QTabWidget *pages, QObject *parent)
    : QObject(parent), m_tree(tree), m_pages(pages)
{
    m_tree->setHeaderHidden(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setMouseTracking(true); // hot tracking
    QTreeWidgetItem *items[kPageCount] = {};
    for (int i = 0; i < kPageCount; ++i) {
        const PageInfo &info = kPages[i];
        QTreeWidgetItem *item =
            info.parent < 0 ? new QTreeWidgetItem(m_tree) : new QTreeWidgetItem(items[info.parent]);
        item->setText(0, QString::fromUtf8(info.node));
        item->setData(0, kIndexRole, i);
        item->setHidden(info.factorySheet != nullptr);
        items[i] = item;
    }
    m_tree->setVisible(false);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        if (current)
            show(current->data(0, kIndexRole).toInt());
    });
}

QList<QWidget *> Navigation::addSheets(PageContext &context)
{
    QList<QWidget *> sheets;
    for (int i = 0; i < kPageCount; ++i) {
        const char *factory = kPages[i].factorySheet;
        auto *sheet = new QWidget;
        sheet->setObjectName(factory ? QString::fromLatin1(factory) : QStringLiteral("TabSheet%1").arg(i));
        auto *layout = new QVBoxLayout(sheet);
        layout->setContentsMargins(4, 4, 4, 4);
        m_pages->addTab(sheet, QString::fromUtf8(kPages[i].caption));
        sheets << sheet;
        // The sheet is in the window already, so the page's controls can be
        // found by name while it is built.
        if (factory)
            layout->addWidget(new RegistersPage(context, sheet));
    }
    return sheets;
}

void Navigation::revealFactoryPages()
{
    QTreeWidgetItemIterator it(m_tree);
    for (; *it; ++it) {
        if (kPages[(*it)->data(0, kIndexRole).toInt()].factorySheet)
            (*it)->setHidden(false);
    }
}

void Navigation::reset()
{
    for (int i = 0; i < kPageCount; ++i)
        m_pages->setTabVisible(i, i == 0);
    m_pages->setCurrentIndex(0);
    showTabOf(0);
    m_tree->expandAll();
}

void Navigation::showTabOf(int index)
{
    // The start page has no caption: an empty tab over it would look like a
    // page that failed to load.
    m_pages->tabBar()->setVisible(!m_pages->tabText(index).isEmpty());
}

void Navigation::select(int absoluteIndex)
{
    QTreeWidgetItemIterator it(m_tree);
    for (; *it; ++it) {
        if ((*it)->data(0, kIndexRole).toInt() == absoluteIndex) {
            m_tree->setCurrentItem(*it);
            return;
        }
    }
}

void Navigation::show(int absoluteIndex)
{
    if (absoluteIndex < 0 || absoluteIndex >= kPageCount)
        return;
    for (int i = 0; i < kPageCount; ++i)
        m_pages->setTabVisible(i, false);
    m_pages->setTabVisible(absoluteIndex, true);
    m_pages->setCurrentIndex(absoluteIndex);
    showTabOf(absoluteIndex);
}

int Navigation::visiblePage() const
{
    int found = -1;
    for (int i = 0; i < kPageCount; ++i) {
        if (m_pages->isTabVisible(i)) {
            if (found >= 0)
                return -2; // more than one: a fault
            found = i;
        }
    }
    return found;
}

} // namespace vexs
