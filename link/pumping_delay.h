#pragma once

class QEventLoop;

namespace vexs {

// Waits `ms` milliseconds while the user interface keeps processing events
// (timers, paint, clicks, socket notifications). The wait sleeps in the event
// loop rather than spinning, so the CPU stays idle. With ms <= 0 pending
// events are processed once. Returns early when interruptPumpingDelays() is
// called (the window is closing).
void PumpingDelay(int ms);

// A PumpingDelay that an event handled inside it may end early: fast
// exchange ends its wait this way once the reply is complete.
class PumpingWait
{
public:
    PumpingWait() = default;
    PumpingWait(const PumpingWait &) = delete;
    PumpingWait &operator=(const PumpingWait &) = delete;

    // Waits as PumpingDelay(ms) does, unless finish() comes first.
    void run(int ms);
    // Ends the current run() (or makes the next one return at once).
    void finish();
    bool finished() const { return m_finished; }

private:
    QEventLoop *m_loop = nullptr;
    bool m_finished = false;
};

// Ends every PumpingDelay currently waiting, and makes later ones return at
// once; used when the program is shutting down mid-exchange.
void interruptPumpingDelays();
bool pumpingDelaysInterrupted();
// Undo interruptPumpingDelays() (tests that create several windows).
void resetPumpingDelays();

} // namespace vexs
