#include "service/live_page.h"

#include "shell/ui/page_context.h"

namespace vexs {

LivePage::LivePage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

void LivePage::labelDiagnosticsGrid() {}

} // namespace vexs
