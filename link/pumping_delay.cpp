#include "link/pumping_delay.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QList>
#include <QTimer>

namespace vexs {

namespace {
QList<QEventLoop *> &activeLoops()
{
    static QList<QEventLoop *> loops;
    return loops;
}
bool g_interrupted = false;
} // namespace

void PumpingDelay(int ms)
{
    if (ms <= 0 || g_interrupted) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(ms);
    activeLoops().append(&loop);
    loop.exec();
    activeLoops().removeOne(&loop);
}

void interruptPumpingDelays()
{
    g_interrupted = true;
    for (QEventLoop *loop : std::as_const(activeLoops()))
        loop->quit();
}

bool pumpingDelaysInterrupted()
{
    return g_interrupted;
}

void resetPumpingDelays()
{
    g_interrupted = false;
}

} // namespace vexs
