#include "settings/network_page.h"

#include "shell/ui/page_context.h"

namespace vexs {

NetworkPage::NetworkPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

} // namespace vexs
