#pragma once

#include <functional>

namespace vexs {

struct PageContext;

// "Считать настройки прибора": reads the identification block, the whole
// settings area and the module status, relabels the channels on every page
// and fills the pages from the settings image. `selectRootPage` selects the
// root node of the navigation tree (the start page).
void Button11Click(PageContext &context, const std::function<void()> &selectRootPage);

} // namespace vexs
