#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class LivePage : public QWidget
{
    Q_OBJECT
public:
    explicit LivePage(PageContext &context, QWidget *parent = nullptr);
    // Headings and row titles of the diagnostics grid.
    void labelDiagnosticsGrid();

private:
    PageContext &m_ctx;
};

} // namespace vexs
