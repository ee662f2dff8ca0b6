#include "settings/measurement_page.h"

#include "shell/ui/page_context.h"

namespace vexs {

MeasurementChannelsPage::MeasurementChannelsPage(PageContext &context, QWidget *parent) : QWidget(parent), m_ctx(context)
{
}

} // namespace vexs
