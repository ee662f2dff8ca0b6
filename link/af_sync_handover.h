#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace vexs {

// Hands calls from worker threads to the Qt main thread and waits for them.
// Each owner registers one routine in a slot and gets a unique non-zero id;
// a slot starts disabled. A worker asks for a call by id and waits at most
// the given time; disabling the slot releases every waiting worker at once,
// which is what lets the owner stop its threads from the main thread without
// deadlocking on a call that the main thread will never serve.
class TAfSafeSync
{
public:
    using Routine = std::function<void(int kind, quint32 data)>;

    enum class CallResult {
        Done,     // the routine ran on the main thread
        Dropped,  // the slot was disabled before or while waiting
        TimedOut, // the main thread did not serve the call in time
        Failed,   // unknown id, full table or no application object
    };

    struct Counters {
        quint64 calls = 0;
        quint64 failedSends = 0;
        quint64 unknownIds = 0;
    };

    static constexpr int SlotCount = 64;

    // Created on first use; lives until the end of the program.
    static TAfSafeSync &Instance();

    // Returns 0 when all slots are taken.
    quint32 Register(Routine routine);
    void Unregister(quint32 id);
    void SetEnabled(quint32 id, bool enabled);
    bool IsEnabled(quint32 id) const;

    // Runs the slot's routine on the main thread with (kind, data). Called on
    // the main thread itself it runs the routine directly.
    CallResult Call(quint32 id, int timeoutMs, int kind, quint32 data);

    Counters counters() const;

private:
    TAfSafeSync() = default;

    struct Slot {
        quint32 id = 0;
        bool enabled = false;
        Routine routine;
    };
    struct Request;

    Slot *findLocked(quint32 id);
    const Slot *findLocked(quint32 id) const;
    bool enabledLocked(quint32 id) const;
    void serve(quint32 id, int kind, quint32 data, const std::shared_ptr<Request> &request);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Slot m_slots[SlotCount];
    quint32 m_nextId = 1;
    Counters m_counters;
};

} // namespace vexs
