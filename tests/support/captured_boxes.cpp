#include "tests/support/captured_boxes.h"

namespace vexs::test {

QStringList CapturedBoxes::texts() const
{
    QStringList result;
    for (const Box &box : boxes)
        result.append(box.text);
    return result;
}

QStringList CapturedBoxes::firstLines() const
{
    QStringList result;
    for (const Box &box : boxes)
        result.append(box.text.section(QLatin1Char('\n'), 0, 0));
    return result;
}

void CapturedBoxes::add(Kind kind, const QString &text)
{
    if (m_shutdown)
        return;
    boxes.append({kind, text});
    if (onShow)
        onShow(boxes.last());
}

} // namespace vexs::test
