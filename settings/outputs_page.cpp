#include "settings/outputs_page.h"

#include "shell/ui/page_context.h"

namespace vexs {

OutputsPage::OutputsPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

void OutputsPage::addServiceGroup(QWidget *group) { group->setParent(this); }

} // namespace vexs
