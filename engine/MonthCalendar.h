#pragma once
// One month as a Japanese calendar shows it: the title with the era year (元年 for an era's
// first year, both eras in a month that holds a change), each day's weekday, national holiday
// and moon age (by the moon tokens' own rule), and the days of new and full moon. The views
// (tamo-clock's text and markup, TamoClock's popup) draw from this. Depends on the runtime.

#include "runtime/DateValue.h"

#include <QString>

#include <vector>

namespace zp {

struct CalendarDay {
    int day = 1;      // [1, 31]
    int weekday = 1;  // 1 = Sunday ... 7 = Saturday
    QString holiday;  // the holiday's name; empty on a working day
    qint16 moonAge = 0; // [0, 29]
};

struct MonthCalendar {
    int year = 0;   // [100, 9999]
    int month = 0;  // [1, 12]
    QString title;  // "令和8年(2026年) 12月", "昭和64年・平成元年(1989年) 1月"
    std::vector<CalendarDay> days; // day 1 first
};

// How calendars set a day apart: Sundays and holidays (on a Saturday too) in red, the other
// Saturdays in blue; the colours are the ones every view of the calendar draws with.
enum class DayTone {
    Plain,
    Red,
    Blue,
};
inline constexpr char16_t kRedRgb[] = u"#d32f2f";
inline constexpr char16_t kBlueRgb[] = u"#1976d2";
DayTone dayTone(int weekday, bool holiday);

// The kanji of a weekday (1 = 日 ... 7 = 土), as the weekday row and the date lines name it.
QChar weekdayKanji(int weekday);

inline constexpr qint16 kNewMoonAge = 0;  // 新月
inline constexpr qint16 kFullMoonAge = 15; // 満月

// The month of `year` (100 to 9999) and `month` (1 to 12); raises 5 outside them.
MonthCalendar monthCalendar(int year, int month);

// The month's days whose moon age is `age`, in order (a month can hold one age twice).
std::vector<int> daysWithMoonAge(const MonthCalendar& calendar, qint16 age);

} // namespace zp
