#include "shell/recorder_summary.h"

#include "settings/settings_image.h"

#include <QPointer>

namespace vexs {

RecorderSummary::RecorderSummary(SettingsImage &image, QWidget *parent) : QLabel(parent), m_image(image)
{
    setObjectName(QStringLiteral("LabelRecorderSummary"));
    setAlignment(Qt::AlignCenter);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The image may outlive the label or go first as the window closes.
    m_image.originChanged = [self = QPointer<RecorderSummary>(this)] {
        if (self)
            self->refresh();
    };
    refresh();
}

void RecorderSummary::refresh()
{
    const PagesOrigin &origin = m_image.pagesOrigin();
    setText(origin.lines().join(u'\n'));
    // Before the first read the start page's own text says it all.
    setVisible(origin.kind != PagesOrigin::Kind::None);
    QWidget *top = window();
    if (top == this)
        return;
    if (m_baseTitle.isEmpty())
        m_baseTitle = top->windowTitle();
    top->setWindowTitle(m_baseTitle + origin.titleSuffix());
}

} // namespace vexs
