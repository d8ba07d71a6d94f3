#include "runtime/JapaneseEra.h"

#include <unicode/calendar.h>
#include <unicode/dtfmtsym.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <memory>
#include <string_view>

namespace vb::detail {

namespace {

QString toQString(const icu::UnicodeString& s)
{
    return QString(reinterpret_cast<const QChar*>(s.getBuffer()), s.length());
}

QString firstCharacter(const QString& s)
{
    if (s.isEmpty())
        return s;
    return s.left(s.at(0).isHighSurrogate() && s.size() > 1 ? 2 : 1);
}

std::vector<Era> readEras()
{
    std::vector<Era> eras;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale("ja_JP@calendar=japanese");
    // The formatter's symbols carry the Japanese eras; DateFormatSymbols(locale) alone gives
    // the Gregorian ones.
    icu::SimpleDateFormat format(icu::UnicodeString(u"G"), locale, status);
    if (U_FAILURE(status))
        return eras;
    const icu::DateFormatSymbols* symbols = format.getDateFormatSymbols();
    int32_t wideCount = 0;
    int32_t narrowCount = 0;
    const icu::UnicodeString* wide = symbols->getEraNames(wideCount);
    const icu::UnicodeString* narrow = symbols->getNarrowEras(narrowCount);

    // Fields in UTC, so that an era's first day comes out as the date ICU holds for it.
    std::unique_ptr<icu::Calendar> calendar(
        icu::Calendar::createInstance(icu::TimeZone::getGMT()->clone(), locale, status));
    if (U_FAILURE(status) || calendar->getType() != std::string_view("japanese"))
        return eras;

    const int32_t count = std::min(wideCount, narrowCount);
    eras.reserve(count);
    for (int32_t e = 0; e < count; ++e) {
        // Year 1 of an era with no month or day set is the era's first day.
        calendar->clear();
        calendar->set(UCAL_ERA, e);
        calendar->set(UCAL_YEAR, 1);
        const int32_t year = calendar->get(UCAL_EXTENDED_YEAR, status);
        const int32_t month = calendar->get(UCAL_MONTH, status) + 1;
        const int32_t day = calendar->get(UCAL_DATE, status);
        const int32_t era = calendar->get(UCAL_ERA, status);
        if (U_FAILURE(status))
            return {};
        const qint32 start = dateKey(year, month, day);
        // An era whose start does not come after the previous one would make the lookup
        // ambiguous; ICU's data never has one, but a broken data file must not crash us.
        if (era != e || (!eras.empty() && start <= eras.back().start))
            continue;
        const QString name = toQString(wide[e]);
        eras.push_back({start, year, name, firstCharacter(name), firstCharacter(toQString(narrow[e]))});
    }
    return eras;
}

} // namespace

const std::vector<Era>& japaneseEras()
{
    static const std::vector<Era> eras = readEras(); // thread-safe, once per process
    return eras;
}

EraReading japaneseEra(int year, int month, int day)
{
    const std::vector<Era>& eras = japaneseEras();
    if (eras.empty())
        return {nullptr, year};
    const qint32 key = dateKey(year, month, day);
    // Nearly every date asked for lies in the newest era.
    const Era* era = &eras.back();
    if (key < era->start) {
        auto after = std::upper_bound(eras.begin(), eras.end(), key,
                                      [](qint32 k, const Era& e) { return k < e.start; });
        era = after == eras.begin() ? &eras.front() : &*(after - 1);
    }
    return {era, year - era->startYear + 1};
}

} // namespace vb::detail
