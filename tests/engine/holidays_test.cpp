// Japan's national holidays (engine/Holidays.h): every year from 1970 to 2050 against the
// published list (data/holidays.tsv, from @holiday-jp/holiday_jp), the rules at their edges with
// the names holidaysOf gives (data/holiday_rules.tsv), and every year's list in order.

#include "engine/Holidays.h"
#include "support/QtPrinters.h"
#include "support/Rows.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>

using namespace zp;

namespace {

QString iso(const vb::DateValue& d) { return QString::asprintf("%04d-%02d-%02d", d.year(), d.month(), d.day()); }

// The year's holidays by date, as "YYYY-MM-DD" to name.
std::map<QString, QString> byDate(int year)
{
    std::map<QString, QString> days;
    for (const Holiday& h : holidaysOf(year))
        days[iso(h.date)] = h.name;
    return days;
}

} // namespace

// One run shows every year that differs, with the dates missing and those extra.
TEST(Holidays, EveryYearFrom1970To2050HasThePublishedDates)
{
    std::map<int, std::map<QString, QString>> published;
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/holidays.tsv"), 2))
        published[r[1].left(4).toInt()][r[1]] = r[2];
    ASSERT_EQ(published.size(), 81u);
    ASSERT_EQ(published.begin()->first, 1970);
    for (int year = 1970; year <= 2050; ++year) {
        const std::map<QString, QString> computed = byDate(year);
        QStringList missing, extra;
        for (const auto& [date, name] : published[year])
            if (!computed.contains(date))
                missing << date + u' ' + name;
        for (const auto& [date, name] : computed)
            if (!published[year].contains(date))
                extra << date + u' ' + name;
        EXPECT_TRUE(missing.isEmpty() && extra.isEmpty())
            << year << ": missing [" << missing.join(u", ").toStdString() << "], extra ["
            << extra.join(u", ").toStdString() << "]";
    }
}

TEST(Holidays, RulesAtTheirEdges)
{
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/holiday_rules.tsv"), 2)) {
        const std::map<QString, QString> days = byDate(r[1].left(4).toInt());
        const auto found = days.find(r[1]);
        EXPECT_EQ(found == days.end() ? QStringLiteral("-") : found->second, r[2]) << r[0].toStdString() << ": " << r[1].toStdString();
    }
}

TEST(Holidays, NoneOutsideTheLawsYears)
{
    for (int year : {std::numeric_limits<int>::min(), -1, 0, 100, 1947, 2100, 9999, 10000, std::numeric_limits<int>::max()})
        EXPECT_TRUE(holidaysOf(year).empty()) << year;
    // 1948 starts on 07-20, the law's first day.
    QStringList first;
    for (const auto& [date, name] : byDate(kFirstHolidayYear))
        first << date + u' ' + name;
    EXPECT_EQ(first.join(u", "), QStringLiteral("1948-09-23 秋分の日, 1948-11-03 文化の日, 1948-11-23 勤労感謝の日"));
    EXPECT_FALSE(holidaysOf(kLastHolidayYear).empty());
}

// In date order, each day once, named, at midnight of its year; 1948's from 07-20, and 振替休日
// and 国民の休日 only once their laws were in force.
TEST(Holidays, EveryYearInDateOrderWithoutRepeats)
{
    for (int year = kFirstHolidayYear; year <= kLastHolidayYear; ++year) {
        qint64 previous = vb::daysFromCivil(year, 1, 1) - 1;
        for (const Holiday& h : holidaysOf(year)) {
            const qint64 day = h.date.daysSinceEpoch();
            EXPECT_GT(day, previous) << iso(h.date).toStdString();
            EXPECT_TRUE(h.date.year() == year && h.date.isMidnight() && !h.name.isEmpty()) << iso(h.date).toStdString();
            EXPECT_GE(day, vb::daysFromCivil(1948, 7, 20)) << iso(h.date).toStdString();
            EXPECT_TRUE(h.name != u"振替休日" || day >= vb::daysFromCivil(1973, 4, 12)) << iso(h.date).toStdString();
            EXPECT_TRUE(h.name != u"国民の休日" || day >= vb::daysFromCivil(1985, 12, 27)) << iso(h.date).toStdString();
            previous = day;
        }
    }
}
