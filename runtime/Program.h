#pragma once
// The program: its title and version, and the end of the program. An error that no guard
// handles reaches the program's one top-level catcher, which shows the runtime's own message
// ("実行時エラー 'N':", an empty line, the description) and ends with status 1.
// Depends on Qt Core only.

#include "runtime/Error.h"

#include <QString>

#include <functional>

namespace vb {

struct Version {
    int major;
    int minor;
    int revision;
};

// The build's version, 1.33.2485, set once in the build files.
Version programVersion();
// "1.33.2485"
QString programVersionText();

QString programTitle();
void setProgramTitle(const QString& title);

// "実行時エラー 'N':" CR LF, CR LF, description.
QString runtimeErrorMessage(const Error& error);

// Shows the runtime's message for an unhandled error through the message-box service (titled
// with the program's title) and ends the program with status 1.
[[noreturn]] void endWithUnhandledError(const Error& error);

// The top-level catcher of a command: runs `body` and returns its status; an Error escaping it
// ends the program through endWithUnhandledError.
int runMain(const std::function<int()>& body);

// Ends the program at once with the given status, flushing standard output and error.
[[noreturn]] void End(int status = 0);

} // namespace vb
