#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class SetpointsPage : public QWidget
{
    Q_OBJECT
public:
    explicit SetpointsPage(PageContext &context, QWidget *parent = nullptr);

private:
    PageContext &m_ctx;
};

} // namespace vexs
