#pragma once

#include <QComboBox>

namespace vexs {

struct BlockLayout;

// The pick list of a record's field on item `item` of the page: its name and
// its items come from the layout.
QComboBox *makeFieldList(const BlockLayout &block, const QString &prefix, int item = 1,
                         QComboBox::SizeAdjustPolicy sizing = QComboBox::AdjustToContentsOnFirstShow);

} // namespace vexs
