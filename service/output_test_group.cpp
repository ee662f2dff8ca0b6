#include "service/output_test_group.h"

#include "shell/ui/page_context.h"

namespace vexs {

OutputTestGroup::OutputTestGroup(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

} // namespace vexs
