#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class MathChannelsPage : public QWidget
{
    Q_OBJECT
public:
    explicit MathChannelsPage(PageContext &context, QWidget *parent = nullptr);
    // Start-up state: one table row per sheet, row 1 holding "0" and "0".
    void resetTables();

private:
    PageContext &m_ctx;
};

} // namespace vexs
