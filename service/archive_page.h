#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class ArchivePage : public QWidget
{
    Q_OBJECT
public:
    explicit ArchivePage(PageContext &context, QWidget *parent = nullptr);
    // Column titles and widths of the archive grid.
    void labelArchiveGrid();

private:
    PageContext &m_ctx;
};

} // namespace vexs
