#include "shell/ui/page_context.h"

#include "link/link_activity.h"
#include "shell/ui/message_boxes.h"

#include <QAbstractButton>
#include <QVariant>

#include <exception>

namespace vexs {

namespace {
const char kRequestProperty[] = "vexsRequestControl";
}

void runGuarded(IMessageBoxes &boxes, const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &error) {
        boxes.report(QString::fromUtf8(error.what()));
    }
}

void connectRequest(QAbstractButton *button, PageContext &context, std::function<void()> handler)
{
    markRequestControl(button);
    PageContext *ctx = &context;
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [ctx, handler = std::move(handler)] {
                         LinkActivity::Scope busy(ctx->activity);
                         runGuarded(ctx->boxes, handler);
                     });
}

void connectAction(QAbstractButton *button, IMessageBoxes &boxes, std::function<void()> handler)
{
    IMessageBoxes *b = &boxes;
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [b, handler = std::move(handler)] { runGuarded(*b, handler); });
}

void markRequestControl(QWidget *widget)
{
    widget->setProperty(kRequestProperty, true);
}

bool isRequestControl(const QWidget *widget)
{
    return widget->property(kRequestProperty).toBool();
}

int itemNumberOf(const QWidget *sender)
{
    const QString name = sender->objectName();
    return name.isEmpty() ? 0 : name.back().digitValue();
}

} // namespace vexs
