#include "clock/ClockOptions.h"

#include "engine/Holidays.h"

#include "runtime/Program.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace clk {

namespace {

// The value of `count` ASCII digits at `at`, or -1 when any of them is not a digit.
int digits(QStringView text, qsizetype at, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = text[at + i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// Qt's parser words its errors as sentences; a usage line reads better without the stop, and
// must stay one line even when several problems are joined.
QString oneLine(QString message)
{
    message.replace(u'\n', QStringLiteral("; "));
    if (message.endsWith(u'.'))
        message.chop(1);
    return message;
}

// Digits, a dash, digits: what --calendar takes as its month when it comes next, to be read
// (or refused) as YYYY-MM.
bool looksLikeMonth(QStringView text)
{
    const qsizetype dash = text.indexOf(u'-');
    if (dash <= 0 || dash == text.size() - 1)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (i != dash && (text[i] < u'0' || text[i] > u'9'))
            return false;
    return true;
}

// QCommandLineParser has no options with optional values: the month of --calendar, as the next
// argument or after "=", is taken out before it parses. The values of the options that take one
// are skipped, so that "--format --calendar" stays a format.
QStringList takeCalendarMonth(QStringList arguments, const QList<QCommandLineOption>& options,
                              std::optional<QString>& month)
{
    const auto takesValue = [&](const QString& argument) {
        for (const QCommandLineOption& option : options)
            if (!option.valueName().isEmpty() && argument.startsWith(u"--") && option.names().contains(argument.mid(2)))
                return true;
        return false;
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString argument = arguments[i];
        if (argument == u"--")
            break;
        if (takesValue(argument)) {
            ++i;
        } else if (argument.startsWith(u"--calendar=")) {
            month = argument.mid(11);
            arguments[i] = QStringLiteral("--calendar");
        } else if (argument == u"--calendar" && i + 1 < arguments.size() && looksLikeMonth(arguments[i + 1])) {
            month = arguments.takeAt(i + 1);
        }
    }
    return arguments;
}

} // namespace

std::optional<YearMonth> parseYearMonth(QStringView text)
{
    // 0123456
    // YYYY-MM
    if (text.size() != 7 || text[4] != u'-')
        return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    if (year < 100 || month < 1 || month > 12) // a digit that is none reads -1
        return std::nullopt;
    return YearMonth{year, month};
}

std::optional<vb::DateValue> parseInstant(QStringView text)
{
    // 0123456789012345678
    // YYYY-MM-DDTHH:MM:SS
    if (text.size() != 16 && text.size() != 19)
        return std::nullopt;
    if (text[4] != u'-' || text[7] != u'-' || (text[10] != u'T' && text[10] != u' ')
        || text[13] != u':' || (text.size() == 19 && text[16] != u':'))
        return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = text.size() == 19 ? digits(text, 17, 2) : 0;
    // A digit that is none reads -1, which no range admits.
    if (!vb::isValidDateTime(year, month, day, hour, minute, second))
        return std::nullopt;
    return vb::DateValue(year, month, day, hour, minute, second);
}

QString versionLine()
{
    return QString::fromUtf16(kProgramName) + u' ' + vb::programVersionText();
}

ParsedCommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows the Tamo clock format expanded: once, or as a running clock for status bars.\n"
        "Without --format it shows the stored format when it is enabled, else %h:nn%."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("Expand TEXT instead of the stored format."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption at(
        QStringLiteral("at"),
        QStringLiteral("Use the local instant WHEN (YYYY-MM-DD HH:MM[:SS], or with T) instead of "
                       "the clock; with --follow the clock stands still."),
        QStringLiteral("WHEN"));
    const QCommandLineOption timeKey(QStringLiteral("time-key"),
                                     QStringLiteral("Print the time key on a second line."));
    const QCommandLineOption tooltip(
        QStringLiteral("tooltip"),
        QStringLiteral("Expand TEXT too, at the same instant, as the tooltip of --json."),
        QStringLiteral("TEXT"));
    const QCommandLineOption json(
        QStringLiteral("json"),
        QStringLiteral("Print {\"text\": \"...\", \"tooltip\": \"...\"} lines for waybar, the "
                       "texts escaped as Pango markup."));
    const QCommandLineOption pango(
        QStringLiteral("pango"),
        QStringLiteral("Print the line escaped as Pango markup, | as &#124; (XFCE's generic "
                       "monitor, Argos, i3blocks with markup=pango)."));
    const QCommandLineOption follow(
        QStringLiteral("follow"),
        QStringLiteral("Keep running: print a line whenever the text (or the tooltip of --json) "
                       "changes, reload when the settings change or TamoZP asks for a restart."));
    const QCommandLineOption calendarTooltip(
        QStringLiteral("calendar-tooltip"),
        QStringLiteral("With --json: this month's calendar, holidays and moon as the tooltip, "
                       "instead of --tooltip."));
    const QCommandLineOption calendar(
        QStringLiteral("calendar"),
        QStringLiteral("Show a month's calendar with its holidays and moon: the month YYYY-MM "
                       "given next (or as --calendar=YYYY-MM), else the month of --at, else "
                       "this month. Takes --at only."));
    const QCommandLineOption holidays(
        QStringLiteral("holidays"),
        QStringLiteral("Print the national holidays of YEAR (1948 to 2099), one a line: "
                       "YYYY-MM-DD, a tab, the name."),
        QStringLiteral("YEAR"));
    const QList<QCommandLineOption> all{help, version, format, tooltip,         at,       timeKey,
                                        json, pango,   follow, calendarTooltip, calendar, holidays};
    parser.addOptions(all);

    ParsedCommandLine result;
    auto usageError = [&](const QString& what) {
        result.command = Command::UsageError;
        result.usageError = oneLine(what);
        return result;
    };

    std::optional<QString> month;
    if (!parser.parse(takeCalendarMonth(arguments, all, month)))
        return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'")
                              .arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help)) {
        result.command = Command::Help;
        // Qt names the program by the path it was started with; the usage line names it plainly.
        QString text = parser.helpText();
        text.remove(0, text.indexOf(u'\n') + 1);
        result.helpText = QStringLiteral("Usage: tamo-clock [--format TEXT] [--tooltip TEXT | --calendar-tooltip] "
                                         "[--at WHEN] [--time-key] [--json | --pango] [--follow]\n"
                                         "       tamo-clock --calendar [YYYY-MM] [--at WHEN]\n"
                                         "       tamo-clock --holidays YEAR\n")
            + text;
        result.helpText += QStringLiteral("\nThe format language: man 5 tamo-format.\n");
        return result;
    }
    if (parser.isSet(version)) {
        result.command = Command::Version;
        return result;
    }

    // The first option besides `self` and --at (when `at` allows it) that is set, or nullptr.
    const auto otherThan = [&](const QCommandLineOption& self, bool allowAt) -> const QCommandLineOption* {
        for (const QCommandLineOption& option : all)
            if (option.names() != self.names() && !(allowAt && option.names() == at.names()) && parser.isSet(option))
                return &option;
        return nullptr;
    };
    if (parser.isSet(holidays)) {
        if (const QCommandLineOption* other = otherThan(holidays, false))
            return usageError(QStringLiteral("--%1 cannot be used with --holidays").arg(other->names().constLast()));
        const QString year = parser.value(holidays);
        const bool number = !year.isEmpty() && year.size() <= 4 && digits(year, 0, int(year.size())) >= 0;
        result.holidaysYear = number ? year.toInt() : 0;
        if (result.holidaysYear < zp::kFirstHolidayYear || result.holidaysYear > zp::kLastHolidayYear)
            return usageError(QStringLiteral("'%1' is no year with holidays: give a year from %2 to %3")
                                  .arg(year)
                                  .arg(zp::kFirstHolidayYear)
                                  .arg(zp::kLastHolidayYear));
        result.command = Command::Holidays;
        return result;
    }
    if (parser.isSet(calendar)) {
        if (const QCommandLineOption* other = otherThan(calendar, true))
            return usageError(QStringLiteral("--%1 cannot be used with --calendar").arg(other->names().constLast()));
        if (month) {
            result.month = parseYearMonth(*month);
            if (!result.month)
                return usageError(QStringLiteral("'%1' is no month: give YYYY-MM, years 100 to 9999").arg(*month));
        }
        result.command = Command::Calendar;
    }

    ClockOptions& options = result.options;
    if (parser.isSet(format))
        options.format = parser.value(format);
    if (parser.isSet(at)) {
        const QString when = parser.value(at);
        options.at = parseInstant(when);
        if (!options.at)
            return usageError(QStringLiteral("'%1' is no instant: give YYYY-MM-DD HH:MM[:SS] "
                                             "(or YYYY-MM-DDTHH:MM[:SS]), years 100 to 9999")
                                  .arg(when));
    }
    if (parser.isSet(tooltip))
        options.tooltip = parser.value(tooltip);
    options.timeKey = parser.isSet(timeKey);
    options.follow = parser.isSet(follow);
    if (options.follow && options.timeKey)
        return usageError(QStringLiteral("--time-key cannot be used with --follow"));
    if (parser.isSet(json) && parser.isSet(pango))
        return usageError(QStringLiteral("--pango cannot be used with --json, whose texts are markup already"));
    options.form = parser.isSet(json) ? LineForm::Json : parser.isSet(pango) ? LineForm::Pango : LineForm::Plain;
    options.calendarTooltip = parser.isSet(calendarTooltip);
    if (options.calendarTooltip && options.form != LineForm::Json)
        return usageError(QStringLiteral("--calendar-tooltip needs --json, whose tooltip it is"));
    return result;
}

} // namespace clk
