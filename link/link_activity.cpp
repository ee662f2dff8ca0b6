#include "link/link_activity.h"

namespace vexs {

void LinkActivity::enter()
{
    if (m_depth++ == 0)
        emit busyChanged(true);
}

void LinkActivity::leave()
{
    if (m_depth > 0 && --m_depth == 0)
        emit busyChanged(false);
}

} // namespace vexs
