#pragma once
// What each window program's main hands its window: the settings store, the message boxes, the
// clock and the end of the program. The windows reach no global and read no environment, so a
// test gives them a store in a temporary folder, a box that answers from a script and a fixed
// instant, and watches the program "end" without it ending. Depends on the runtime only.

#include "runtime/Clock.h"
#include "runtime/MessageBox.h"
#include "runtime/Program.h"
#include "runtime/SettingsStore.h"

#include <functional>

namespace gui {

struct WindowServices {
    vb::SettingsStore store;
    vb::MessageBoxService& boxes;
    // The current instant, for the format's preview.
    std::function<vb::DateValue()> now = vb::Now;
    // Whether another instance of the program is already running.
    std::function<bool()> anotherInstanceRunning = [] { return false; };
    // Ends the program at once with a status. When it returns, as a test's does, the window
    // behaves as if the program had ended.
    std::function<void(int status)> end = vb::End;
    // Starts another of the project's programs by name, without waiting for it; false when it
    // cannot be found or started.
    std::function<bool(const QString& program)> launch = [](const QString&) { return false; };
};

} // namespace gui
