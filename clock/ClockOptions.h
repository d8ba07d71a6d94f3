#pragma once
// tamo-clock, the command-line clock: it expands the plug-in's format for status bars, once
// (one-shot) or as a running host that prints a line whenever the shown text changes (--follow).
// This header is its command line: the options, the instant of --at, and the usage text.
// The clock module depends on the runtime, the engine and the stored values (zpsettings).

#include "runtime/DateValue.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace clk {

inline constexpr char16_t kProgramName[] = u"tamo-clock";
// The format shown when none is given or stored.
inline constexpr char16_t kBuiltInFormat[] = u"%h:nn%";

// How a line is written: the bare text; the text escaped for Pango markup (--pango, for
// panels that read markup); or waybar's JSON (--json), whose text and tooltip are markup too.
enum class LineForm {
    Plain,
    Pango,
    Json,
};

struct ClockOptions {
    std::optional<QString> format;      // --format: always wins over the stored one
    std::optional<QString> tooltip;     // --tooltip: a second format, shown only in JSON
    std::optional<vb::DateValue> at;    // --at: a fixed local instant instead of the clock
    bool timeKey = false;               // --time-key: the key on a second line (one-shot only)
    LineForm form = LineForm::Plain;    // --pango, --json
    bool follow = false;                // --follow: run as the host
    bool calendarTooltip = false;       // --calendar-tooltip: the month's calendar as the tooltip
};

struct YearMonth {
    int year = 0;  // [100, 9999]
    int month = 0; // [1, 12]
};

enum class Command {
    Run,
    Calendar, // --calendar: a month in the terminal
    Holidays, // --holidays: a year's holidays
    Help,
    Version,
    UsageError,
};

struct ParsedCommandLine {
    Command command = Command::Run;
    ClockOptions options;
    std::optional<YearMonth> month; // Calendar: the month given; nullopt: the month of --at or now
    int holidaysYear = 0;           // Holidays: [1948, 2099]
    QString usageError; // one line, without the program name, when command is UsageError
    QString helpText;   // when command is Help
};

// Reads the arguments (the program name first, as QCoreApplication::arguments() gives them).
ParsedCommandLine parseCommandLine(const QStringList& arguments);

// YYYY-MM, years 100 to 9999; nullopt for any other text.
std::optional<YearMonth> parseYearMonth(QStringView text);

// YYYY-MM-DD, then "T" or a space, then HH:MM or HH:MM:SS, as a local date value; nullopt when
// the text is no such instant or names no real date (years 100 to 9999).
std::optional<vb::DateValue> parseInstant(QStringView text);

// "tamo-clock 1.33.2485"
QString versionLine();

} // namespace clk
