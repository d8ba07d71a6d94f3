#include "engine/Holidays.h"

#include <array>

namespace zp {

namespace {

enum class Rule {
    Fixed,   // `day` of the month
    Monday,  // the `day`-th Monday of the month
    Spring,  // the vernal equinox
    Autumn,  // the autumnal equinox
};

struct Entry {
    const char16_t* name;
    int from; // first and last year held, both included
    int to;
    int month;
    Rule rule;
    int day = 0;
};

constexpr int kAlways = kLastHolidayYear;

// The 国民の祝日 as the law and its amendments set them, and the days its special laws made
// holidays once. 1948 starts at the law's coming into force on 07-20, so the days before it
// are held from 1949.
constexpr Entry kHolidays[] = {
    {u"元日", 1949, kAlways, 1, Rule::Fixed, 1},
    {u"成人の日", 1949, 1999, 1, Rule::Fixed, 15},
    {u"成人の日", 2000, kAlways, 1, Rule::Monday, 2},
    {u"建国記念の日", 1967, kAlways, 2, Rule::Fixed, 11},
    {u"天皇誕生日", 2020, kAlways, 2, Rule::Fixed, 23},
    {u"春分の日", 1949, kAlways, 3, Rule::Spring},
    {u"天皇誕生日", 1949, 1988, 4, Rule::Fixed, 29},
    {u"みどりの日", 1989, 2006, 4, Rule::Fixed, 29},
    {u"昭和の日", 2007, kAlways, 4, Rule::Fixed, 29},
    {u"憲法記念日", 1949, kAlways, 5, Rule::Fixed, 3},
    {u"みどりの日", 2007, kAlways, 5, Rule::Fixed, 4},
    {u"こどもの日", 1949, kAlways, 5, Rule::Fixed, 5},
    {u"海の日", 1996, 2002, 7, Rule::Fixed, 20},
    {u"海の日", 2003, 2019, 7, Rule::Monday, 3},
    {u"海の日", 2022, kAlways, 7, Rule::Monday, 3},
    {u"山の日", 2016, 2019, 8, Rule::Fixed, 11},
    {u"山の日", 2022, kAlways, 8, Rule::Fixed, 11},
    {u"敬老の日", 1966, 2002, 9, Rule::Fixed, 15},
    {u"敬老の日", 2003, kAlways, 9, Rule::Monday, 3},
    {u"秋分の日", 1948, kAlways, 9, Rule::Autumn},
    {u"体育の日", 1966, 1999, 10, Rule::Fixed, 10},
    {u"体育の日", 2000, 2019, 10, Rule::Monday, 2},
    {u"スポーツの日", 2022, kAlways, 10, Rule::Monday, 2},
    {u"文化の日", 1948, kAlways, 11, Rule::Fixed, 3},
    {u"勤労感謝の日", 1948, kAlways, 11, Rule::Fixed, 23},
    {u"天皇誕生日", 1989, 2018, 12, Rule::Fixed, 23},

    // The Olympic Games of Tokyo moved three holidays in 2020 and again in 2021.
    {u"海の日", 2020, 2020, 7, Rule::Fixed, 23},
    {u"スポーツの日", 2020, 2020, 7, Rule::Fixed, 24},
    {u"山の日", 2020, 2020, 8, Rule::Fixed, 10},
    {u"海の日", 2021, 2021, 7, Rule::Fixed, 22},
    {u"スポーツの日", 2021, 2021, 7, Rule::Fixed, 23},
    {u"山の日", 2021, 2021, 8, Rule::Fixed, 8},

    // Days held once, each by a law of its own.
    {u"結婚の儀", 1959, 1959, 4, Rule::Fixed, 10},
    {u"大喪の礼", 1989, 1989, 2, Rule::Fixed, 24},
    {u"即位礼正殿の儀", 1990, 1990, 11, Rule::Fixed, 12},
    {u"結婚の儀", 1993, 1993, 6, Rule::Fixed, 9},
    {u"即位の日", 2019, 2019, 5, Rule::Fixed, 1},
    {u"即位礼正殿の儀", 2019, 2019, 10, Rule::Fixed, 22},
};

constexpr char16_t kSubstitute[] = u"振替休日";
constexpr char16_t kCitizens[] = u"国民の休日";

// The equinox's day of March or September by the usual approximation:
// int(C + 0.242194 (Y - 1980) - int((Y - L) / 4)), the inner division truncating toward zero
// (for 1970 to 1978 flooring would be a day late). Computed in millionths, exactly.
int equinoxDay(int year, bool spring)
{
    const bool early = year < 1980;
    const qint64 c = spring ? (early ? 20'835'700 : 20'843'100) : (early ? 23'258'800 : 23'248'800);
    const int leapBase = early ? 1983 : 1980;
    const qint64 micro = c + 242'194LL * (year - 1980); // > 0 for every year held
    return int(micro / 1'000'000) - (year - leapBase) / 4;
}

int dayOf(const Entry& e, int year)
{
    switch (e.rule) {
    case Rule::Fixed:
        return e.day;
    case Rule::Monday: {
        const int first = vb::weekdayOfDays(vb::daysFromCivil(year, e.month, 1)); // 1 = Sunday
        return 1 + (2 - first + 7) % 7 + 7 * (e.day - 1);
    }
    case Rule::Spring:
        return equinoxDay(year, true);
    case Rule::Autumn:
        return equinoxDay(year, false);
    }
    return e.day;
}

} // namespace

std::vector<Holiday> holidaysOf(int year)
{
    if (year < kFirstHolidayYear || year > kLastHolidayYear)
        return {};

    // One slot per day of the year; a day's index is its distance from 1 January.
    const qint64 jan1 = vb::daysFromCivil(year, 1, 1);
    const int length = int(vb::daysFromCivil(year + 1, 1, 1) - jan1);
    std::array<const char16_t*, 366> names{};
    std::array<bool, 366> national{}; // a 国民の祝日 or a day held once
    for (const Entry& e : kHolidays) {
        if (year < e.from || year > e.to)
            continue;
        const int i = int(vb::daysFromCivil(year, e.month, dayOf(e, year)) - jan1);
        names[i] = e.name;
        national[i] = true;
    }
    const auto isSunday = [&](int i) { return vb::weekdayOfDays(jan1 + i) == 1; };
    const auto onOrAfter = [&](int i, int y, int m, int d) { return jan1 + i >= vb::daysFromCivil(y, m, d); };

    for (int i = 0; i < length; ++i) {
        if (!national[i] || !isSunday(i) || !onOrAfter(i, 1973, 4, 12))
            continue;
        // Until 2006 the Monday after; from 2007 the first day after that is no 国民の祝日.
        int j = i + 1;
        if (year >= 2007)
            while (j < length && national[j])
                ++j;
        if (j < length && !names[j])
            names[j] = kSubstitute;
    }
    for (int i = 1; i + 1 < length; ++i) {
        if (names[i] || !national[i - 1] || !national[i + 1] || !onOrAfter(i, 1985, 12, 27))
            continue;
        if (year < 2007 && isSunday(i))
            continue;
        names[i] = kCitizens;
    }

    std::vector<Holiday> holidays;
    for (int i = 0; i < length; ++i) {
        if (!names[i])
            continue;
        const qint64 days = jan1 + i;
        // Back from days to a date: the month is found by its first day.
        int month = 12;
        while (vb::daysFromCivil(year, month, 1) > days)
            --month;
        const int day = int(days - vb::daysFromCivil(year, month, 1)) + 1;
        holidays.push_back({vb::DateValue(year, month, day), QString::fromUtf16(names[i])});
    }
    return holidays;
}

} // namespace zp
