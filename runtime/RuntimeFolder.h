#pragma once
// The per-user runtime folder D, where a running host binds its message socket and a window
// program keeps its single-instance lock and the socket that brings it to the front. D is $XDG_RUNTIME_DIR/tamo when XDG_RUNTIME_DIR is an absolute
// path, else /tmp/tamo-<uid>. D is used only while it is a real folder (not a symbolic link)
// owned by this user with mode exactly 0700, so no other user can plant or read anything in
// it; a folder that is not so is never repaired, only refused. Depends on Qt Core only.

#include <QString>

namespace vb {

enum class FolderCreation {
    CreateIfMissing, // create D with mode 0700 when it does not exist (the parent must)
    ExistingOnly,    // never create: a missing D is unusable
};

// D's path from the environment; touches nothing.
QString runtimeFolderPath();

// D when it is usable, else an empty string and, when `whyUnusable` is given, one line that
// says why (for programs that report it, such as the host's error line).
QString runtimeFolder(FolderCreation creation = FolderCreation::CreateIfMissing,
                      QString* whyUnusable = nullptr);

// "<folder>/window-<handle>": the socket of the host window with this handle, in decimal with
// its minus sign ("window--7").
QString windowSocketPath(const QString& folder, qint32 handle);

// The single-instance lock file of a program: "<folder>/<program>.lock" (TamoZP.lock).
QString instanceLockPath(const QString& folder, const QString& program);
// The socket on which the running instance of a program hears that a later one was started:
// "<folder>/<program>.raise" (TamoZP.raise).
QString instanceSocketPath(const QString& folder, const QString& program);

} // namespace vb
