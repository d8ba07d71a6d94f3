#include "engine/MonthCalendar.h"

#include "engine/Holidays.h"
#include "engine/MoonInternal.h"

#include "runtime/DateFormat.h"
#include "runtime/Error.h"

namespace zp {

namespace {

int daysInMonth(int year, int month)
{
    const qint64 first = vb::daysFromCivil(year, month, 1);
    const qint64 next = month == 12 ? vb::daysFromCivil(year + 1, 1, 1) : vb::daysFromCivil(year, month + 1, 1);
    return int(next - first);
}

// "令和8年"; an era's first year reads 元年, as calendars print it.
QString eraYear(const vb::DateValue& date)
{
    const QString year = vb::Format(date, u"e");
    return vb::Format(date, u"ggg") + (year == u"1" ? QStringLiteral("元") : year) + u'年';
}

} // namespace

MonthCalendar monthCalendar(int year, int month)
{
    if (year < 100 || year > 9999 || month < 1 || month > 12)
        vb::raiseError(5);
    MonthCalendar calendar;
    calendar.year = year;
    calendar.month = month;
    const int length = daysInMonth(year, month);

    const vb::DateValue first(year, month, 1);
    const vb::DateValue last(year, month, length);
    const QString firstEra = eraYear(first);
    const QString lastEra = eraYear(last);
    // A month that holds an era's change names both, the old first. Eras change at midnight,
    // so the first and last days tell.
    calendar.title = (vb::Format(first, u"ggg") == vb::Format(last, u"ggg") ? firstEra : firstEra + u'・' + lastEra)
        + QStringLiteral("(%1年) %2月").arg(year).arg(month);

    std::vector<Holiday> holidays = holidaysOf(year);
    auto holiday = holidays.begin();
    const int firstWeekday = first.weekday();
    calendar.days.reserve(length);
    for (int day = 1; day <= length; ++day) {
        CalendarDay d;
        d.day = day;
        d.weekday = (firstWeekday - 1 + day - 1) % 7 + 1;
        while (holiday != holidays.end()
               && (holiday->date.month() < month || (holiday->date.month() == month && holiday->date.day() < day)))
            ++holiday;
        if (holiday != holidays.end() && holiday->date.month() == month && holiday->date.day() == day)
            d.holiday = std::move(holiday->name);
        d.moonAge = moonAgeOf(vb::DateValue(year, month, day));
        calendar.days.push_back(std::move(d));
    }
    return calendar;
}

DayTone dayTone(int weekday, bool holiday)
{
    if (weekday == 1 || holiday)
        return DayTone::Red;
    return weekday == 7 ? DayTone::Blue : DayTone::Plain;
}

QChar weekdayKanji(int weekday)
{
    return QChar(u"日月火水木金土"[weekday - 1]);
}

std::vector<int> daysWithMoonAge(const MonthCalendar& calendar, qint16 age)
{
    std::vector<int> days;
    for (const CalendarDay& d : calendar.days)
        if (d.moonAge == age)
            days.push_back(d.day);
    return days;
}

} // namespace zp
