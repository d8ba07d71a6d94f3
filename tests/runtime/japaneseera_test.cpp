#include "runtime/DateFormat.h"
#include "runtime/JapaneseEra.h"

#include <gtest/gtest.h>

#include <unicode/calendar.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <chrono>
#include <memory>
#include <ostream>

using namespace vb;

// Failures show the text rather than its bytes.
void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

TEST(JapaneseEraTable, ReadFromIcuInOrder)
{
    const auto& eras = detail::japaneseEras();
    ASSERT_GE(eras.size(), 237u) << "ICU 72 knows 大化 to 令和";
    for (std::size_t i = 1; i < eras.size(); ++i) {
        EXPECT_LT(eras[i - 1].start, eras[i].start) << i;
        EXPECT_LE(eras[i - 1].startYear, eras[i].startYear) << i;
        EXPECT_EQ(eras[i].kanji, eras[i].name.left(1)) << i;
    }
    const std::size_t meiji = eras.size() - 5;
    const char16_t* initials[] = {u"M", u"T", u"S", u"H", u"R"};
    const char16_t* names[] = {u"明治", u"大正", u"昭和", u"平成", u"令和"};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(eras[meiji + i].initial, QStringView(initials[i]));
        EXPECT_EQ(eras[meiji + i].name, QStringView(names[i]));
    }
    EXPECT_EQ(eras.front().name, u"大化");
    EXPECT_EQ(eras.back().start, detail::dateKey(2019, 5, 1));
}

// Every day from 1500 to 2100: our era name, initial and year against ICU's formatter given the
// same calendar date.
TEST(JapaneseEraTable, EveryDayAgreesWithIcu)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale("ja_JP@calendar=japanese");
    icu::SimpleDateFormat icuFormat(icu::UnicodeString(u"GGGG|GGGGG|y"), locale, status);
    ASSERT_TRUE(U_SUCCESS(status));
    icuFormat.setTimeZone(*icu::TimeZone::getGMT());
    // Dates given as fields of ICU's own calendar, the Julian one before 1582 as ICU reckons.
    std::unique_ptr<icu::Calendar> fields(
        icu::Calendar::createInstance(icu::TimeZone::getGMT()->clone(), icu::Locale("en_US"), status));
    ASSERT_TRUE(U_SUCCESS(status));

    using namespace std::chrono;
    for (sys_days day = sys_days(year(1500) / 1 / 1); day <= sys_days(year(2100) / 12 / 31);
         day += days(1)) {
        const year_month_day ymd(day);
        const int y = int(ymd.year());
        const int m = int(unsigned(ymd.month()));
        const int d = int(unsigned(ymd.day()));
        fields->clear();
        fields->set(y, m - 1, d);
        icu::UnicodeString icuText;
        icuFormat.format(fields->getTime(status), icuText);
        ASSERT_TRUE(U_SUCCESS(status));
        QString expected(reinterpret_cast<const QChar*>(icuText.getBuffer()), icuText.length());
        // The initial is the narrow name's first character.
        const qsizetype bar = expected.indexOf(u'|');
        const qsizetype bar2 = expected.indexOf(u'|', bar + 1);
        expected = expected.left(bar + 1) + expected.mid(bar + 1, 1) + expected.mid(bar2);
        ASSERT_EQ(Format(DateValue(y, m, d, 12), u"ggg|g|e"), expected)
            << y << '-' << m << '-' << d;
    }
}
