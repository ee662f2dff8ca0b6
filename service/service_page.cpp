#include "service/service_page.h"

#include "shell/ui/page_context.h"

namespace vexs {

ServicePage::ServicePage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

} // namespace vexs
