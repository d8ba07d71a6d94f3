#pragma once
// TamoClock's ties to the desktop session: the autostart entry that starts it at login (the
// XDG autostart folder under the configuration folder) and the starting of another program
// (TamoZP) from TamoClock's own folder first, then from PATH. Depends on Qt Core only.

#include <QString>
#include <QStringList>

namespace deskclock {

// <configHome>/autostart/TamoClock.desktop
QString autostartPath(const QString& configHome);

// One argument of a desktop entry's Exec line: quoted when it holds a reserved character, with
// `"`, `` ` ``, `$` and `\` escaped inside the quotes, `%` doubled, and the entry's own string
// escapes applied last (so a backslash in a path is written as four).
QString execArgument(const QString& argument);

// The autostart entry's text for the program at `programPath` (absolute).
QString autostartEntry(const QString& programPath);

// Writes the entry (creating the folder) or removes it. Empty on success, else what went wrong
// in one line; removing an entry that is not there succeeds.
QString writeAutostart(const QString& path, const QString& programPath);
QString removeAutostart(const QString& path);

// The executable `name` in `ownFolder`, else the first in `searchPath` (PATH's folders); empty
// when there is none.
QString findProgram(const QString& name, const QString& ownFolder, const QStringList& searchPath);

// Starts `program` with `arguments` in a new session, as no process's child, with no
// signal blocked: TamoClock blocks its exit signals to read them from a signalfd, and a child
// that inherited that would not end with the session. Returns its process id, or -1 when it
// cannot be started (the file is missing or not executable).
qint64 startDetached(const QString& program, const QStringList& arguments);

// Starts `name`, found as findProgram() finds it (PATH from the environment), with
// startDetached(). False when it is not found or does not start.
bool launchProgram(const QString& name, const QString& ownFolder);

} // namespace deskclock
