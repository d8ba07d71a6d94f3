#pragma once
// tamo-clock --follow: the running host. It publishes its process id as the receiver handle,
// listens for the restart message on its socket in the runtime folder, watches the settings
// file, and prints a line whenever the shown text changes. It sleeps in one poll() on a
// realtime timer set to the next change of the time key, the socket, an inotify watch, a
// signalfd and standard output; nothing polls on a period.

#include "clock/ClockOptions.h"

#include <QString>
#include <QStringView>

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
// An unusable runtime folder or socket gives one line on standard error and status 1.
int runFollow(const vb::SettingsStore& store, const ClockOptions& options);

// Whether a time key is of the "h:n:s" form (changes every second) rather than "h:n".
bool keyHasSeconds(QStringView timeKey);

// The first POSIX second after `unixSeconds` at which a time key of this form can change: the
// next second, or the start of the next local minute (which is not a whole UTC minute in a zone
// whose offset has seconds).
qint64 nextKeyChange(qint64 unixSeconds, bool seconds);

// Whether an inotify event name in the settings folder concerns the settings file itself
// (not its lock file, not the store's temporary files).
bool isSettingsFileEvent(QStringView eventName, QStringView settingsFileName);

} // namespace clk
