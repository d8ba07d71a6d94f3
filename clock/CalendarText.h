#pragma once
// A month of the Japanese calendar as tamo-clock draws it: a grid like cal(1) under the era
// title, the month's holidays and its days of new and full moon. One layout serves three
// readers: a terminal (plain, or coloured with SGR escapes), and Pango markup for waybar's
// tooltip. Also the year's holidays as lines for --holidays. Depends on the engine (Qt Core).

#include "engine/MonthCalendar.h"

#include "runtime/DateValue.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace clk {

enum class CalendarStyle {
    Plain,  // text only
    Sgr,    // Sundays and holidays red, Saturdays blue, today reversed (a terminal)
    Markup, // Pango markup in a monospace span, lines joined with \n, no final line feed
};

// The cells a text takes in a terminal: East Asian wide and full-width characters take two,
// combining marks and control characters none, everything else one.
int displayWidth(QStringView text);

// The month's calendar; `today` is marked when it lies in the month. Plain and Sgr end each
// line with a line feed and no line with a space.
QString calendarText(const zp::MonthCalendar& calendar, const std::optional<vb::DateValue>& today,
                     CalendarStyle style);

// The year's holidays, "YYYY-MM-DD<TAB>name" and a line feed each; empty outside the years
// that have holiday data.
QString holidayLines(int year);

// The calendar of an instant's month as waybar's tooltip, with the instant's day marked.
// It is built again only when the date changes: a host asks at every wake.
class CalendarTooltip {
public:
    QString operator()(const vb::DateValue& instant);

private:
    std::optional<vb::DateValue> date_; // the midnight the markup was built for
    QString markup_;
};

} // namespace clk
