#pragma once
// tamo-clock --follow: the host core (HostCore.h) driven by one poll() on the core's
// descriptors, a signalfd and standard output, printing a line whenever the shown text
// changes; nothing polls on a period.

#include "clock/ClockOptions.h"

namespace vb {
class SettingsStore;
}

namespace clk {

// SIGINT, SIGTERM and SIGHUP end the host in order (socket removed, handle withdrawn). They
// are blocked from the program's first statement, so that every thread inherits the mask and
// the host reads them from a signalfd; the one-shot mode unblocks them again.
void blockExitSignals();
void unblockExitSignals();

// Runs the host until an exit signal or until standard output is closed; the exit status.
// An unusable runtime folder or socket, or a first line that cannot be written, gives status 1
// (the first with one line on standard error).
int runFollow(const vb::SettingsStore& store, const ClockOptions& options);

} // namespace clk
