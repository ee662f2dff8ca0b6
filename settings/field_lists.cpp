#include "settings/field_lists.h"

#include "settings/record_layout.h"
#include "ui/page_widgets.h"

namespace vexs {

QComboBox *makeFieldList(const BlockLayout &block, const QString &prefix, int item,
                         QComboBox::SizeAdjustPolicy sizing)
{
    return makePickList(block.controlName(prefix, item), listItems(block, prefix, item), nullptr,
                        sizing);
}

} // namespace vexs
