#pragma once

#include "ui/page_context.h"

#include <QWidget>

namespace vexs {

// A page of the window; its handlers work through the context.
class Page : public QWidget
{
    Q_OBJECT
public:
    explicit Page(PageContext &context, QWidget *parent = nullptr) : QWidget(parent), m_ctx(context) {}

protected:
    PageContext &m_ctx;
};

// A page that names channels: every bulk read relabels it.
class ChannelPage : public Page, public IChannelLabels
{
    Q_OBJECT
public:
    explicit ChannelPage(PageContext &context, QWidget *parent = nullptr) : Page(context, parent)
    {
        m_ctx.channelLabels.append(this);
    }
};

} // namespace vexs
