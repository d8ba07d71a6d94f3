// librsrc32.so: the one export that the "R" tokens bind at their first use. The name is
// undecorated (ELF has no stdcall decoration); one signed 32-bit argument, the kind, and a
// signed 32-bit result, the percentage free, or -1 for an unknown kind.

#include "rsrc32/ResourceMeter.h"

#include <cstdint>
#include <ctime>

namespace {

// Counting a user's tasks reads the status of every process, milliseconds on a busy desktop,
// and a clock shows several "R" tokens a second: one count serves for a second.
int freeTaskPercentCached(const rsrc32::Sources& sources)
{
    thread_local std::int64_t countedAt = -1; // whole seconds of the monotonic clock
    thread_local int percent = 0;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (countedAt != now.tv_sec) {
        percent = rsrc32::freeTaskPercent(sources);
        countedAt = now.tv_sec;
    }
    return percent;
}

} // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t
MyGetFreeSystemResources32(std::int32_t kind)
{
    return rsrc32::freePercent(kind, rsrc32::currentSources(), freeTaskPercentCached);
}
