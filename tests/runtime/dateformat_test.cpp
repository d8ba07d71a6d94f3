#include "runtime/DateFormat.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

using namespace vb;

// Failures show the text rather than its bytes.
void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

struct Row {
    const char* name;
    const char16_t* code;
    DateValue at;
    const char16_t* expected;
};

std::string utf8(QStringView s)
{
    return s.toString().toStdString();
}

DateValue at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return DateValue(y, mo, d, h, mi, s);
}

void expectRows(const std::vector<Row>& rows, int firstDay = vbSunday, int firstWeek = vbFirstJan1)
{
    std::set<std::string> names;
    for (const Row& r : rows) {
        EXPECT_TRUE(names.insert(r.name).second) << "duplicate row name " << r.name;
        EXPECT_EQ(utf8(Format(r.at, QStringView(r.code), firstDay, firstWeek)),
                  utf8(QStringView(r.expected)))
            << r.name << ": code " << utf8(QStringView(r.code));
    }
}

qint32 errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.number;
    }
    return 0;
}

// Thursday 29 March 2001, 13:05:09: every field differs from its neighbours' values.
const DateValue afternoon = DateValue(2001, 3, 29, 13, 5, 9);
const DateValue morning = DateValue(2001, 3, 5, 9, 7, 3);

} // namespace

TEST(DateFormat, TimeCodes)
{
    expectRows({
        {"h", u"h", afternoon, u"13"},
        {"hh", u"hh", afternoon, u"13"},
        {"h one digit", u"h", morning, u"9"},
        {"hh pads", u"hh", morning, u"09"},
        {"n", u"n", morning, u"7"},
        {"nn", u"nn", morning, u"07"},
        {"s", u"s", morning, u"3"},
        {"ss", u"ss", morning, u"03"},
        {"h:n", u"h:n", afternoon, u"13:5"},
        {"h:n:s", u"h:n:s", afternoon, u"13:5:9"},
        {"h:nn:ss", u"h:nn:ss", afternoon, u"13:05:09"},
        {"ttttt", u"ttttt", afternoon, u"13:05:09"},
        {"ttttt morning", u"ttttt", morning, u"9:07:03"},
        {"h midnight", u"h", at(2001, 3, 29), u"0"},
        {"hh:nn:ss midnight", u"hh:nn:ss", at(2001, 3, 29), u"00:00:00"},
        {"ttttt midnight", u"ttttt", at(2001, 3, 29), u"0:00:00"},
        {"h noon", u"h", at(2001, 3, 29, 12), u"12"},
        {"ttttt last second", u"ttttt", at(2001, 3, 29, 23, 59, 59), u"23:59:59"},
    });
}

TEST(DateFormat, DateCodes)
{
    expectRows({
        {"d", u"d", morning, u"5"},
        {"dd", u"dd", morning, u"05"},
        {"d two digits", u"d", afternoon, u"29"},
        {"ddd", u"ddd", afternoon, u"Thu"},
        {"dddd", u"dddd", afternoon, u"Thursday"},
        {"ddddd", u"ddddd", morning, u"2001/03/05"},
        {"dddddd", u"dddddd", morning, u"2001年3月5日"},
        {"m", u"m", afternoon, u"3"},
        {"mm", u"mm", afternoon, u"03"},
        {"mm December", u"mm", at(2001, 12, 1), u"12"},
        {"mmm", u"mmm", afternoon, u"Mar"},
        {"mmmm", u"mmmm", afternoon, u"March"},
        {"mmmm September", u"mmmm", at(2001, 9, 1), u"September"},
        {"oooo", u"oooo", afternoon, u"3月"},
        {"oooo December", u"oooo", at(2001, 12, 1), u"12月"},
        {"q first", u"q", at(2001, 3, 31), u"1"},
        {"q second", u"q", at(2001, 4, 1), u"2"},
        {"q third", u"q", at(2001, 9, 30), u"3"},
        {"q fourth", u"q", at(2001, 10, 1), u"4"},
        {"y", u"y", afternoon, u"88"},
        {"y first day", u"y", at(2001, 1, 1), u"1"},
        {"y leap day", u"y", at(2000, 2, 29), u"60"},
        {"y day after leap day", u"y", at(2000, 3, 1), u"61"},
        {"y leap year end", u"y", at(2000, 12, 31), u"366"},
        {"y common year end", u"y", at(2001, 12, 31), u"365"},
        {"yy", u"yy", afternoon, u"01"},
        {"yy century", u"yy", at(2000, 1, 1), u"00"},
        {"yyyy", u"yyyy", afternoon, u"2001"},
        {"yyyy smallest year", u"yyyy", at(100, 1, 1), u"0100"},
        {"yyyy largest year", u"yyyy", at(9999, 12, 31), u"9999"},
        {"yy smallest year", u"yy", at(100, 1, 1), u"00"},
        {"separators", u"yyyy/mm/dd hh:nn", afternoon, u"2001/03/29 13:05"},
    });
}

TEST(DateFormat, WeekdayCodes)
{
    // 25 to 31 March 2001 run from Sunday to Saturday.
    expectRows({
        {"Sunday", u"w ddd dddd aaa aaaa", at(2001, 3, 25), u"1 Sun Sunday 日 日曜日"},
        {"Monday", u"w ddd dddd aaa aaaa", at(2001, 3, 26), u"2 Mon Monday 月 月曜日"},
        {"Tuesday", u"w ddd dddd aaa aaaa", at(2001, 3, 27), u"3 Tue Tuesday 火 火曜日"},
        {"Wednesday", u"w ddd dddd aaa aaaa", at(2001, 3, 28), u"4 Wed Wednesday 水 水曜日"},
        {"Thursday", u"w ddd dddd aaa aaaa", at(2001, 3, 29), u"5 Thu Thursday 木 木曜日"},
        {"Friday", u"w ddd dddd aaa aaaa", at(2001, 3, 30), u"6 Fri Friday 金 金曜日"},
        {"Saturday", u"w ddd dddd aaa aaaa", at(2001, 3, 31), u"7 Sat Saturday 土 土曜日"},
    });
    expectRows({
        {"w from Monday, on Monday", u"w", at(2001, 3, 26), u"1"},
        {"w from Monday, on Sunday", u"w", at(2001, 3, 25), u"7"},
    }, vbMonday);
    expectRows({
        {"w from Saturday, on Saturday", u"w", at(2001, 3, 31), u"1"},
        {"w from Saturday, on Friday", u"w", at(2001, 3, 30), u"7"},
    }, vbSaturday);
}

TEST(DateFormat, WeekOfYearFromFirstJanuary)
{
    // 2001 begins on a Monday, 2000 (a leap year) on a Saturday.
    expectRows({
        {"1 January", u"ww", at(2001, 1, 1), u"1"},
        {"first Saturday", u"ww", at(2001, 1, 6), u"1"},
        {"first Sunday opens week 2", u"ww", at(2001, 1, 7), u"2"},
        {"29 March", u"ww", afternoon, u"13"},
        {"last Saturday of 2001", u"ww", at(2001, 12, 29), u"52"},
        {"week 53", u"ww", at(2001, 12, 30), u"53"},
        {"1 January 2000 is a week alone", u"ww", at(2000, 1, 1), u"1"},
        {"2 January 2000", u"ww", at(2000, 1, 2), u"2"},
        {"30 December 2000", u"ww", at(2000, 12, 30), u"53"},
        {"week 54", u"ww", at(2000, 12, 31), u"54"},
    });
    expectRows({
        {"Monday weeks: 1 January", u"ww", at(2000, 1, 1), u"1"},
        {"Monday weeks: first Monday", u"ww", at(2000, 1, 3), u"2"},
        {"Monday weeks: 31 December 2000", u"ww", at(2000, 12, 31), u"53"},
    }, vbMonday);
}

TEST(DateFormat, WeekOfYearOtherRules)
{
    // Monday weeks with four days: the ISO week.
    expectRows({
        {"ISO 2004-12-31", u"ww", at(2004, 12, 31), u"53"},
        {"ISO 2005-01-01 in last year's week", u"ww", at(2005, 1, 1), u"53"},
        {"ISO 2005-01-03", u"ww", at(2005, 1, 3), u"1"},
        {"ISO 2008-12-29 in next year's week", u"ww", at(2008, 12, 29), u"1"},
        {"ISO 2010-01-03", u"ww", at(2010, 1, 3), u"53"},
        {"ISO 2001-01-01", u"ww", at(2001, 1, 1), u"1"},
    }, vbMonday, vbFirstFourDays);
    expectRows({
        {"full week: 2001-01-01 in the last week of 2000", u"ww", at(2001, 1, 1), u"53"},
        {"full week: 2001-01-06", u"ww", at(2001, 1, 6), u"53"},
        {"full week: 2001-01-07", u"ww", at(2001, 1, 7), u"1"},
        {"full week: 2006-01-01, a Sunday", u"ww", at(2006, 1, 1), u"1"},
    }, vbSunday, vbFirstFullWeek);
    // 0 asks for the system's settings: Sunday, and the week of 1 January.
    expectRows({
        {"system week 54", u"ww w", at(2000, 12, 31), u"54 1"},
    }, vbUseSystemDayOfWeek, vbUseSystem);
}

TEST(DateFormat, OutOfRangeWeekSettingsRaiseFive)
{
    EXPECT_EQ(errorOf([] { Format(afternoon, u"h", 8, vbFirstJan1); }), InvalidArgument);
    EXPECT_EQ(errorOf([] { Format(afternoon, u"h", -1, vbFirstJan1); }), InvalidArgument);
    EXPECT_EQ(errorOf([] { Format(afternoon, u"h", vbSunday, 4); }), InvalidArgument);
    EXPECT_EQ(errorOf([] { Format(afternoon, u"h", vbSunday, -1); }), InvalidArgument);
    EXPECT_EQ(errorOf([] { Format(afternoon, u"h", vbSaturday, vbFirstFullWeek); }), 0);
}

TEST(DateFormat, GeneralDate)
{
    expectRows({
        {"c afternoon", u"c", afternoon, u"2001/03/29 13:05:09"},
        {"c one second after midnight", u"c", at(2001, 3, 29, 0, 0, 1), u"2001/03/29 0:00:01"},
        {"c at midnight is the date alone", u"c", at(2001, 3, 29), u"2001/03/29"},
        {"c year end", u"c", at(2001, 12, 31, 23, 59, 59), u"2001/12/31 23:59:59"},
        {"c new year", u"c", at(2002, 1, 1), u"2002/01/01"},
        {"C", u"C", afternoon, u"2001/03/29 13:05:09"},
        {"c on the zero date is the time alone", u"c", at(1899, 12, 30, 10, 0, 0), u"10:00:00"},
        {"c at zero", u"c", DateValue(), u"0:00:00"},
        {"empty code is the general date", u"", afternoon, u"2001/03/29 13:05:09"},
        {"c twice", u"c|c", at(2001, 3, 29), u"2001/03/29|2001/03/29"},
    });
}

TEST(DateFormat, TwelveHourClock)
{
    expectRows({
        {"AM/PM midnight", u"h AM/PM", at(2001, 3, 29, 0, 0), u"12 AM"},
        {"AM/PM morning", u"h AM/PM", at(2001, 3, 29, 1, 0), u"1 AM"},
        {"AM/PM before noon", u"h:nn AM/PM", at(2001, 3, 29, 11, 59), u"11:59 AM"},
        {"AM/PM noon", u"h AM/PM", at(2001, 3, 29, 12, 0), u"12 PM"},
        {"AM/PM afternoon", u"hh:nn AM/PM", afternoon, u"01:05 PM"},
        {"AM/PM late", u"h AM/PM", at(2001, 3, 29, 23, 59), u"11 PM"},
        {"am/pm", u"h am/pm", afternoon, u"1 pm"},
        {"am/pm morning", u"h am/pm", morning, u"9 am"},
        {"mixed case as written", u"Am/pM|Am/pM", afternoon, u"pM|pM"},
        {"mixed case morning", u"Am/pM", morning, u"Am"},
        {"A/P", u"hA/P", afternoon, u"1P"},
        {"a/p", u"ha/p", morning, u"9a"},
        {"A/p mixed", u"A/p", afternoon, u"p"},
        {"AMPM afternoon", u"AMPMh", afternoon, u"午後1"},
        {"AMPM morning", u"AMPM h", morning, u"午前 9"},
        {"ampm lower case", u"ampm", afternoon, u"午後"},
        {"AMPM midnight", u"AMPM hh", at(2001, 3, 29), u"午前 12"},
        {"designator before the hour", u"AM/PM hh", afternoon, u"PM 01"},
        {"designator after two hours", u"h hh AM/PM", afternoon, u"1 01 PM"},
        {"designator alone", u"AM/PM", afternoon, u"PM"},
        {"quoted designator does not switch", u"h \"AM/PM\"", afternoon, u"13 AM/PM"},
        {"escaped designator does not switch", u"h \\A/P", afternoon, u"13 A/P"},
        {"ttttt keeps its own 24-hour clock", u"ttttt AM/PM", afternoon, u"13:05:09 PM"},
        {"c keeps its own 24-hour clock", u"c A/P", afternoon, u"2001/03/29 13:05:09 P"},
    });
}

TEST(DateFormat, MinuteRule)
{
    expectRows({
        {"m after h", u"h:m", afternoon, u"13:5"},
        {"mm after hh", u"hh:mm", afternoon, u"13:05"},
        {"m alone is the month", u"m", afternoon, u"3"},
        {"only the first m after h", u"h:m:m", afternoon, u"13:5:3"},
        {"d in between", u"h d m", afternoon, u"13 29 3"},
        {"dddd in between", u"h dddd m", afternoon, u"13 Thursday 3"},
        {"m before h is the month", u"m/d h:mm", afternoon, u"3/29 13:05"},
        {"other codes do not interrupt", u"h yyyy m", afternoon, u"13 2001 5"},
        {"literals do not interrupt", u"h\\:\"x\"mm", afternoon, u"13:x05"},
        {"mmm stays the month", u"h mmm m", afternoon, u"13 Mar 5"},
        {"mmmm stays the month", u"h mmmm", afternoon, u"13 March"},
        {"a later h starts again", u"h:m d h:m", afternoon, u"13:5 29 13:5"},
        {"upper case", u"H:M", afternoon, u"13:5"},
        {"after the 12-hour clock", u"h:mm AM/PM", afternoon, u"1:05 PM"},
        {"ttttt does not count as h", u"ttttt m", afternoon, u"13:05:09 3"},
    });
}

TEST(DateFormat, CaseInsensitive)
{
    expectRows({
        {"YYYY/MM/DD", u"YYYY/MM/DD", afternoon, u"2001/03/29"},
        {"HH:NN:SS", u"HH:NN:SS", afternoon, u"13:05:09"},
        {"Hh:nN", u"Hh:nN", afternoon, u"13:05"},
        {"DDDD", u"DDDD", afternoon, u"Thursday"},
        {"DdD", u"DdD", afternoon, u"Thu"},
        {"MMMM", u"MMMM", afternoon, u"March"},
        {"OOOO", u"OOOO", afternoon, u"3月"},
        {"Q", u"Q", afternoon, u"1"},
        {"Y", u"Y", afternoon, u"88"},
        {"W WW", u"W WW", afternoon, u"5 13"},
        {"TTTTT", u"TTTTT", afternoon, u"13:05:09"},
        {"AAA AAAA", u"AAA AAAA", afternoon, u"木 木曜日"},
        {"GGG E", u"GGG E", afternoon, u"平成 13"},
        {"G GG EE", u"G GG EE", afternoon, u"H 平 13"},
    });
}

TEST(DateFormat, GreedyReading)
{
    expectRows({
        {"yyy is yy then y", u"yyy", afternoon, u"0188"},
        {"yyyyy is yyyy then y", u"yyyyy", afternoon, u"200188"},
        {"hhh is hh then h", u"hhh", morning, u"099"},
        {"nnn", u"nnn", morning, u"077"},
        {"sss", u"sss", morning, u"033"},
        {"seven d", u"ddddddd", morning, u"2001年3月5日5"},
        {"www is ww then w", u"www", afternoon, u"135"},
        {"mmmmm is mmmm then m", u"mmmmm", afternoon, u"March3"},
        {"gggg is ggg then g", u"gggg", afternoon, u"平成H"},
        {"eee is ee then e", u"eee", at(2019, 5, 1), u"011"},
        {"ooooo", u"ooooo", afternoon, u"3月o"},
        {"aaaaa", u"aaaaa", afternoon, u"木曜日a"},
        {"seven a", u"aaaaaaa", afternoon, u"木曜日木"},
        {"tttttt", u"tttttt", afternoon, u"13:05:09t"},
        {"cc", u"cc", at(2001, 3, 29), u"2001/03/292001/03/29"},
        {"qq", u"qq", afternoon, u"11"},
    });
}

TEST(DateFormat, LiteralsAndEscapes)
{
    expectRows({
        {"a alone", u"a", afternoon, u"a"},
        {"aa", u"aa", afternoon, u"aa"},
        {"A alone", u"A", afternoon, u"A"},
        {"a then a/p", u"aa/p", afternoon, u"ap"},
        {"am without pm", u"am", afternoon, u"a3"},
        {"a/ without p", u"a/", afternoon, u"a/"},
        {"o oo ooo", u"o oo ooo", afternoon, u"o oo ooo"},
        {"t to tttt", u"t tt ttt tttt", afternoon, u"t tt ttt tttt"},
        {"T alone", u"T", afternoon, u"T"},
        {"other letters", u"xbfijklpruvxz", afternoon, u"xbfijklpruvxz"},
        {"Japanese", u"yyyy年m月d日(aaa)", afternoon, u"2001年3月29日(木)"},
        {"punctuation", u"[h]-{n}.%,;!?#0@&*", afternoon, u"[13]-{5}.%,;!?#0@&*"},
        {"quoted", u"\"h:nn\" h", afternoon, u"h:nn 13"},
        {"quoted empty", u"h\"\"h", afternoon, u"1313"},
        {"unclosed quote runs to the end", u"h\"nn ss", afternoon, u"13nn ss"},
        {"backslash", u"\\h\\n\\s", afternoon, u"hns"},
        {"backslash before a literal", u"\\x", afternoon, u"x"},
        {"double backslash", u"\\\\h", afternoon, u"\\13"},
        {"backslash at the end prints nothing", u"h\\", afternoon, u"13"},
        {"backslash before a quote", u"\\\"h\\\"", afternoon, u"\"13\""},
        {"escape splits a code", u"y\\yy", afternoon, u"88y88"},
        {"outside the BMP", u"😀h", afternoon, u"😀13"},
        {"backslash before a surrogate pair", u"\\😀", afternoon, u"😀"},
    });
}

TEST(DateFormat, JapaneseEras)
{
    expectRows({
        {"Heisei last second", u"g gg ggg e ee", at(2019, 4, 30, 23, 59, 59), u"H 平 平成 31 31"},
        {"Reiwa first second", u"g gg ggg e ee", at(2019, 5, 1), u"R 令 令和 1 01"},
        {"Showa last day", u"g gg ggg e", at(1989, 1, 7, 23, 59, 59), u"S 昭 昭和 64"},
        {"Heisei first day", u"g gg ggg e", at(1989, 1, 8), u"H 平 平成 1"},
        {"Taisho last day", u"g gg ggg e", at(1926, 12, 24, 23, 59, 59), u"T 大 大正 15"},
        {"Showa first day", u"g gg ggg e", at(1926, 12, 25), u"S 昭 昭和 1"},
        {"Meiji last day", u"g gg ggg e", at(1912, 7, 29, 23, 59, 59), u"M 明 明治 45"},
        {"Taisho first day", u"g gg ggg e", at(1912, 7, 30), u"T 大 大正 1"},
        {"Showa year end", u"ggg e", at(1988, 12, 31), u"昭和 63"},
        {"Heisei new year", u"ggg ee", at(1990, 1, 1), u"平成 02"},
        {"g then ee", u"gee", afternoon, u"H13"},
        {"far future stays in the newest era", u"ggg e", at(9999, 12, 31), u"令和 7981"},
        {"era year is never 元", u"ggge年", at(2019, 5, 1), u"令和1年"},
    });
}

// Before Meiji the era codes name the older eras ICU knows, with ICU's first days read as dates
// of our calendar; before the first era, 大化, its years count back through 0.
TEST(DateFormat, EarlierEras)
{
    expectRows({
        {"Meiji first day as ICU reckons it", u"ggg e g", at(1868, 9, 8), u"明治 1 M"},
        {"the day before Meiji", u"ggg e", at(1868, 9, 7), u"慶応 4"},
        {"an older era's initial is a kanji", u"g gg", at(1868, 9, 7), u"慶 慶"},
        {"1500", u"ggg e", at(1500, 1, 1), u"明応 9"},
        {"Taika first day", u"ggg e", at(645, 6, 19), u"大化 1"},
        {"Taika's year 1 before its first day", u"ggg e", at(645, 1, 1), u"大化 1"},
        {"the year before Taika", u"ggg e ee", at(644, 12, 31), u"大化 0 00"},
        {"the smallest year", u"ggg e ee", at(100, 1, 1), u"大化 -544 -544"},
    });
}

TEST(DateFormat, ReportsPrintedSeconds)
{
    struct Case {
        const char* name;
        const char16_t* code;
        DateValue at;
        bool seconds;
    } cases[] = {
        {"h:nn", u"h:nn", afternoon, false},
        {"s", u"s", afternoon, true},
        {"SS", u"h:nn:SS", afternoon, true},
        {"ttttt", u"ttttt", afternoon, true},
        {"c with its time", u"c", afternoon, true},
        {"c at midnight", u"c", at(2001, 3, 29), false},
        {"quoted s", u"\"s\"", afternoon, false},
        {"escaped s", u"\\s", afternoon, false},
        {"empty code", u"", afternoon, true},
        {"AM/PM", u"AM/PM", afternoon, false},
    };
    for (const Case& c : cases) {
        QString out = QStringLiteral("x");
        EXPECT_EQ(formatDateInto(out, c.at, QStringView(c.code)), c.seconds) << c.name;
        EXPECT_EQ(out, u'x' + Format(c.at, QStringView(c.code))) << c.name << ": appends";
    }
}

TEST(DateFormat, HasSecondsField)
{
    EXPECT_TRUE(hasSecondsField(u"h:n:s"));
    EXPECT_TRUE(hasSecondsField(u"SS"));
    EXPECT_TRUE(hasSecondsField(u"ttttt"));
    EXPECT_TRUE(hasSecondsField(u"C"));
    EXPECT_TRUE(hasSecondsField(u""));
    EXPECT_FALSE(hasSecondsField(u"h:nn"));
    EXPECT_FALSE(hasSecondsField(u"\"ss\""));
    EXPECT_FALSE(hasSecondsField(u"\\s"));
    EXPECT_FALSE(hasSecondsField(u"tttt"));
    EXPECT_FALSE(hasSecondsField(u"AM/PM ampm"));
}

TEST(DateFormat, LongResultsAppendWhole)
{
    QString code;
    QString expected = QStringLiteral("<");
    for (int i = 0; i < 100; ++i) {
        code += QStringLiteral("dddddd|");
        expected += QStringLiteral("2001年3月29日|");
    }
    QString out = QStringLiteral("<");
    formatDateInto(out, afternoon, code);
    EXPECT_EQ(out, expected);
    const QString longLiteral(500, u'x');
    EXPECT_EQ(Format(afternoon, QString(QStringLiteral("h") + longLiteral)), QStringLiteral("13") + longLiteral);
}

// Every day from 1900 to 2100: weekday, day of year and the week numbers of every rule against
// std::chrono's civil calendar, counted week by week rather than computed, and the ISO week
// against glibc's strftime.
TEST(DateFormat, EveryDayAgainstTheCivilCalendar)
{
    using namespace std::chrono;
    auto dayOfYear = [](sys_days day) {
        return int((day - sys_days(year_month_day(day).year() / January / 1)).count()) + 1;
    };
    // Running week numbers per rule and first day of week (1 = Sunday), started two years early:
    // by 1900 each has passed a week 1, and the first days of 1900 know the last week of 1899.
    int jan1[8] = {}, fourDays[8] = {}, fullWeek[8] = {};
    for (sys_days day = sys_days(year(1898) / January / 1);
         day <= sys_days(year(2100) / December / 31); day += days(1)) {
        const year_month_day ymd(day);
        const int y = int(ymd.year());
        const int wd = int(weekday(day).c_encoding()) + 1;
        const int yday = dayOfYear(day);
        for (int firstDay = 1; firstDay <= 7; ++firstDay) {
            if (yday == 1)
                jan1[firstDay] = 1; // a week begins on 1 January ...
            else if (wd == firstDay)
                ++jan1[firstDay]; // ... and on every first day of the week
            if (wd == firstDay) {
                // Week 1 is the first to have its fourth day, or its first, in the year's first
                // seven days.
                fourDays[firstDay] = dayOfYear(day + days(3)) <= 7 ? 1 : fourDays[firstDay] + 1;
                fullWeek[firstDay] = yday <= 7 ? 1 : fullWeek[firstDay] + 1;
            }
        }
        if (y < 1900)
            continue;

        const DateValue value(y, unsigned(ymd.month()), unsigned(ymd.day()));
        const std::string date = utf8(Format(value, u"yyyy-mm-dd"));
        ASSERT_EQ(value.weekday(), wd) << date;
        ASSERT_EQ(Format(value, u"y"), QString::number(yday)) << date;
        for (int firstDay = 1; firstDay <= 7; ++firstDay) {
            ASSERT_EQ(Format(value, u"w|ww", firstDay),
                      QString::number((wd - firstDay + 7) % 7 + 1) + u'|'
                          + QString::number(jan1[firstDay]))
                << date << " first day " << firstDay;
            ASSERT_EQ(Format(value, u"ww", firstDay, vbFirstFourDays), QString::number(fourDays[firstDay]))
                << date << " first day " << firstDay;
            ASSERT_EQ(Format(value, u"ww", firstDay, vbFirstFullWeek), QString::number(fullWeek[firstDay]))
                << date << " first day " << firstDay;
        }
        std::tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = int(unsigned(ymd.month())) - 1;
        tm.tm_mday = int(unsigned(ymd.day()));
        tm.tm_wday = wd - 1;
        tm.tm_yday = yday - 1;
        char iso[4];
        std::strftime(iso, sizeof iso, "%V", &tm);
        ASSERT_EQ(Format(value, u"ww", vbMonday, vbFirstFourDays), QString::number(std::atoi(iso)))
            << date;
    }
}

TEST(DateText, Forms)
{
    struct Case {
        const char16_t* text;
        DateValue expected;
    } cases[] = {
        {u"03-29-2001", at(2001, 3, 29)},
        {u"2001/03/29", at(2001, 3, 29)},
        {u"2001-03-29", at(2001, 3, 29)},
        {u"3/29/2001", at(2001, 3, 29)},
        {u"2001/3/9", at(2001, 3, 9)},
        {u"  2001/03/29  ", at(2001, 3, 29)},
        {u"2001年3月29日", at(2001, 3, 29)},
        {u"02-29-2000", at(2000, 2, 29)},
        {u"0100-01-01", at(100, 1, 1)},
        {u"100/1/1", at(100, 1, 1)},
        {u"12-31-9999", at(9999, 12, 31)},
        {u"2001/03/29 13:05:09", afternoon},
        {u"2001/03/29 13:05", at(2001, 3, 29, 13, 5)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseDateText(c.text), c.expected) << utf8(QStringView(c.text));
}

TEST(DateText, NoDateRaisesThirteen)
{
    const char16_t* texts[] = {
        u"", u"   ", u"abc", u"2001", u"2001/03", u"03-29-01", u"99-01-01", u"0099/01/01",
        u"10000-01-01", u"02-30-2001", u"02-29-2001", u"13-01-2001", u"2001/13/01",
        u"2001/00/10", u"2001/01/00", u"2001-03/29", u"2001/03/29x", u"2001/03/29 13",
        u"2001/03/29 24:00", u"2001/03/29 12:60", u"2001/03/29 12:00:60", u"２００１/03/29",
        u"-2001/03/29", u"2001年3月29", u"001/03/29",
    };
    for (const char16_t* t : texts)
        EXPECT_EQ(errorOf([t] { parseDateText(t); }), TypeMismatch) << utf8(QStringView(t));
}

TEST(DateText, FormatReadsTheTextFirst)
{
    // The moon age reads today's text this way.
    const QString today = QStringLiteral("03-29-2001");
    EXPECT_EQ(Format(today, u"yyyy"), u"2001");
    EXPECT_EQ(Format(today, u"m"), u"3");
    EXPECT_EQ(Format(today, u"d"), u"29");
    EXPECT_EQ(Format(QStringLiteral("2019/05/01"), u"ggg e"), u"令和 1");
    EXPECT_EQ(errorOf([] { Format(QStringLiteral("no date"), u"d"); }), TypeMismatch);
}
