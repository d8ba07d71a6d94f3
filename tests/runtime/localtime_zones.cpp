// The clock's local date value against localtime_r from 1850 to 2100 in the zone TZ names, one
// process per zone (CTest), as the minute cache lives as long as the process. Second-by-second
// walks across minute boundaries, around every change of offset and from instants spread over
// the range hit the cache, miss it, and carry past :59 under offsets with seconds (local mean time).

#include "runtime/Clock.h"
#include "runtime/DateFormat.h"

#include <gtest/gtest.h>

#include <ctime>
#include <random>

namespace vb {
void PrintTo(const DateValue& v, std::ostream* os) { *os << Format(v, u"yyyy-mm-dd hh:nn:ss").toStdString(); }
} // namespace vb

namespace {

const qint64 kFirst = vb::daysFromCivil(1850, 1, 1) * 86400, kLast = vb::daysFromCivil(2101, 1, 1) * 86400 - 1;

std::tm local(qint64 t)
{
    const std::time_t time = static_cast<std::time_t>(t);
    std::tm tm{};
    EXPECT_TRUE(::localtime_r(&time, &tm)) << t;
    return tm;
}

vb::DateValue glibc(qint64 t)
{
    const std::tm tm = local(t);
    return vb::DateValue(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

// Every second from `from` to `to`, in order; stops at the first that differs.
void walk(qint64 from, qint64 to)
{
    for (qint64 t = from; t <= to; ++t)
        ASSERT_EQ(vb::localDateValue(t), glibc(t)) << "at " << t << " s, TZ=" << std::getenv("TZ");
}

} // namespace

TEST(LocalTime, AroundEveryChangeOfOffsetAndSpreadOverTheRange)
{
    ASSERT_NE(std::getenv("TZ"), nullptr) << "run once per zone, with TZ set";
    int changes = 0;
    for (qint64 day = kFirst; day + 86400 <= kLast && !HasFailure(); day += 86400) {
        qint64 before = day, after = day + 86400; // a change in (before, after], found by halving
        if (local(before).tm_gmtoff == local(after).tm_gmtoff)
            continue;
        while (after - before > 1) {
            const qint64 middle = before + (after - before) / 2;
            (local(middle).tm_gmtoff == local(before).tm_gmtoff ? before : after) = middle;
        }
        walk(after - 150, after + 150);
        ++changes;
    }
    EXPECT_GE(changes, 2) << "a zone that never changes its offset proves little: is TZ a known zone?";
    walk(-150, 150);
    walk(kFirst, kFirst + 150);
    walk(kLast - 150, kLast);
    std::mt19937_64 random(20010329);
    std::uniform_int_distribution<qint64> instant(kFirst + 61, kLast - 61);
    for (int i = 0; i < 3000 && !HasFailure(); ++i) {
        const qint64 t = instant(random);
        walk(t - 61, t + 61);
    }
}

// The real clock against the POSIX time read just before and just after it: clock_gettime, as
// time() may read a coarser clock that lags behind.
TEST(LocalTime, NowIsTheLocalTimeOfTheClock)
{
    timespec before{}, after{};
    ::clock_gettime(CLOCK_REALTIME, &before);
    const vb::DateValue now = vb::Now();
    ::clock_gettime(CLOCK_REALTIME, &after);
    bool between = false;
    for (qint64 t = before.tv_sec; t <= after.tv_sec; ++t)
        between = between || now == glibc(t);
    EXPECT_TRUE(between) << testing::PrintToString(now) << " read between " << before.tv_sec << " and " << after.tv_sec;
}
