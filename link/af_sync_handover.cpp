#include "link/af_sync_handover.h"

#include "link/af_com_port_core.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <exception>

namespace vexs {

struct TAfSafeSync::Request {
    bool finished = false;  // the main thread is done with it (ran or skipped)
    bool ran = false;
    bool abandoned = false; // the worker stopped waiting; skip it if not started
};

TAfSafeSync &TAfSafeSync::Instance()
{
    static TAfSafeSync instance;
    return instance;
}

TAfSafeSync::Slot *TAfSafeSync::findLocked(quint32 id)
{
    if (id == 0)
        return nullptr;
    for (Slot &slot : m_slots)
        if (slot.id == id)
            return &slot;
    return nullptr;
}

const TAfSafeSync::Slot *TAfSafeSync::findLocked(quint32 id) const
{
    return const_cast<TAfSafeSync *>(this)->findLocked(id);
}

bool TAfSafeSync::enabledLocked(quint32 id) const
{
    const Slot *slot = findLocked(id);
    return slot && slot->enabled;
}

quint32 TAfSafeSync::Register(Routine routine)
{
    std::lock_guard lock(m_mutex);
    for (Slot &slot : m_slots) {
        if (slot.id != 0)
            continue;
        // Ids are never reused while a stale call might still be queued for
        // an old one; the counter skips 0, which marks a free slot.
        quint32 id = m_nextId++;
        if (id == 0)
            id = m_nextId++;
        while (findLocked(id)) {
            id = m_nextId++;
            if (id == 0)
                id = m_nextId++;
        }
        slot.id = id;
        slot.enabled = false;
        slot.routine = std::move(routine);
        return id;
    }
    qCWarning(lcLinkSerial) << "hand-over: all" << SlotCount << "slots are taken";
    return 0;
}

void TAfSafeSync::Unregister(quint32 id)
{
    Routine old;
    {
        std::lock_guard lock(m_mutex);
        Slot *slot = findLocked(id);
        if (!slot)
            return;
        old = std::move(slot->routine);
        *slot = Slot();
    }
    m_changed.notify_all();
}

void TAfSafeSync::SetEnabled(quint32 id, bool enabled)
{
    {
        std::lock_guard lock(m_mutex);
        if (Slot *slot = findLocked(id))
            slot->enabled = enabled;
    }
    if (!enabled)
        m_changed.notify_all();
}

bool TAfSafeSync::IsEnabled(quint32 id) const
{
    std::lock_guard lock(m_mutex);
    return enabledLocked(id);
}

TAfSafeSync::CallResult TAfSafeSync::Call(quint32 id, int timeoutMs, int kind, quint32 data)
{
    QCoreApplication *app = QCoreApplication::instance();
    std::unique_lock lock(m_mutex);
    ++m_counters.calls;
    Slot *slot = findLocked(id);
    if (!slot) {
        ++m_counters.unknownIds;
        return CallResult::Failed;
    }
    if (!slot->enabled)
        return CallResult::Dropped;
    if (!app) {
        ++m_counters.failedSends;
        return CallResult::Failed;
    }
    if (QThread::currentThread() == app->thread()) {
        Routine routine = slot->routine;
        lock.unlock();
        routine(kind, data);
        return CallResult::Done;
    }

    auto request = std::make_shared<Request>();
    lock.unlock();
    const bool posted = QMetaObject::invokeMethod(
        app, [this, id, kind, data, request] { serve(id, kind, data, request); },
        Qt::QueuedConnection);
    lock.lock();
    if (!posted) {
        ++m_counters.failedSends;
        return CallResult::Failed;
    }

    m_changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                       [&] { return request->finished || !enabledLocked(id); });
    if (request->finished && request->ran)
        return CallResult::Done;
    request->abandoned = true;
    if (!enabledLocked(id))
        return CallResult::Dropped;
    if (request->finished)
        return CallResult::Dropped; // served while the slot was briefly off
    ++m_counters.failedSends;
    return CallResult::TimedOut;
}

void TAfSafeSync::serve(quint32 id, int kind, quint32 data, const std::shared_ptr<Request> &request)
{
    std::unique_lock lock(m_mutex);
    Routine routine;
    if (!request->abandoned) {
        const Slot *slot = findLocked(id);
        if (!slot)
            ++m_counters.unknownIds;
        else if (slot->enabled)
            routine = slot->routine;
    }
    if (routine) {
        lock.unlock();
        // Exceptions must not unwind through the Qt event loop.
        try {
            routine(kind, data);
        } catch (const std::exception &e) {
            qCWarning(lcLinkSerial) << "hand-over: notification handler failed:" << e.what();
        } catch (...) {
            qCWarning(lcLinkSerial) << "hand-over: notification handler failed";
        }
        lock.lock();
        request->ran = true;
    }
    request->finished = true;
    lock.unlock();
    m_changed.notify_all();
}

TAfSafeSync::Counters TAfSafeSync::counters() const
{
    std::lock_guard lock(m_mutex);
    return m_counters;
}

} // namespace vexs
