#pragma once
// The runtime's date value: a local calendar date and time of day to the second, years 100 to
// 9999 on the proleptic Gregorian calendar, with the calendar arithmetic the formatters need.
// Depends on Qt Core only.

#include <QString>

namespace vb {

class DateValue {
public:
    // Midnight of 1899-12-30, the classic runtime's zero date.
    constexpr DateValue() = default;
    // Raises 5 unless isValidDateTime(year, month, day, hour, minute, second).
    DateValue(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

    int year() const { return year_; }     // [100, 9999]
    int month() const { return month_; }   // [1, 12]
    int day() const { return day_; }       // [1, 31]
    int hour() const { return hour_; }     // [0, 23]
    int minute() const { return minute_; } // [0, 59]
    int second() const { return second_; } // [0, 59]

    // Days since 1970-01-01 (negative before).
    qint64 daysSinceEpoch() const;
    // 1 = Sunday ... 7 = Saturday.
    int weekday() const;
    // [1, 366]
    int dayOfYear() const;
    bool isMidnight() const { return hour_ == 0 && minute_ == 0 && second_ == 0; }

    friend bool operator==(const DateValue&, const DateValue&) = default;

private:
    qint16 year_ = 1899;
    qint8 month_ = 12;
    qint8 day_ = 30;
    qint8 hour_ = 0;
    qint8 minute_ = 0;
    qint8 second_ = 0;
};

// Whether the parts name a real date (year 100 to 9999) and time of day (to 23:59:59).
bool isValidDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
qint64 daysFromCivil(int year, int month, int day);
// The weekday of a day counted from 1970-01-01: 1 = Sunday ... 7 = Saturday.
int weekdayOfDays(qint64 days);

} // namespace vb
