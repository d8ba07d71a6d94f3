#pragma once
// The Japanese eras, read once from ICU's Japanese calendar (ja_JP@calendar=japanese) into a
// table, so that formatting looks an era up with no ICU call. A new era arrives with an ICU
// update; no era name or date is written in our code. Private to the date format.
//
// ICU gives each era's first day as calendar fields (Meiji starts 1868-09-08 there); the table
// reads those fields as dates of our calendar, and an era's year turns on 1 January. Before
// Meiji the table holds the older eras ICU knows (1500-01-01 is 明応9); before the first of
// them (大化, 645) a date reads as that first era with the years counted back (644 is 大化0,
// 100 is 大化-544), as ICU itself reckons it.

#include <QString>

#include <vector>

namespace vb::detail {

struct Era {
    qint32 start;     // first day as dateKey()
    qint32 startYear; // the year of our calendar that is the era's year 1
    QString name;     // 平成
    QString kanji;    // 平: the name's first character
    QString initial;  // H: ICU's narrow name's first character (a kanji for the older eras)
};

constexpr qint32 dateKey(int year, int month, int day)
{
    return year * 512 + month * 32 + day; // ordered like the dates; year [100, 9999]
}

// Oldest first; empty only when ICU has no Japanese calendar data.
const std::vector<Era>& japaneseEras();

struct EraReading {
    const Era* era; // nullptr only when the table is empty
    int year;       // the era's year (1 for its first year); the common year when no era
};

EraReading japaneseEra(int year, int month, int day);

} // namespace vb::detail
