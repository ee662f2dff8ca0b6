#pragma once

namespace vexs {

// Waits `ms` milliseconds while the user interface keeps processing events
// (timers, paint, clicks, socket notifications). The wait sleeps in the event
// loop rather than spinning, so the CPU stays idle. With ms <= 0 pending
// events are processed once. Returns early when interruptPumpingDelays() is
// called (the window is closing).
void PumpingDelay(int ms);

// Ends every PumpingDelay currently waiting, and makes later ones return at
// once; used when the program is shutting down mid-exchange.
void interruptPumpingDelays();
bool pumpingDelaysInterrupted();
// Undo interruptPumpingDelays() (tests that create several windows).
void resetPumpingDelays();

} // namespace vexs
