// The date format against glibc's clock read and strftime of the same fields, in one binary so
// that both run on the same machine at the same time. Run with TZ=Asia/Tokyo: localtime_r's
// cost depends on the zone.

#include "runtime/Clock.h"
#include "runtime/DateFormat.h"

#include "GlibcBaseline.h"

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

const vb::DateValue instant(2001, 3, 29, 13, 5, 9);

void formatClock(benchmark::State& state)
{
    for (auto _ : state) {
        QString text = vb::Format(instant, u"yyyy/mm/dd(aaa) h:nn:ss");
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(formatClock);

void formatEra(benchmark::State& state)
{
    vb::Format(instant, u"ggg e"); // reads the era table from ICU once, outside the timing
    for (auto _ : state) {
        QString text = vb::Format(instant, u"ggg e");
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(formatEra);

// Appending into a string that keeps its capacity, as the expander does.
void formatClockInto(benchmark::State& state)
{
    QString text;
    for (auto _ : state) {
        text.clear();
        vb::formatDateInto(text, instant, u"yyyy/mm/dd(aaa) h:nn:ss");
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(formatClockInto);

// Reading the real clock and formatting it: what one expansion of the format pays.
void nowAndFormatClock(benchmark::State& state)
{
    for (auto _ : state) {
        QString text = vb::Format(vb::Now(), u"yyyy/mm/dd(aaa) h:nn:ss");
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(nowAndFormatClock);

BENCHMARK(glibcClockAndStrftime);

// strftime alone, from a broken-down time already at hand: the formatting part of the above.
void glibcStrftimeOnly(benchmark::State& state)
{
    const std::time_t t = 985838709; // 2001-03-29 13:05:09 in Tokyo
    std::tm tm{};
    localtime_r(&t, &tm);
    char buffer[64];
    for (auto _ : state) {
        const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y/%m/%d(%a) %H:%M:%S", &tm);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(glibcStrftimeOnly);

} // namespace
