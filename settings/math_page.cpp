#include "settings/math_page.h"

#include "shell/ui/page_context.h"

namespace vexs {

MathChannelsPage::MathChannelsPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

void MathChannelsPage::resetTables() {}

} // namespace vexs
