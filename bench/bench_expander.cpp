// The format expander against glibc's clock read and strftime and against ICU's Japanese
// calendar formatter, in one binary and one run, every case reading the real clock as it does
// in use. Then two long formats, to show that the time grows with the length and no faster.
// Run with TZ=Asia/Tokyo (set here when TZ is unset): localtime_r's cost depends on the zone.

#include "engine/ZPModule.h"

#include "GlibcBaseline.h"

#include <benchmark/benchmark.h>

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>

#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

const bool zoneSet = [] {
    ::setenv("TZ", "Asia/Tokyo", 0);
    ::tzset();
    benchmark::AddCustomContext("TZ", std::getenv("TZ"));
    return true;
}();

void expand(benchmark::State& state, const QString& format)
{
    QString timeKey;
    for (auto _ : state) {
        QString text = zp::FromZPFToShowClk(format, timeKey);
        benchmark::DoNotOptimize(text);
    }
}

// (a) the built-in clock
void expanderClock(benchmark::State& state)
{
    expand(state, QStringLiteral("%h:nn%"));
}
BENCHMARK(expanderClock);

// (b) the fields of the glibc case below, token by token
void expanderDateTime(benchmark::State& state)
{
    expand(state, QStringLiteral("%yyyy%/%m%/%d%(%aaa%) %h:nn:ss%"));
}
BENCHMARK(expanderDateTime);

// (c) era, era year, extended hour, moon age and glyph
void expanderJapanese(benchmark::State& state)
{
    expand(state, QStringLiteral("%ggg%%e%年 %kk5h:nn% %o% %rr%"));
}
BENCHMARK(expanderJapanese);

BENCHMARK(glibcClockAndStrftime);

// The formatter is built once: building one costs about a hundred times a format call.
void icuJapaneseCalendar(benchmark::State& state)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale("ja_JP@calendar=japanese");
    icu::SimpleDateFormat formatter(icu::UnicodeString::fromUTF8("GGGGy年M月d日(E) H:mm:ss"),
                                    locale, status);
    if (U_FAILURE(status)) {
        state.SkipWithError(u_errorName(status));
        return;
    }
    icu::UnicodeString text;
    for (auto _ : state) {
        text.remove();
        formatter.format(icu::Calendar::getNow(), text);
        benchmark::DoNotOptimize(text.getBuffer());
    }
}
BENCHMARK(icuJapaneseCalendar);

// Long formats: the counter ns_per_char is the time of one expansion over its length.
void expandLong(benchmark::State& state, const QString& format)
{
    QString timeKey;
    for (auto _ : state) {
        QString text = zp::FromZPFToShowClk(format, timeKey);
        benchmark::DoNotOptimize(text);
    }
    state.counters["chars"] = double(format.size());
    state.counters["ns_per_char"] = benchmark::Counter(
        double(format.size()) * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void expanderLiteral1MiB(benchmark::State& state)
{
    // 1 Mi characters of literal text, Japanese and ASCII, without a token or an escape.
    const QString piece = QStringLiteral("Tamo 時計 clock 令和 ");
    QString format;
    format.reserve(1 << 20);
    while (format.size() < (1 << 20))
        format += piece;
    format.truncate(1 << 20);
    expandLong(state, format);
}
BENCHMARK(expanderLiteral1MiB)->Unit(benchmark::kMillisecond);

void expanderHourTokens100k(benchmark::State& state)
{
    expandLong(state, QStringLiteral("%h%").repeated(100000));
}
BENCHMARK(expanderHourTokens100k)->Unit(benchmark::kMillisecond);

} // namespace
