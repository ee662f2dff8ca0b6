#include "ui/page_context.h"

#include "link/link_activity.h"
#include "ui/message_boxes.h"

#include <QAbstractButton>
#include <QVariant>

#include <exception>
#include <memory>

namespace vexs {

namespace {
const char kRequestProperty[] = "vexsRequestControl";
const char kQueuedProperty[] = "vexsRequestQueued";
}

void runGuarded(IMessageBoxes &boxes, const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &error) {
        boxes.report(QString::fromUtf8(error.what()));
    }
}

namespace {

// Every click runs `run`: at once, or after the exchange that is waiting.
void connectAfterExchange(QAbstractButton *button, LinkActivity *activity,
                          std::shared_ptr<std::function<void()>> run)
{
    QObject::connect(button, &QAbstractButton::clicked, button, [activity, button, run] {
        if (!activity->exchanging()) {
            (*run)();
            return;
        }
        // A poll's exchange is waiting: start right after it, once, so the
        // click is neither lost nor nested inside that wait.
        if (button->property(kQueuedProperty).toBool())
            return;
        button->setProperty(kQueuedProperty, true);
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = QObject::connect(activity, &LinkActivity::exchangeEnded, button,
                                 [button, run, once] {
                                     QObject::disconnect(*once);
                                     button->setProperty(kQueuedProperty, false);
                                     (*run)();
                                 },
                                 Qt::QueuedConnection);
    });
}

} // namespace

void connectRequest(QAbstractButton *button, PageContext &context, std::function<void()> handler)
{
    markRequestControl(button);
    PageContext *ctx = &context;
    connectAfterExchange(button, &context.activity,
                         std::make_shared<std::function<void()>>([ctx, handler = std::move(handler)] {
                             LinkActivity::Scope busy(ctx->activity);
                             runGuarded(ctx->boxes, handler);
                         }));
}

void connectDialogAction(QAbstractButton *button, PageContext &context,
                         std::function<void()> handler)
{
    connectDialogAction(button, context.activity, context.boxes, std::move(handler));
}

void connectDialogAction(QAbstractButton *button, LinkActivity &activity, IMessageBoxes &boxes,
                         std::function<void()> handler)
{
    IMessageBoxes *b = &boxes;
    connectAfterExchange(button, &activity,
                         std::make_shared<std::function<void()>>(
                             [b, handler = std::move(handler)] { runGuarded(*b, handler); }));
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
