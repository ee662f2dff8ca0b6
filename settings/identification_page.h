#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class IdentificationPage : public QWidget
{
    Q_OBJECT
public:
    explicit IdentificationPage(PageContext &context, QWidget *parent = nullptr);

private:
    PageContext &m_ctx;
};

} // namespace vexs
