#include "settings/recording_page.h"

#include "shell/ui/page_context.h"

namespace vexs {

RecordingPage::RecordingPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

} // namespace vexs
