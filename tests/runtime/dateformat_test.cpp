// The date formatter at fixed instants, its week rules against std::chrono, its eras against
// ICU, and date texts.

#include "runtime/DateFormat.h"
#include "runtime/Error.h"
#include "support/QtPrinters.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <unicode/calendar.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <chrono>
#include <ctime>
#include <memory>

using namespace vb;

namespace {

struct Row { const char* name; const char16_t* code; DateValue at; const char16_t* expected; };

void expectRows(std::initializer_list<Row> rows)
{
    for (const Row& r : rows)
        EXPECT_EQ(Format(r.at, r.code), QString::fromUtf16(r.expected)) << r.name;
}

template <class F>
qint32 errorOf(F f) try { f(); return 0; } catch (const Error& e) { return e.number; }

DateValue at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return DateValue(y, mo, d, h, mi, s); }

// Thursday 29 March 2001, 13:05:09, and a morning whose fields are all one digit.
const DateValue afternoon = at(2001, 3, 29, 13, 5, 9);
const DateValue morning = at(2001, 3, 5, 9, 7, 3);

} // namespace

TEST(DateFormat, CodesAndTheGeneralDate)
{
    expectRows({
        {"time codes", u"h:n:s hh:nn:ss ttttt", morning, u"9:7:3 09:07:03 9:07:03"},
        {"day codes", u"d dd ddddd dddddd", morning, u"5 05 2001/03/05 2001年3月5日"},
        {"month codes", u"m mm mmm mmmm oooo", afternoon, u"3 03 Mar March 3月"},
        {"y yy yyyy q, end of the first quarter", u"y yy yyyy q", at(2001, 3, 31), u"90 01 2001 1"},
        {"q, start of the fourth quarter", u"q", at(2001, 10, 1), u"4"},
        {"largest year", u"yyyy", at(9999, 12, 31), u"9999"},
        // 25 to 31 March 2001 run from Sunday to Saturday.
        {"Sunday, first of each name table", u"ddd dddd aaa aaaa", at(2001, 3, 25), u"Sun Sunday 日 日曜日"},
        {"Saturday, last of each name table", u"ddd dddd aaa aaaa", at(2001, 3, 31), u"Sat Saturday 土 土曜日"},
        {"mixed case", u"Hh:nN DdD MMMM OOOO Q Y W WW", afternoon, u"13:05 Thu March 3月 1 88 5 13"},
        {"mixed case, Japanese", u"AAA AAAA GGG E G GG EE", afternoon, u"木 木曜日 平成 13 H 平 13"},
        {"c a second after midnight", u"c", at(2001, 3, 29, 0, 0, 1), u"2001/03/29 0:00:01"},
        {"c at midnight is the date alone", u"c|C", at(2001, 3, 29), u"2001/03/29|2001/03/29"},
        {"c on 1899-12-30 is a date like any other", u"c", DateValue(), u"1899/12/30"},
        {"empty code is c", u"", afternoon, u"2001/03/29 13:05:09"},
    });
}

TEST(DateFormat, TwelveHourClockAndMinuteAfterHour)
{
    expectRows({
        {"midnight", u"h AM/PM AMPM am/pm", at(2001, 3, 29), u"12 AM 午前 am"},
        {"noon", u"h AM/PM", at(2001, 3, 29, 12), u"12 PM"},
        {"A/P, letters as written, designator before the hour", u"hA/P a/p A/p AM/PM hh", afternoon, u"1P p p PM 01"},
        {"quoted or escaped designator does not switch", u"h \"AM/PM\" \\A/P", afternoon, u"13 AM/PM A/P"},
        {"ttttt and c keep their 24-hour clock", u"ttttt c A/P", afternoon, u"13:05:09 2001/03/29 13:05:09 P"},
        {"the first m after h", u"h:m:m hh:mm H:M", afternoon, u"13:5:3 13:05 13:5"},
        {"m before h is the month", u"m/d h:mm", afternoon, u"3/29 13:05"},
        {"other codes and literals do not interrupt", u"h yyyy m h\\:\"x\"mm", afternoon, u"13 2001 5 13:x05"},
    });
}

TEST(DateFormat, GreedyRunsLiteralsAndEscapes)
{
    expectRows({
        {"runs split greedily", u"yyy|yyyyy|www|mmmmm|gggg|qq", afternoon, u"0188|200188|135|March3|平成H|11"},
        {"o a t runs", u"ooooo|aaaaa|aaaaaaa|tttttt", afternoon, u"3月o|木曜日a|木曜日木|13:05:09t"},
        {"one or two a are literal", u"a aa A aa/p am a/", afternoon, u"a aa A ap a3 a/"},
        {"short o and t runs are literal", u"o oo ooo t tt ttt tttt T", afternoon, u"o oo ooo t tt ttt tttt T"},
        {"unclosed quote runs to the end", u"h\"nn ss", afternoon, u"13nn ss"},
        {"backslashes", u"\\h\\n\\s\\x \\\\h", afternoon, u"hnsx \\13"},
        {"backslash at the end prints nothing", u"h\\", afternoon, u"13"},
    });
}

// Every day from 1500 is checked against ICU below; these are the edges beyond, and era changes
// at midnight (ICU is asked at noon).
TEST(DateFormat, JapaneseEras)
{
    expectRows({
        {"Heisei last second", u"g gg ggg e ee", at(2019, 4, 30, 23, 59, 59), u"H 平 平成 31 31"},
        {"Reiwa first second", u"g gg ggg e ee", at(2019, 5, 1), u"R 令 令和 1 01"},
        {"eee is ee then e, and year 1 is never 元", u"eee ggge年", at(2019, 5, 1), u"011 令和1年"},
        {"far future stays in the newest era", u"ggg e", at(9999, 12, 31), u"令和 7981"},
        {"the year before Taika", u"ggg e ee", at(644, 12, 31), u"大化 0 00"},
        {"the smallest year", u"ggg e ee", at(100, 1, 1), u"大化 -544 -544"},
    });
}

TEST(DateFormat, AppendsBeyondTheBuffer)
{
    // Results longer than the formatter's buffer, appended to what is there.
    QString out = QStringLiteral("<");
    EXPECT_FALSE(formatDateInto(out, afternoon, QStringLiteral("dddddd|").repeated(100))) << "no seconds printed";
    EXPECT_EQ(out, u'<' + QStringLiteral("2001年3月29日|").repeated(100));
    EXPECT_TRUE(formatDateInto(out, afternoon, u'h' + QString(500, u'x') + u's'));
    EXPECT_TRUE(out.endsWith(QStringLiteral("|13") + QString(500, u'x') + u'9'));
}

// Every day from 1900 to 2100 against std::chrono, week numbers counted week by week rather
// than computed, and the ISO week against glibc's strftime.
TEST(DateFormat, EveryDayAgainstTheCivilCalendar)
{
    using namespace std::chrono;
    auto dayOfYear = [](sys_days day) {
        return int((day - sys_days(year_month_day(day).year() / January / 1)).count()) + 1;
    };
    // Running week numbers per rule and first day of week (1 = Sunday), started two years early
    // so that the first days of 1900 know the last week of 1899.
    int jan1[8] = {}, fourDays[8] = {}, fullWeek[8] = {};
    for (sys_days day = sys_days(year(1898) / January / 1);
         day <= sys_days(year(2100) / December / 31); day += days(1)) {
        const year_month_day ymd(day);
        const int y = int(ymd.year());
        const int wd = int(weekday(day).c_encoding()) + 1;
        const int yday = dayOfYear(day);
        for (int firstDay = 1; firstDay <= 7; ++firstDay) {
            if (yday == 1)
                jan1[firstDay] = 1;
            else if (wd == firstDay)
                ++jan1[firstDay];
            if (wd == firstDay) {
                // Week 1 is the first to have its fourth day, or its first, in the first seven days.
                fourDays[firstDay] = dayOfYear(day + days(3)) <= 7 ? 1 : fourDays[firstDay] + 1;
                fullWeek[firstDay] = yday <= 7 ? 1 : fullWeek[firstDay] + 1;
            }
        }
        if (y < 1900)
            continue;
        const DateValue value(y, unsigned(ymd.month()), unsigned(ymd.day()));
        const std::string date = Format(value, u"yyyy-mm-dd").toStdString();
        ASSERT_EQ(value.weekday(), wd) << date;
        ASSERT_EQ(Format(value, u"y"), QString::number(yday)) << date;
        for (int firstDay = 1; firstDay <= 7; ++firstDay) {
            ASSERT_EQ(Format(value, u"w|ww", firstDay),
                      QString::number((wd - firstDay + 7) % 7 + 1) + u'|' + QString::number(jan1[firstDay]))
                << date << " first day " << firstDay;
            ASSERT_EQ(Format(value, u"ww", firstDay, vbFirstFourDays), QString::number(fourDays[firstDay]))
                << date << " first day " << firstDay;
            ASSERT_EQ(Format(value, u"ww", firstDay, vbFirstFullWeek), QString::number(fullWeek[firstDay]))
                << date << " first day " << firstDay;
        }
        const std::tm tm{.tm_mday = int(unsigned(ymd.day())), .tm_mon = int(unsigned(ymd.month())) - 1,
                         .tm_year = y - 1900, .tm_wday = wd - 1, .tm_yday = yday - 1};
        char iso[4];
        std::strftime(iso, sizeof iso, "%V", &tm);
        ASSERT_EQ(Format(value, u"ww", vbMonday, vbFirstFourDays), QString::number(std::atoi(iso))) << date;
    }
}

TEST(DateText, FormsAndTextsThatAreNoDate)
{
    EXPECT_EQ(parseDateText(u"03-29-2001"), at(2001, 3, 29));
    EXPECT_EQ(parseDateText(u"  2001/3/9 13:05 "), at(2001, 3, 9, 13, 5));
    EXPECT_EQ(errorOf([] { Format(QStringLiteral("02-29-2001"), u"d"); }), TypeMismatch);
}

// Every day from 1500 to 2100: our era name, kanji, initial and year against ICU's formatter given
// the same calendar date.
TEST(JapaneseEraTable, EveryDayAgreesWithIcu)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat icuFormat(icu::UnicodeString(u"GGGG|GGGGG|y"), icu::Locale("ja_JP@calendar=japanese"), status);
    ASSERT_TRUE(U_SUCCESS(status));
    icuFormat.setTimeZone(*icu::TimeZone::getGMT());
    // Dates given as fields of ICU's own calendar, the Julian one before 1582 as ICU reckons.
    std::unique_ptr<icu::Calendar> fields(
        icu::Calendar::createInstance(icu::TimeZone::getGMT()->clone(), icu::Locale("en_US"), status));
    ASSERT_TRUE(U_SUCCESS(status));
    using namespace std::chrono;
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
        ASSERT_EQ(vb::Format(vb::DateValue(y, m, d, 12), u"ggg|gg|g|e"), expected) << y << '-' << m << '-' << d;
    }
}
