#pragma once
// Failure injection into the settings store, for tests. Depends on nothing.

namespace vb {

// Counting starts at this call: the store's `nth` fallible system call from now on (1-based,
// across operations: mkdir, chmod, open, flock (each try), fstat, read, the write-access check,
// the temporary file's creation, fchmod, write, fsync, the rename, the folder's open and fsync)
// fails with `errnoValue` instead of running, exactly as if the system had returned it. A fault
// fires once. injectSettingsFault(0, 0) disarms and resets the count. Use errno values such as
// EIO, EACCES, ENOSPC; ENOENT on the file's open means "no file" and is not a fault.
// Thread-safe, process-wide.
void injectSettingsFault(int nth, int errnoValue);
// The number of fallible calls the store has made since the last injectSettingsFault.
int settingsFallibleCalls();
// Whether the fault armed by the last injectSettingsFault has fired.
bool settingsFaultFired();

} // namespace vb
