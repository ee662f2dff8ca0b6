#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class OutputsPage : public QWidget
{
    Q_OBJECT
public:
    explicit OutputsPage(PageContext &context, QWidget *parent = nullptr);
    // The output check group of the service subsystem sits on this page.
    void addServiceGroup(QWidget *group);

private:
    PageContext &m_ctx;
};

} // namespace vexs
