#pragma once
// The resource meter behind librsrc32.so: how much of three resource pools is free, in whole
// percent, read from /proc.
//   kind 1  physical memory: MemAvailable over MemTotal;
//   kind 2  tasks (processes and threads) the user may still start: the lower of the headroom
//           under the user's soft RLIMIT_NPROC (counted by real user id, as fork() does; the
//           kernel does not apply it to root) and under the system's task limits
//           (kernel.threads-max and kernel.pid_max against all tasks);
//   kind 0  the lower of the two.
// A figure whose source is missing or reads oddly is 0, never an error: the meter sits behind
// a C interface and is called from a clock. Standard library and POSIX only; no allocation and
// no exceptions.

#include <cstdint>

namespace rsrc32 {

enum Kind : std::int32_t { SystemKind = 0, MemoryKind = 1, TaskKind = 2 };

// Where the figures come from. Tests point procRoot at a made-up tree.
struct Sources {
    const char* procRoot = "/proc";
    unsigned realUid = 0;
    bool userLimitApplies = false; // false for root and for an unlimited RLIMIT_NPROC
    std::uint64_t userTaskLimit = 0;
};

// The calling process's: /proc, its real user id and that user's soft RLIMIT_NPROC.
Sources currentSources();

// floor(100 * part / whole), clamped to [0, 100]; 0 when whole is 0.
int percentOf(std::uint64_t part, std::uint64_t whole);

int freeMemoryPercent(const Sources& sources); // [0, 100]
int freeTaskPercent(const Sources& sources);   // [0, 100]
// [0, 100] for kinds 0 to 2; -1 for any other kind.
// `taskPercent` gives the task figure (the library passes one that counts once a second).
int freePercent(std::int32_t kind, const Sources& sources,
                int (*taskPercent)(const Sources&) = freeTaskPercent);

} // namespace rsrc32
