#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class DisplayPage : public QWidget
{
    Q_OBJECT
public:
    explicit DisplayPage(PageContext &context, QWidget *parent = nullptr);

private:
    PageContext &m_ctx;
};

} // namespace vexs
