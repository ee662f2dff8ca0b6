#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class ServicePage : public QWidget
{
    Q_OBJECT
public:
    explicit ServicePage(PageContext &context, QWidget *parent = nullptr);

private:
    PageContext &m_ctx;
};

} // namespace vexs
