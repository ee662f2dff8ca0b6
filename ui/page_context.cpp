#include "ui/page_context.h"

#include "link/link_activity.h"
#include "ui/message_boxes.h"

#include <QAbstractButton>
#include <QVariant>

#include <exception>
#include <memory>
#include <utility>

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

// Runs `run` once the link is free for it: no exchange waiting and no
// action that sends running. A click during a poll's wait starts right after
// it, once, so it is neither lost nor nested inside that wait; a start that
// finds the link taken again (another click queued with it went first, a
// long operation goes on to its next request) waits on.
void runWhenFree(QAbstractButton *button, LinkActivity *activity,
                 const std::shared_ptr<std::function<void()>> &run)
{
    if (!activity->exchanging() && !activity->busy()) {
        button->setProperty(kQueuedProperty, false);
        (*run)();
        return;
    }
    // Whichever comes first of the two; the waiter goes with it.
    auto *waiter = new QObject(button);
    auto fired = std::make_shared<bool>(false);
    auto retry = [button, activity, run, waiter, fired] {
        if (std::exchange(*fired, true))
            return;
        waiter->deleteLater();
        runWhenFree(button, activity, run);
    };
    QObject::connect(activity, &LinkActivity::exchangeEnded, waiter, retry, Qt::QueuedConnection);
    QObject::connect(activity, &LinkActivity::busyChanged, waiter,
                     [retry](bool busy) {
                         if (!busy)
                             retry();
                     },
                     Qt::QueuedConnection);
}

// Every click runs `run`: at once, or once the link is free.
void connectAfterExchange(QAbstractButton *button, LinkActivity *activity,
                          std::shared_ptr<std::function<void()>> run)
{
    QObject::connect(button, &QAbstractButton::clicked, button, [activity, button, run] {
        if (button->property(kQueuedProperty).toBool())
            return;
        button->setProperty(kQueuedProperty, true);
        runWhenFree(button, activity, run);
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
