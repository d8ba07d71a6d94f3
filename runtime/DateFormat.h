#pragma once
// The runtime's user-defined date/time format, as the classic BASIC runtime gives it on a
// Japanese-language system: codes read greedily, case-insensitive, Japanese era codes from
// ICU's Japanese calendar (JapaneseEra.h tells what dates before Meiji give), literals and
// escapes copied. Formatting makes no ICU call and no temporary string: the era table is read
// from ICU once. Depends on Qt Core and ICU.

#include "runtime/DateValue.h"

#include <QString>
#include <QStringView>

namespace vb {

// 0 asks for the system's setting, which on a Japanese-language system is Sunday and the
// week of 1 January; values outside these enums raise 5.
enum FirstDayOfWeek : int { vbUseSystemDayOfWeek = 0, vbSunday = 1, vbMonday = 2, vbTuesday = 3,
                            vbWednesday = 4, vbThursday = 5, vbFriday = 6, vbSaturday = 7 };
enum FirstWeekOfYear : int {
    vbUseSystem = 0,
    vbFirstJan1 = 1,     // week 1 holds 1 January (weeks 1 to 54)
    vbFirstFourDays = 2, // week 1 is the first with four days in the year (ISO when Monday)
    vbFirstFullWeek = 3, // week 1 is the first whole week in the year
};

// The value formatted with `code`. An empty code gives the general date, as "c" does.
QString Format(const DateValue& value, QStringView code, int firstDayOfWeek = vbSunday,
               int firstWeekOfYear = vbFirstJan1);
// A date text (mm-dd-yyyy, yyyy/mm/dd, yyyy-mm-dd ...) read as a date, then formatted;
// a text that is no date raises 13.
QString Format(const QString& dateText, QStringView code, int firstDayOfWeek = vbSunday,
               int firstWeekOfYear = vbFirstJan1);

// Appends the formatted value to `out`; returns true when it printed a seconds field
// (s, ss, ttttt, or c with its time part).
bool formatDateInto(QString& out, const DateValue& value, QStringView code,
                    int firstDayOfWeek = vbSunday, int firstWeekOfYear = vbFirstJan1);

// True when the code holds a seconds field (s, ss, ttttt or c, in any case), read the way
// the formatter reads it (so a quoted or escaped s does not count; the empty code is c).
bool hasSecondsField(QStringView code);

// Reads a date text as a date: mm-dd-yyyy, yyyy-mm-dd, with - or / (one or two digits for
// month and day, three or four for the year, 100 to 9999), or yyyy年m月d日, then optionally a
// space and h:nn or h:nn:ss (midnight without). Spaces around are ignored; any other text,
// or a date that does not exist, raises 13.
DateValue parseDateText(QStringView text);

} // namespace vb
