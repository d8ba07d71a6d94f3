#pragma once
// The yardstick both formatting benchmarks are measured against: glibc reading the clock,
// converting it to local time and formatting the same fields as the runtime's date format.

#include <benchmark/benchmark.h>

#include <ctime>

inline void glibcClockAndStrftime(benchmark::State& state)
{
    char buffer[64];
    for (auto _ : state) {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        std::tm tm{};
        localtime_r(&ts.tv_sec, &tm);
        const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y/%m/%d(%a) %H:%M:%S", &tm);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buffer);
    }
}
