#include "runtime/DateValue.h"

#include "runtime/Error.h"

namespace vb {

namespace {

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1]; // [28, 31]
}

} // namespace

bool isValidDateTime(int year, int month, int day, int hour, int minute, int second)
{
    return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1
        && day <= daysInMonth(year, month) && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59
        && second >= 0 && second <= 59;
}

qint64 daysFromCivil(int year, int month, int day)
{
    const qint64 y = month <= 2 ? year - 1 : year;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;                                   // [0, 399]
    const qint64 doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1; // [0, 365]
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;          // [0, 146096]
    return era * 146097 + doe - 719468;
}

DateValue::DateValue(int year, int month, int day, int hour, int minute, int second)
{
    if (!isValidDateTime(year, month, day, hour, minute, second))
        raiseError(InvalidArgument);
    year_ = static_cast<qint16>(year);
    month_ = static_cast<qint8>(month);
    day_ = static_cast<qint8>(day);
    hour_ = static_cast<qint8>(hour);
    minute_ = static_cast<qint8>(minute);
    second_ = static_cast<qint8>(second);
}

qint64 DateValue::daysSinceEpoch() const
{
    return daysFromCivil(year_, month_, day_);
}

int weekdayOfDays(qint64 days)
{
    // 1970-01-01 was a Thursday (5 counted from Sunday = 1).
    return static_cast<int>(((days % 7) + 7 + 4) % 7) + 1; // [1, 7]
}

int DateValue::weekday() const
{
    return weekdayOfDays(daysSinceEpoch());
}

int DateValue::dayOfYear() const
{
    return static_cast<int>(daysSinceEpoch() - daysFromCivil(year_, 1, 1)) + 1;
}

} // namespace vb
