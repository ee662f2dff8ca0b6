#include "settings/bulk_read.h"

#include "shell/ui/page_context.h"

namespace vexs {

void Button11Click(PageContext &, const std::function<void()> &selectRootPage)
{
    selectRootPage();
}

} // namespace vexs
