#pragma once

// Low-latency mode of a serial driver. A USB adapter holds what it receives
// for a while before passing it on (an FTDI chip up to 16 ms by default),
// which adds up to that much to every reply and so to every poll. Linux
// lets the program that opened the port ask the driver to pass octets on at
// once; where the driver or the platform knows no such mode, nothing
// changes.

#include <QtGlobal>

#include <optional>

namespace vexs::low_latency {

// Asks the driver of the open serial port `descriptor` for low latency. Gives
// back the driver's flags from before, for restore(), when it changed them;
// nothing when the mode was already on or the driver refused or ignored it
// (a pseudo-terminal, a CH34x adapter), which is logged at debug level only.
std::optional<int> request(qintptr descriptor);

// Turns the mode off again on `descriptor` if `before` (what request() gave)
// had it off; other flags stay as they are now, since Qt changes some of
// them while the port is open. Refusals are ignored.
void restore(qintptr descriptor, std::optional<int> before);

} // namespace vexs::low_latency
