#pragma once

#include <QWidget>

namespace vexs {

struct PageContext;

class RecordingPage : public QWidget
{
    Q_OBJECT
public:
    explicit RecordingPage(PageContext &context, QWidget *parent = nullptr);

private:
    PageContext &m_ctx;
};

} // namespace vexs
