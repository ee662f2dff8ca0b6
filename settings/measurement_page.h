#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class MeasurementChannelsPage : public QWidget
{
    Q_OBJECT
public:
    explicit MeasurementChannelsPage(PageContext &context, QWidget *parent = nullptr);

private:
    PageContext &m_ctx;
};

} // namespace vexs
