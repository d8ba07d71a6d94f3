#include "runtime/DateFormat.h"

#include "runtime/Error.h"
#include "runtime/JapaneseEra.h"

#include <cstring>

namespace vb {

namespace {

// ---------------------------------------------------------------------------------------------
// Reading a code. One pass, one switch on the code letter; the reader hands each field and each
// literal run to a handler, so that formatting and the questions about a code (does it print
// seconds, does it ask for the 12-hour clock) share one reading.

enum class Field : quint8 {
    TimeSep, DateSep,
    Day, Day2, DayAbbr, DayName, ShortDate, LongDate,
    Weekday, WeekOfYear, WeekdayJa, WeekdayJaLong,
    Month, Month2, MonthAbbr, MonthName, MonthJa,
    Quarter, DayOfYear, Year2, Year4,
    Hour, Hour2, Minute, Minute2, Second, Second2,
    Time, General,
    AmPm, AP, AmPmJa,
    EraInitial, EraKanji, EraName, EraYear, EraYear2,
};

constexpr char16_t lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

// The number of letters equal to `c` (either case) from p on, at most `most`.
int run(const char16_t* p, const char16_t* end, char16_t c, int most)
{
    int n = 0;
    while (n < most && p + n < end && lower(p[n]) == c)
        ++n;
    return n;
}

// Whether the text at p starts with `word` (lower case), in either case.
template <std::size_t N>
bool startsWith(const char16_t* p, const char16_t* end, const char16_t (&word)[N])
{
    if (end - p < qsizetype(N - 1))
        return false;
    for (std::size_t i = 0; i + 1 < N; ++i) {
        if (lower(p[i]) != word[i])
            return false;
    }
    return true;
}

constexpr Field dayFields[] = {Field::Day,     Field::Day2,      Field::DayAbbr,
                               Field::DayName, Field::ShortDate, Field::LongDate};
constexpr Field eraFields[] = {Field::EraInitial, Field::EraKanji, Field::EraName};

// Handler: void literal(QStringView text); void field(Field, const char16_t* at, QStringView rest)
// where `at` is the code's own text (its letters' case matters for AM/PM) and `rest` the code
// after it.
template <class Handler>
void readDateCode(QStringView code, Handler& handler)
{
    const char16_t* p = code.utf16();
    const char16_t* const end = p + code.size();
    const char16_t* literalRun = p; // plain characters pending since here
    bool afterHour = false;         // an h or hh with no d code and no minute since

    while (p < end) {
        Field field;
        int length = 1;
        switch (lower(*p)) {
        case u':': field = Field::TimeSep; break;
        case u'/': field = Field::DateSep; break;
        case u'c': field = Field::General; break;
        case u'q': field = Field::Quarter; break;
        case u'd':
            length = run(p, end, u'd', 6);
            field = dayFields[length - 1];
            afterHour = false;
            break;
        case u'w':
            length = run(p, end, u'w', 2);
            field = length == 2 ? Field::WeekOfYear : Field::Weekday;
            break;
        case u'm':
            length = run(p, end, u'm', 4);
            if (length >= 3) {
                field = length == 4 ? Field::MonthName : Field::MonthAbbr;
            } else if (afterHour) {
                field = length == 2 ? Field::Minute2 : Field::Minute;
                afterHour = false;
            } else {
                field = length == 2 ? Field::Month2 : Field::Month;
            }
            break;
        case u'o':
            if (run(p, end, u'o', 4) < 4)
                goto plain;
            field = Field::MonthJa;
            length = 4;
            break;
        case u'y':
            length = run(p, end, u'y', 4);
            if (length == 3)
                length = 2;
            field = length == 4 ? Field::Year4 : length == 2 ? Field::Year2 : Field::DayOfYear;
            break;
        case u'h':
            length = run(p, end, u'h', 2);
            field = length == 2 ? Field::Hour2 : Field::Hour;
            afterHour = true;
            break;
        case u'n':
            length = run(p, end, u'n', 2);
            field = length == 2 ? Field::Minute2 : Field::Minute;
            break;
        case u's':
            length = run(p, end, u's', 2);
            field = length == 2 ? Field::Second2 : Field::Second;
            break;
        case u't':
            if (run(p, end, u't', 5) < 5)
                goto plain;
            field = Field::Time;
            length = 5;
            break;
        case u'e':
            length = run(p, end, u'e', 2);
            field = length == 2 ? Field::EraYear2 : Field::EraYear;
            break;
        case u'g':
            length = run(p, end, u'g', 3);
            field = eraFields[length - 1];
            break;
        case u'a':
            // One a or two are literals; each position is read afresh, so "aa/p" is a, then a/p.
            if (startsWith(p, end, u"am/pm")) {
                field = Field::AmPm;
                length = 5;
            } else if (startsWith(p, end, u"ampm")) {
                field = Field::AmPmJa;
                length = 4;
            } else if (startsWith(p, end, u"a/p")) {
                field = Field::AP;
                length = 3;
            } else if ((length = run(p, end, u'a', 4)) >= 3) {
                field = length == 4 ? Field::WeekdayJaLong : Field::WeekdayJa;
            } else {
                goto plain;
            }
            break;
        case u'"': {
            if (p > literalRun)
                handler.literal(QStringView(literalRun, p));
            const char16_t* close = p + 1;
            while (close < end && *close != u'"')
                ++close;
            if (close > p + 1)
                handler.literal(QStringView(p + 1, close));
            p = close < end ? close + 1 : end; // an unclosed quote runs to the end
            literalRun = p;
            continue;
        }
        case u'\\':
            if (p > literalRun)
                handler.literal(QStringView(literalRun, p));
            if (p + 1 < end)
                handler.literal(QStringView(p + 1, 1));
            p = p + 1 < end ? p + 2 : end; // a backslash at the very end prints nothing
            literalRun = p;
            continue;
        default:
        plain:
            ++p;
            continue;
        }
        if (p > literalRun)
            handler.literal(QStringView(literalRun, p));
        handler.field(field, p, QStringView(p + length, end));
        p += length;
        literalRun = p;
    }
    if (end > literalRun)
        handler.literal(QStringView(literalRun, end));
}

// Answers one question about a code: does it hold one of the fields a predicate accepts.
template <class Predicate>
struct FieldFinder {
    Predicate accepts;
    bool found = false;
    void literal(QStringView) { }
    void field(Field f, const char16_t*, QStringView)
    {
        found = found || accepts(f);
    }
};

template <class Predicate>
bool holdsField(QStringView code, Predicate accepts)
{
    FieldFinder<Predicate> finder{accepts};
    readDateCode(code, finder);
    return finder.found;
}

bool isDesignator(Field f)
{
    return f == Field::AmPm || f == Field::AP || f == Field::AmPmJa;
}

bool isSecondsField(Field f)
{
    return f == Field::Second || f == Field::Second2 || f == Field::Time || f == Field::General;
}

// ---------------------------------------------------------------------------------------------
// Writing. The fields go into a stack buffer that is appended to the caller's string in one go,
// so that a short result costs one allocation at most.

class Sink {
public:
    explicit Sink(QString& out) : out_(out) { }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
    ~Sink() { flush(); }

    void put(char16_t c)
    {
        if (size_ == Capacity)
            flush();
        buffer_[size_++] = c;
    }
    void put(QStringView text)
    {
        const qsizetype n = text.size();
        if (n > Capacity - size_) {
            flush();
            if (n > Capacity) {
                out_.append(text);
                return;
            }
        }
        std::memcpy(buffer_ + size_, text.utf16(), sizeof(char16_t) * n);
        size_ += n;
    }
    void putTwoDigits(int v) // [0, 99]
    {
        put(char16_t(u'0' + v / 10));
        put(char16_t(u'0' + v % 10));
    }
    // At least `width` digits, a minus sign before them when negative.
    void putNumber(int v, int width = 1)
    {
        char16_t digits[12];
        int n = 0;
        unsigned magnitude = v < 0 ? 0u - unsigned(v) : unsigned(v);
        do {
            digits[n++] = char16_t(u'0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (v < 0)
            put(u'-');
        for (int i = n; i < width; ++i)
            put(u'0');
        while (n > 0)
            put(digits[--n]);
    }
    void flush()
    {
        if (size_ > 0)
            out_.append(QStringView(buffer_, size_));
        size_ = 0;
    }

private:
    static constexpr qsizetype Capacity = 96;
    QString& out_;
    char16_t buffer_[Capacity];
    qsizetype size_ = 0;
};

struct WeekRule {
    int firstDay;  // [1, 7], 1 = Sunday
    int firstWeek; // [1, 3]
};

WeekRule checkedWeekRule(int firstDayOfWeek, int firstWeekOfYear)
{
    if (firstDayOfWeek < vbUseSystemDayOfWeek || firstDayOfWeek > vbSaturday
        || firstWeekOfYear < vbUseSystem || firstWeekOfYear > vbFirstFullWeek)
        raiseError(InvalidArgument);
    // The system's settings on a Japanese-language system.
    return {firstDayOfWeek == vbUseSystemDayOfWeek ? int(vbSunday) : firstDayOfWeek,
            firstWeekOfYear == vbUseSystem ? int(vbFirstJan1) : firstWeekOfYear};
}

// The first day of the year's first week under the rule.
qint64 firstWeekStart(int year, const WeekRule& rule)
{
    const qint64 jan1 = daysFromCivil(year, 1, 1);
    const int intoWeek = (weekdayOfDays(jan1) - rule.firstDay + 7) % 7; // [0, 6]
    switch (rule.firstWeek) {
    case vbFirstFourDays: // the week holding the year's fourth day holds at least four of its days
        return jan1 + 3 - (weekdayOfDays(jan1 + 3) - rule.firstDay + 7) % 7;
    case vbFirstFullWeek:
        return intoWeek == 0 ? jan1 : jan1 + 7 - intoWeek;
    default:
        return jan1 - intoWeek;
    }
}

int weekOfYear(const DateValue& value, const WeekRule& rule)
{
    const qint64 days = value.daysSinceEpoch();
    const qint64 weekStart = days - (weekdayOfDays(days) - rule.firstDay + 7) % 7;
    int year = value.year();
    // Early days may belong to the last week of the year before; under the four-day rule late
    // days may belong to the first week of the next.
    if (rule.firstWeek == vbFirstFourDays && weekStart >= firstWeekStart(year + 1, rule))
        ++year;
    else if (weekStart < firstWeekStart(year, rule))
        --year;
    return int((weekStart - firstWeekStart(year, rule)) / 7) + 1; // [1, 54]
}

constexpr const char16_t* englishDays[] = {u"Sunday", u"Monday", u"Tuesday", u"Wednesday",
                                           u"Thursday", u"Friday", u"Saturday"};
constexpr const char16_t* englishMonths[] = {u"January", u"February", u"March", u"April",
                                             u"May", u"June", u"July", u"August",
                                             u"September", u"October", u"November", u"December"};
constexpr char16_t japaneseDays[] = u"日月火水木金土";

bool formatCode(Sink& out, const DateValue& value, QStringView code, const WeekRule& rule);

class Formatter {
public:
    Formatter(Sink& out, const DateValue& value, const WeekRule& rule)
        : out_(out), value_(value), rule_(rule) { }

    bool printedSeconds() const { return seconds_; }

    void literal(QStringView text) { out_.put(text); }

    void field(Field f, const char16_t* at, QStringView rest)
    {
        const DateValue& v = value_;
        switch (f) {
        case Field::TimeSep: out_.put(u':'); return;
        case Field::DateSep: out_.put(u'/'); return;
        case Field::Day: out_.putNumber(v.day()); return;
        case Field::Day2: out_.putTwoDigits(v.day()); return;
        case Field::DayAbbr: out_.put(QStringView(englishDays[v.weekday() - 1]).left(3)); return;
        case Field::DayName: out_.put(QStringView(englishDays[v.weekday() - 1])); return;
        case Field::ShortDate: expand(u"yyyy/mm/dd"); return;
        case Field::LongDate: expand(u"yyyy年m月d日"); return;
        case Field::Weekday: out_.putNumber((v.weekday() - rule_.firstDay + 7) % 7 + 1); return;
        case Field::WeekOfYear: out_.putNumber(weekOfYear(v, rule_)); return;
        case Field::WeekdayJa: out_.put(japaneseDays[v.weekday() - 1]); return;
        case Field::WeekdayJaLong:
            out_.put(japaneseDays[v.weekday() - 1]);
            out_.put(u"曜日");
            return;
        case Field::Month: out_.putNumber(v.month()); return;
        case Field::Month2: out_.putTwoDigits(v.month()); return;
        case Field::MonthAbbr: out_.put(QStringView(englishMonths[v.month() - 1]).left(3)); return;
        case Field::MonthName: out_.put(QStringView(englishMonths[v.month() - 1])); return;
        case Field::MonthJa:
            out_.putNumber(v.month());
            out_.put(u'月');
            return;
        case Field::Quarter: out_.putNumber((v.month() - 1) / 3 + 1); return;
        case Field::DayOfYear: out_.putNumber(v.dayOfYear()); return;
        case Field::Year2: out_.putTwoDigits(v.year() % 100); return;
        case Field::Year4: out_.putNumber(v.year(), 4); return;
        case Field::Hour: out_.putNumber(hour(rest)); return;
        case Field::Hour2: out_.putTwoDigits(hour(rest)); return;
        case Field::Minute: out_.putNumber(v.minute()); return;
        case Field::Minute2: out_.putTwoDigits(v.minute()); return;
        case Field::Second:
            out_.putNumber(v.second());
            seconds_ = true;
            return;
        case Field::Second2:
            out_.putTwoDigits(v.second());
            seconds_ = true;
            return;
        case Field::Time: expand(u"h:nn:ss"); return;
        case Field::General:
            // Every value here is a real date, so the date always shows; at midnight alone.
            expand(u"ddddd");
            if (!v.isMidnight()) {
                out_.put(u' ');
                expand(u"ttttt");
            }
            return;
        case Field::AmPm: // the letters as written: Am/pM gives Am or pM
            out_.put(at[v.hour() < 12 ? 0 : 3]);
            out_.put(at[v.hour() < 12 ? 1 : 4]);
            twelveHour_ = Yes;
            return;
        case Field::AP:
            out_.put(at[v.hour() < 12 ? 0 : 2]);
            twelveHour_ = Yes;
            return;
        case Field::AmPmJa:
            out_.put(v.hour() < 12 ? QStringView(u"午前") : QStringView(u"午後"));
            twelveHour_ = Yes;
            return;
        case Field::EraInitial:
        case Field::EraKanji:
        case Field::EraName:
        case Field::EraYear:
        case Field::EraYear2: {
            const detail::EraReading era = detail::japaneseEra(v.year(), v.month(), v.day());
            if (f == Field::EraYear || f == Field::EraYear2)
                out_.putNumber(era.year, f == Field::EraYear2 ? 2 : 1);
            else if (era.era)
                out_.put(f == Field::EraName ? era.era->name
                         : f == Field::EraKanji ? era.era->kanji : era.era->initial);
            return;
        }
        }
    }

private:
    enum Clock : quint8 { Unknown, Yes, No };

    // A designator anywhere in the code switches every hour of it to the 12-hour clock; one
    // before the first hour is already known, one after it is looked for once.
    int hour(QStringView rest)
    {
        if (twelveHour_ == Unknown)
            twelveHour_ = holdsField(rest, isDesignator) ? Yes : No;
        const int h = value_.hour();
        if (twelveHour_ == No)
            return h;
        return h % 12 == 0 ? 12 : h % 12; // [1, 12]
    }

    // Compound codes are written as codes and read by the formatter itself.
    void expand(QStringView code)
    {
        seconds_ = formatCode(out_, value_, code, rule_) || seconds_;
    }

    Sink& out_;
    const DateValue& value_;
    WeekRule rule_;
    Clock twelveHour_ = Unknown;
    bool seconds_ = false;
};

bool formatCode(Sink& out, const DateValue& value, QStringView code, const WeekRule& rule)
{
    Formatter formatter(out, value, rule);
    readDateCode(code.isEmpty() ? QStringView(u"c") : code, formatter);
    return formatter.printedSeconds();
}

} // namespace

bool formatDateInto(QString& out, const DateValue& value, QStringView code, int firstDayOfWeek,
                    int firstWeekOfYear)
{
    const WeekRule rule = checkedWeekRule(firstDayOfWeek, firstWeekOfYear);
    Sink sink(out);
    return formatCode(sink, value, code, rule);
}

QString Format(const DateValue& value, QStringView code, int firstDayOfWeek, int firstWeekOfYear)
{
    QString out;
    formatDateInto(out, value, code, firstDayOfWeek, firstWeekOfYear);
    return out;
}

QString Format(const QString& dateText, QStringView code, int firstDayOfWeek, int firstWeekOfYear)
{
    return Format(parseDateText(dateText), code, firstDayOfWeek, firstWeekOfYear);
}

bool hasSecondsField(QStringView code)
{
    if (code.isEmpty())
        return true;
    // Every seconds field starts with s, t (ttttt) or c: a code without them, such as most
    // tokens of a clock format, needs no full reading. The expander asks this for every token.
    for (const QChar c : code) {
        const char16_t l = lower(c.unicode());
        if (l == u's' || l == u't' || l == u'c')
            return holdsField(code, isSecondsField);
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Reading a date text.

namespace {

class TextReader {
public:
    explicit TextReader(QStringView text) : p_(text.utf16()), end_(p_ + text.size()) { }

    bool atEnd() const { return p_ == end_; }
    char16_t peek() const { return p_ < end_ ? *p_ : char16_t(0); }
    bool take(char16_t c)
    {
        if (peek() != c)
            return false;
        ++p_;
        return true;
    }
    void skipSpaces()
    {
        while (p_ < end_ && *p_ == u' ')
            ++p_;
    }
    // A run of 1 to `most` ASCII digits; `digits` tells how many there were (0: none).
    int number(int most, int& digits)
    {
        int v = 0;
        digits = 0;
        while (digits < most && p_ < end_ && *p_ >= u'0' && *p_ <= u'9') {
            v = v * 10 + (*p_ - u'0');
            ++digits;
            ++p_;
        }
        if (digits == most && p_ < end_ && *p_ >= u'0' && *p_ <= u'9')
            digits = 0; // too many digits
        return v;
    }

private:
    const char16_t* p_;
    const char16_t* end_;
};

[[noreturn]] void notADate()
{
    raiseError(TypeMismatch);
}

} // namespace

DateValue parseDateText(QStringView text)
{
    TextReader r(text);
    r.skipSpaces();
    int year = 0;
    int month = 0;
    int day = 0;
    int digits = 0;
    const int first = r.number(4, digits);
    const int firstDigits = digits;
    if (firstDigits == 0)
        notADate();

    if (firstDigits >= 3 && r.take(u'年')) {
        // yyyy年m月d日, as the long date prints it
        year = first;
        month = r.number(2, digits);
        if (digits == 0 || !r.take(u'月'))
            notADate();
        day = r.number(2, digits);
        if (digits == 0 || !r.take(u'日'))
            notADate();
    } else {
        const char16_t sep = r.peek();
        if (sep != u'-' && sep != u'/')
            notADate();
        r.take(sep);
        const int second = r.number(2, digits);
        if (digits == 0 || !r.take(sep))
            notADate();
        const int third = r.number(4, digits);
        if (digits == 0)
            notADate();
        if (firstDigits >= 3 && digits <= 2) { // yyyy-mm-dd, yyyy/mm/dd
            year = first;
            month = second;
            day = third;
        } else if (firstDigits <= 2 && digits >= 3) { // mm-dd-yyyy, mm/dd/yyyy
            month = first;
            day = second;
            year = third;
        } else {
            notADate();
        }
    }

    // An optional time of day: h:nn or h:nn:ss after a space.
    int hour = 0;
    int minute = 0;
    int second = 0;
    r.skipSpaces();
    if (!r.atEnd()) {
        hour = r.number(2, digits);
        if (digits == 0 || !r.take(u':'))
            notADate();
        minute = r.number(2, digits);
        if (digits == 0)
            notADate();
        if (r.take(u':')) {
            second = r.number(2, digits);
            if (digits == 0)
                notADate();
        }
        r.skipSpaces();
        if (!r.atEnd())
            notADate();
    }

    if (!isValidDateTime(year, month, day, hour, minute, second))
        notADate();
    return DateValue(year, month, day, hour, minute, second);
}

} // namespace vb
