#include "runtime/Clock.h"

#include "runtime/Error.h"

#include <atomic>
#include <ctime>

namespace vb {

namespace {

std::optional<DateValue> g_fixed;

// localtime_r costs far more than the rest of a clock read; the offset from UTC cannot change
// within a minute that starts on a whole minute, so one conversion serves the whole minute.
struct MinuteCache {
    qint64 minuteStart = 1; // an odd value: never a whole minute, so the cache starts empty
    unsigned zone = 0;      // the zone generation the entry was converted in
    std::tm local{};
};
thread_local MinuteCache g_cache;
// Bumped by reloadTimeZone(): a minute converted in an older zone is converted again.
std::atomic<unsigned> g_zoneGeneration{0};

} // namespace

void setFixedNow(std::optional<DateValue> instant)
{
    g_fixed = instant;
}

DateValue localDateValue(qint64 unixSeconds)
{
    const qint64 minuteStart = unixSeconds - ((unixSeconds % 60) + 60) % 60;
    const unsigned zone = g_zoneGeneration.load(std::memory_order_relaxed);
    if (g_cache.minuteStart != minuteStart || g_cache.zone != zone) {
        const std::time_t t = static_cast<std::time_t>(minuteStart);
        std::tm tm{};
        if (!localtime_r(&t, &tm))
            raiseError(InvalidArgument);
        g_cache.minuteStart = minuteStart;
        g_cache.zone = zone;
        g_cache.local = tm;
    }
    const std::tm& tm = g_cache.local;
    // Within the cached minute the local time runs on second by second. Only an offset with
    // seconds in it (old local mean times) can carry past :59; convert such instants directly.
    const int second = static_cast<int>(unixSeconds - minuteStart) + tm.tm_sec;
    if (second > 59) {
        const std::time_t t = static_cast<std::time_t>(unixSeconds);
        std::tm direct{};
        if (!localtime_r(&t, &direct))
            raiseError(InvalidArgument);
        return DateValue(direct.tm_year + 1900, direct.tm_mon + 1, direct.tm_mday, direct.tm_hour,
                         direct.tm_min, direct.tm_sec);
    }
    return DateValue(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, second);
}

void reloadTimeZone()
{
    ::tzset();
    g_zoneGeneration.fetch_add(1, std::memory_order_relaxed);
}

DateValue Now()
{
    if (g_fixed)
        return *g_fixed;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return localDateValue(ts.tv_sec);
}

} // namespace vb
