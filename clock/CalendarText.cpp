#include "clock/CalendarText.h"

#include "clock/ClockText.h"
#include "engine/Holidays.h"

#include "runtime/DateFormat.h"

#include <iterator>
#include <vector>

namespace clk {

namespace {

// How a cell stands out; today combines with the colour of its weekday.
enum Tone : unsigned {
    Red = 1,   // Sundays and holidays
    Blue = 2,  // Saturdays
    Today = 4,
};

// A run of text in one tone. The layout is a list of lines of runs, which each style writes in
// its own way, so that the terminal and the tooltip cannot drift apart.
struct Run {
    QString text;
    unsigned tone = 0;
};
using Line = std::vector<Run>;

constexpr int kGridWidth = 20;                     // seven columns of two cells, a space between

// Code points that a terminal draws two cells wide: the East Asian wide and full-width blocks
// that Japanese text uses, Hangul, and the emoji blocks.
constexpr char32_t kWide[][2] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
};

int cellsOf(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return 0;
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format: // joiners and other invisible marks
        return 0;
    default:
        break;
    }
    for (const auto& range : kWide)
        if (c >= range[0] && c <= range[1])
            return 2;
    return 1;
}

QString weekdayName(int weekday) // [1, 7]
{
    return QString(zp::weekdayKanji(weekday));
}

unsigned toneOf(int weekday, bool holiday)
{
    switch (zp::dayTone(weekday, holiday)) {
    case zp::DayTone::Red:
        return Red;
    case zp::DayTone::Blue:
        return Blue;
    case zp::DayTone::Plain:
        break;
    }
    return 0;
}

// "9日", "1日、31日", or "なし" for a month without such a day
QString dayList(const std::vector<int>& days)
{
    QStringList texts;
    for (const int day : days)
        texts << QString::number(day) + u'日';
    return texts.isEmpty() ? QStringLiteral("なし") : texts.join(u'、');
}

std::vector<Line> layout(const zp::MonthCalendar& calendar, const std::optional<vb::DateValue>& today)
{
    std::vector<Line> lines;
    // Centred over the grid as cal centres it, the odd cell to the right; a longer title (two
    // eras) starts at the left edge.
    const int titleWidth = displayWidth(calendar.title);
    const int indent = titleWidth < kGridWidth ? (kGridWidth - titleWidth) / 2 : 0;
    lines.push_back({{QString(indent, u' ')}, {calendar.title}});

    Line weekdays;
    for (int weekday = 1; weekday <= 7; ++weekday) {
        if (weekday > 1)
            weekdays.push_back({QStringLiteral(" ")});
        weekdays.push_back({weekdayName(weekday), toneOf(weekday, false)});
    }
    lines.push_back(std::move(weekdays));

    const bool todayShown = today && today->year() == calendar.year && today->month() == calendar.month;
    Line week;
    for (const zp::CalendarDay& day : calendar.days) {
        if (week.empty() && day.weekday > 1)
            week.push_back({QString(3 * (day.weekday - 1), u' ')}); // [3, 18]
        else if (!week.empty() && day.weekday > 1)
            week.push_back({QStringLiteral(" ")});
        const unsigned tone = toneOf(day.weekday, !day.holiday.isEmpty()) | (todayShown && today->day() == day.day ? Today : 0u);
        week.push_back({QString::number(day.day).rightJustified(2, u' '), tone});
        if (day.weekday == 7) {
            lines.push_back(std::move(week));
            week.clear();
        }
    }
    if (!week.empty())
        lines.push_back(std::move(week));

    std::vector<Line> holidays;
    if (calendar.year < zp::kFirstHolidayYear || calendar.year > zp::kLastHolidayYear) {
        holidays.push_back({{QStringLiteral("祝日のデータは%1年から%2年までです")
                                 .arg(zp::kFirstHolidayYear)
                                 .arg(zp::kLastHolidayYear)}});
    }
    for (const zp::CalendarDay& day : calendar.days) {
        if (!day.holiday.isEmpty())
            holidays.push_back({{QString::number(day.day).rightJustified(2, u' ') + u'日' + u'('
                                 + weekdayName(day.weekday) + QStringLiteral(") ") + day.holiday}});
    }
    if (!holidays.empty()) {
        lines.push_back({});
        lines.insert(lines.end(), std::make_move_iterator(holidays.begin()), std::make_move_iterator(holidays.end()));
    }

    lines.push_back({});
    lines.push_back({{QStringLiteral("新月 ") + dayList(zp::daysWithMoonAge(calendar, zp::kNewMoonAge))}});
    lines.push_back({{QStringLiteral("満月 ") + dayList(zp::daysWithMoonAge(calendar, zp::kFullMoonAge))}});
    return lines;
}

QString sgr(const Run& run)
{
    if (run.tone == 0)
        return run.text;
    QStringList codes;
    if (run.tone & Red)
        codes << QStringLiteral("31");
    if (run.tone & Blue)
        codes << QStringLiteral("34");
    if (run.tone & Today)
        codes << QStringLiteral("7");
    return QStringLiteral("\x1b[") + codes.join(u';') + u'm' + run.text + QStringLiteral("\x1b[0m");
}

QString markup(const Run& run)
{
    QString text = markupEscaped(run.text, false);
    if (run.tone & Today)
        text = QStringLiteral("<b>") + text + QStringLiteral("</b>");
    if (run.tone & (Red | Blue))
        text = QStringLiteral("<span foreground=\"%1\">%2</span>")
                   .arg(QString::fromUtf16(run.tone & Red ? zp::kRedRgb : zp::kBlueRgb), text);
    return text;
}

} // namespace

int displayWidth(QStringView text)
{
    int cells = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        cells += cellsOf(pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode());
        i += pair;
    }
    return cells;
}

QString calendarText(const zp::MonthCalendar& calendar, const std::optional<vb::DateValue>& today,
                     CalendarStyle style)
{
    QStringList texts;
    for (const Line& line : layout(calendar, today)) {
        QString text;
        for (const Run& run : line)
            text += style == CalendarStyle::Sgr ? sgr(run) : style == CalendarStyle::Markup ? markup(run) : run.text;
        texts << text;
    }
    // lang="ja" makes fontconfig take a monospace font whose kanji are two Latin cells wide
    // (IPAGothic, Noto Sans Mono CJK); the plain monospace (DejaVu Sans Mono) falls back to
    // another font for them, and the weekday row no longer lines up with the days.
    if (style == CalendarStyle::Markup)
        return QStringLiteral("<span font_family=\"monospace\" lang=\"ja\">") + texts.join(u'\n')
            + QStringLiteral("</span>");
    return texts.join(u'\n') + u'\n';
}

QString holidayLines(int year)
{
    QString lines;
    for (const zp::Holiday& holiday : zp::holidaysOf(year))
        lines += vb::Format(holiday.date, u"yyyy-mm-dd") + u'\t' + holiday.name + u'\n';
    return lines;
}

QString CalendarTooltip::operator()(const vb::DateValue& instant)
{
    const vb::DateValue date(instant.year(), instant.month(), instant.day());
    if (date_ != date) {
        markup_ = calendarText(zp::monthCalendar(date.year(), date.month()), date, CalendarStyle::Markup);
        date_ = date;
    }
    return markup_;
}

} // namespace clk
