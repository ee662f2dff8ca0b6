#include "settings/setpoints_page.h"

#include "shell/ui/page_context.h"

namespace vexs {

SetpointsPage::SetpointsPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

} // namespace vexs
