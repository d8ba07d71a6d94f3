// Every day from 1500 to 2100: our era name, kanji, initial and year against ICU's formatter given
// the same calendar date. Earlier dates are rows of dateformat_test.

#include "runtime/DateFormat.h"
#include "support/QtPrinters.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <unicode/calendar.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <chrono>
#include <memory>

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
