#include "link/pumping_delay.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QList>
#include <QThread>
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
    PumpingWait().run(ms);
}

void PumpingWait::finish()
{
    m_finished = true;
    if (m_loop)
        m_loop->quit();
}

void PumpingWait::run(int ms)
{
    if (m_finished)
        return;
    if (ms <= 0 || g_interrupted) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    // The event loop's poll rounds its timeout up to whole milliseconds, so
    // a timer of ms fires up to a millisecond late: wake a millisecond early
    // and sleep the last fraction instead.
    timer.start(ms > 1 ? ms - 1 : ms);
    activeLoops().append(&loop);
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    activeLoops().removeOne(&loop);
    const qint64 leftUs = deadline.remainingTimeNSecs() / 1000;
    if (leftUs > 0 && !g_interrupted && !m_finished) {
        QThread::usleep(quint64(qMin<qint64>(leftUs, 1000)));
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
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
