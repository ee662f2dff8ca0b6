#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class NetworkPage : public QWidget
{
    Q_OBJECT
public:
    explicit NetworkPage(PageContext &context, QWidget *parent = nullptr);

private:
    PageContext &m_ctx;
};

} // namespace vexs
