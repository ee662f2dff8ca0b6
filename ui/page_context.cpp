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

void runOrWait(QObject *owner, LinkActivity &activity, const std::shared_ptr<std::function<void()>> &run)
{
    if (activity.isShutDown()) {
        owner->setProperty(kQueuedProperty, false);
        return;
    }
    if (!activity.exchanging() && !activity.busy() && !activity.dialogOpen()) {
        owner->setProperty(kQueuedProperty, false);
        (*run)();
        return;
    }
    owner->setProperty(kQueuedProperty, true);
    // Whichever comes first; the waiter goes with it.
    auto *waiter = new QObject(owner);
    auto fired = std::make_shared<bool>(false);
    LinkActivity *a = &activity;
    auto retry = [owner, a, run, waiter, fired] {
        if (std::exchange(*fired, true))
            return;
        // Inside a long operation's nested loops deleteLater waits for it
        // to end; until then the spent waiter hears nothing more.
        QObject::disconnect(a, nullptr, waiter, nullptr);
        waiter->deleteLater();
        runOrWait(owner, *a, run);
    };
    QObject::connect(a, &LinkActivity::exchangeEnded, waiter, retry, Qt::QueuedConnection);
    QObject::connect(a, &LinkActivity::dialogClosed, waiter, retry, Qt::QueuedConnection);
    QObject::connect(a, &LinkActivity::busyChanged, waiter,
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
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [activity, button, run] { runWhenLinkFree(button, *activity, run); });
}

} // namespace

void runWhenLinkFree(QObject *owner, LinkActivity &activity,
                     const std::shared_ptr<std::function<void()>> &run)
{
    // One wait an owner: a second click meanwhile adds nothing.
    if (!owner->property(kQueuedProperty).toBool())
        runOrWait(owner, activity, run);
}

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
    LinkActivity *a = &activity;
    connectAfterExchange(button, &activity,
                         std::make_shared<std::function<void()>>([a, b, handler = std::move(handler)] {
                             LinkActivity::Dialog dialog(*a);
                             runGuarded(*b, handler);
                         }));
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
