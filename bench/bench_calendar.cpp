// What a month's calendar costs: the year's holidays by rule, and the month with its holidays,
// moon ages and era title. A running host builds one once a day; TamoClock's popup once per
// month shown.

#include "engine/Holidays.h"
#include "engine/MonthCalendar.h"

#include <benchmark/benchmark.h>

static void holidaysOfAYear(benchmark::State& state)
{
    int year = 1948;
    for (auto _ : state) {
        benchmark::DoNotOptimize(zp::holidaysOf(year));
        year = year == 2099 ? 1948 : year + 1;
    }
}
BENCHMARK(holidaysOfAYear);

static void monthCalendar(benchmark::State& state)
{
    int month = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(zp::monthCalendar(2026, month + 1));
        month = (month + 1) % 12;
    }
}
BENCHMARK(monthCalendar);
