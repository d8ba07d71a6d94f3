#include "rsrc32/ResourceMeter.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace rsrc32 {

namespace {

// Reads at most cap - 1 bytes of a regular file into buf and terminates them; false when the
// file cannot be read. O_NONBLOCK and the regular-file check keep a FIFO or a device planted
// where a /proc file belongs from stalling the caller.
bool readText(const char* path, char* buf, std::size_t cap)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    std::size_t len = 0;
    while (ok && len + 1 < cap) {
        const ssize_t n = ::read(fd, buf + len, cap - 1 - len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        len += static_cast<std::size_t>(n);
    }
    ::close(fd);
    buf[len] = '\0';
    return ok;
}

// Blanks, then decimal digits up to the first non-digit; false without digits or on overflow.
bool parseNumber(const char* p, std::uint64_t& value)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p < '0' || *p > '9')
        return false;
    std::uint64_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        if (v > (UINT64_MAX - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

// The first number of the line "<key>:" in /proc-style "Key:\tvalue ..." text.
bool findField(const char* text, const char* key, std::uint64_t& value)
{
    const std::size_t keyLength = std::strlen(key);
    for (const char* line = text; *line != '\0';) {
        if (std::strncmp(line, key, keyLength) == 0 && line[keyLength] == ':')
            return parseNumber(line + keyLength + 1, value);
        const char* next = std::strchr(line, '\n');
        if (next == nullptr)
            break;
        line = next + 1;
    }
    return false;
}

bool pathOf(char* out, std::size_t cap, const char* root, const char* name)
{
    const int n = std::snprintf(out, cap, "%s/%s", root, name);
    return n > 0 && static_cast<std::size_t>(n) < cap;
}

bool readNumberFile(const char* root, const char* name, std::uint64_t& value)
{
    char path[PATH_MAX];
    char text[64];
    return pathOf(path, sizeof path, root, name) && readText(path, text, sizeof text)
        && parseNumber(text, value);
}

// All tasks of the system: the number after the slash in /proc/loadavg ("0.20 0.18 0.12 1/80 11206").
bool readTaskCount(const char* root, std::uint64_t& tasks)
{
    char path[PATH_MAX];
    char text[256];
    if (!pathOf(path, sizeof path, root, "loadavg") || !readText(path, text, sizeof text))
        return false;
    const char* slash = std::strchr(text, '/');
    return slash != nullptr && slash > text && slash[-1] >= '0' && slash[-1] <= '9'
        && parseNumber(slash + 1, tasks);
}

// The tasks (threads included) whose real user id is uid, as RLIMIT_NPROC counts them.
bool countUserTasks(const char* root, unsigned uid, std::uint64_t& count)
{
    DIR* dir = ::opendir(root);
    if (dir == nullptr)
        return false;
    count = 0;
    char path[PATH_MAX];
    char text[4096];
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (*name == '\0' || std::strspn(name, "0123456789") != std::strlen(name))
            continue;
        const int n = std::snprintf(path, sizeof path, "%s/%s/status", root, name);
        // A process that ended since readdir simply no longer counts.
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof path || !readText(path, text, sizeof text))
            continue;
        std::uint64_t owner = 0;
        std::uint64_t threads = 0;
        if (!findField(text, "Uid", owner) || owner != uid)
            continue;
        count += findField(text, "Threads", threads) ? threads : 1;
    }
    ::closedir(dir);
    return true;
}

int headroom(std::uint64_t used, std::uint64_t limit)
{
    return percentOf(limit > used ? limit - used : 0, limit);
}

} // namespace

Sources currentSources()
{
    Sources sources;
    sources.realUid = static_cast<unsigned>(::getuid());
    struct rlimit limit;
    if (sources.realUid != 0 && ::getrlimit(RLIMIT_NPROC, &limit) == 0
        && limit.rlim_cur != RLIM_INFINITY) {
        sources.userLimitApplies = true;
        sources.userTaskLimit = limit.rlim_cur;
    }
    return sources;
}

int percentOf(std::uint64_t part, std::uint64_t whole)
{
    if (whole == 0)
        return 0;
    if (part >= whole)
        return 100;
    if (part <= UINT64_MAX / 100)
        return static_cast<int>(part * 100 / whole); // [0, 99]
    // 100 * part would overflow: add part a hundred times, keeping the remainder below whole.
    // rem < whole and part < whole, so rem + part exceeds whole at most once per step.
    int quotient = 0;
    std::uint64_t rem = 0;
    for (int i = 0; i < 100; ++i) {
        if (rem >= whole - part) {
            rem -= whole - part;
            ++quotient;
        } else {
            rem += part;
        }
    }
    return quotient; // [0, 99]
}

int freeMemoryPercent(const Sources& sources)
{
    char path[PATH_MAX];
    char text[8192];
    std::uint64_t total = 0;
    std::uint64_t available = 0;
    if (!pathOf(path, sizeof path, sources.procRoot, "meminfo") || !readText(path, text, sizeof text)
        || !findField(text, "MemTotal", total) || !findField(text, "MemAvailable", available))
        return 0;
    return percentOf(available, total);
}

int freeTaskPercent(const Sources& sources)
{
    std::uint64_t tasks = 0;
    if (!readTaskCount(sources.procRoot, tasks))
        return 0;
    std::uint64_t limit = 0;
    bool haveLimit = false;
    for (const char* name : {"sys/kernel/threads-max", "sys/kernel/pid_max"}) {
        std::uint64_t value = 0;
        if (readNumberFile(sources.procRoot, name, value)) {
            limit = haveLimit ? std::min(limit, value) : value;
            haveLimit = true;
        }
    }
    if (!haveLimit)
        return 0;
    int free = headroom(tasks, limit);
    if (sources.userLimitApplies) {
        std::uint64_t mine = 0;
        if (!countUserTasks(sources.procRoot, sources.realUid, mine))
            return 0;
        free = std::min(free, headroom(mine, sources.userTaskLimit));
    }
    return free;
}

int freePercent(std::int32_t kind, const Sources& sources, int (*taskPercent)(const Sources&))
{
    switch (kind) {
    case SystemKind: return std::min(freeMemoryPercent(sources), taskPercent(sources));
    case MemoryKind: return freeMemoryPercent(sources);
    case TaskKind: return taskPercent(sources);
    default: return -1;
    }
}

} // namespace rsrc32
