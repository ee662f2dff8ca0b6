#include "service/archive_page.h"

#include "shell/ui/page_context.h"

namespace vexs {

ArchivePage::ArchivePage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

void ArchivePage::labelArchiveGrid() {}

} // namespace vexs
