// Date values, the date formatter at fixed instants, date texts (each with its rows in data/),
// the week rules against std::chrono, and the eras against ICU.

#include "runtime/DateFormat.h"
#include "support/Common.h"
#include "support/QtPrinters.h"
#include "support/Rows.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <unicode/calendar.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

using namespace vb;
using namespace std::chrono;
using namespace Qt::StringLiterals;

namespace {

// The numbers of a "y-m-d h:mi:s" field.
std::array<int, 6> parts(const QString& text)
{
    std::array<int, 6> p{};
    EXPECT_EQ(std::sscanf(text.toLatin1().constData(), "%d-%d-%d %d:%d:%d", &p[0], &p[1], &p[2], &p[3], &p[4], &p[5]), 6) << text.toStdString();
    return p;
}

const DateValue afternoon(2001, 3, 29, 13, 5, 9); // a Thursday

} // namespace

TEST(DateValue, OnlyRealDatesAndTimesOfDay)
{
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/date_values.tsv"), 3)) {
        const std::array<int, 6> p = parts(r[2]);
        EXPECT_EQ(isValidDateTime(p[0], p[1], p[2], p[3], p[4], p[5]), r[3] == u"valid") << r[0].toStdString();
        EXPECT_EQ(errorOf([&] { DateValue(p[0], p[1], p[2], p[3], p[4], p[5]); }).number, r[3] == u"valid" ? 0 : InvalidArgument) << r[0].toStdString();
    }
}

TEST(DateFormat, CodesAtFixedInstantsAndLongResults)
{
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/dateformat.tsv"), 4)) {
        const std::array<int, 6> p = parts(r[3]);
        EXPECT_EQ(Format(DateValue(p[0], p[1], p[2], p[3], p[4], p[5]), r[2]), r[4]) << r[0].toStdString() << ": " << r[1].toStdString();
    }
    // Results longer than the formatter's buffer, appended to what is there.
    QString out = QStringLiteral("<");
    EXPECT_FALSE(formatDateInto(out, afternoon, QStringLiteral("dddddd|").repeated(100))) << "no seconds printed";
    EXPECT_EQ(out, u'<' + QStringLiteral("2001年3月29日|").repeated(100));
    EXPECT_TRUE(formatDateInto(out, afternoon, u'h' + QString(500, u'x') + u's'));
    EXPECT_TRUE(out.endsWith(QStringLiteral("|13") + QString(500, u'x') + u'9'));
}

// Every day from 1900 to 2100 against std::chrono, week numbers counted week by week rather
// than computed (from 1898, so that early January knows the last week before), and the ISO
// week against glibc's strftime.
TEST(DateFormat, EveryDayAgainstTheCivilCalendar)
{
    auto dayOfYear = [](sys_days day) { return int((day - sys_days(year_month_day(day).year() / January / 1)).count()) + 1; };
    int jan1[8] = {}, fourDays[8] = {}, fullWeek[8] = {}; // running week numbers by first day of week
    for (sys_days day = sys_days(year(1898) / 1 / 1); day <= sys_days(year(2100) / 12 / 31); day += days(1)) {
        const year_month_day ymd(day);
        const int wd = int(weekday(day).c_encoding()) + 1, yday = dayOfYear(day);
        for (int first = 1; first <= 7; ++first) {
            jan1[first] = yday == 1 ? 1 : jan1[first] + (wd == first);
            if (wd == first) { // week 1 is the first to have its fourth day, or its first, in the first seven days
                fourDays[first] = dayOfYear(day + days(3)) <= 7 ? 1 : fourDays[first] + 1;
                fullWeek[first] = yday <= 7 ? 1 : fullWeek[first] + 1;
            }
        }
        if (ymd.year() < year(1900))
            continue;
        const DateValue value(int(ymd.year()), unsigned(ymd.month()), unsigned(ymd.day()));
        const std::string date = Format(value, u"yyyy-mm-dd").toStdString();
        ASSERT_EQ(value.weekday(), wd) << date;
        ASSERT_EQ(Format(value, u"y"), QString::number(yday)) << date;
        for (int first = 1; first <= 7; ++first) {
            ASSERT_EQ(Format(value, u"w|ww", first) + u'|' + Format(value, u"ww", first, vbFirstFourDays) + u'|'
                          + Format(value, u"ww", first, vbFirstFullWeek),
                      QStringLiteral("%1|%2|%3|%4").arg((wd - first + 7) % 7 + 1).arg(jan1[first]).arg(fourDays[first]).arg(fullWeek[first]))
                << date << ", first day " << first;
        }
        const std::tm tm{.tm_mday = int(unsigned(ymd.day())), .tm_mon = int(unsigned(ymd.month())) - 1,
                         .tm_year = int(ymd.year()) - 1900, .tm_wday = wd - 1, .tm_yday = yday - 1};
        char iso[4];
        std::strftime(iso, sizeof iso, "%V", &tm);
        ASSERT_EQ(Format(value, u"ww", vbMonday, vbFirstFourDays), QString::number(std::atoi(iso))) << date;
        ASSERT_EQ(Format(value, u"w|ww", vbUseSystemDayOfWeek, vbUseSystem), Format(value, u"w|ww")) << date;
    }
    for (const auto& [firstDay, firstWeek] : {std::pair{-1, 1}, {8, 1}, {1, -1}, {1, 4}})
        EXPECT_EQ(errorOf([&] { Format(afternoon, u"d", firstDay, firstWeek); }).number, InvalidArgument) << firstDay << ' ' << firstWeek;
}

TEST(DateText, FormsAndTextsThatAreNoDate)
{
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/date_texts.tsv"), 2)) {
        QString read = u"-"_s;
        EXPECT_EQ(errorOf([&] { read = Format(r[1], u"yyyy-mm-dd hh:nn:ss"); }).number, r[2] == u"-" ? TypeMismatch : 0) << r[0].toStdString();
        EXPECT_EQ(read, r[2]) << r[0].toStdString() << ": " << r[1].toStdString();
    }
}

// Every day from 1500 to 2100: our era name, kanji, initial and year against ICU's formatter given
// the same calendar date (the Julian one before 1582, as ICU reckons).
TEST(JapaneseEraTable, EveryDayAgreesWithIcu)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat icuFormat(icu::UnicodeString(u"GGGG|GGGGG|y"), icu::Locale("ja_JP@calendar=japanese"), status);
    icuFormat.setTimeZone(*icu::TimeZone::getGMT());
    std::unique_ptr<icu::Calendar> fields(icu::Calendar::createInstance(icu::TimeZone::getGMT()->clone(), icu::Locale("en_US"), status));
    ASSERT_TRUE(U_SUCCESS(status));
    for (sys_days day = sys_days(year(1500) / 1 / 1); day <= sys_days(year(2100) / 12 / 31); day += days(1)) {
        const year_month_day ymd(day);
        const int y = int(ymd.year()), m = int(unsigned(ymd.month())), d = int(unsigned(ymd.day()));
        fields->clear();
        fields->set(y, m - 1, d);
        icu::UnicodeString icuText;
        icuFormat.format(fields->getTime(status), icuText);
        ASSERT_TRUE(U_SUCCESS(status));
        const QStringList parts = QString(reinterpret_cast<const QChar*>(icuText.getBuffer()), icuText.length()).split(u'|');
        // The kanji is the name's first character, the initial the narrow name's.
        const QString expected = parts[0] + u'|' + parts[0].front() + u'|' + parts[1].front() + u'|' + parts[2];
        ASSERT_EQ(Format(DateValue(y, m, d, 12), u"ggg|gg|g|e"), expected) << y << '-' << m << '-' << d;
    }
}
