#include "settings/identification_page.h"

#include "shell/ui/page_context.h"

namespace vexs {

IdentificationPage::IdentificationPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

} // namespace vexs
