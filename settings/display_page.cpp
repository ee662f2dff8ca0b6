#include "settings/display_page.h"

#include "shell/ui/page_context.h"

namespace vexs {

DisplayPage::DisplayPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

} // namespace vexs
