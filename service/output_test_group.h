#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class OutputTestGroup : public QWidget
{
    Q_OBJECT
public:
    explicit OutputTestGroup(PageContext &context, QWidget *parent = nullptr);

private:
    PageContext &m_ctx;
};

} // namespace vexs
