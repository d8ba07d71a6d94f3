// tamo-clock: expands the clock format once, or runs as the host with --follow; shows a month's
// calendar or a year's holidays.

#include "clock/CalendarText.h"
#include "clock/ClockOptions.h"
#include "clock/ClockText.h"
#include "clock/FollowHost.h"
#include "engine/ZPModule.h"

#include "runtime/Clock.h"
#include "runtime/Guard.h"
#include "runtime/Program.h"
#include "runtime/SettingsStore.h"

#include <QCoreApplication>

#include <unistd.h>

namespace {

using namespace clk;

int expandOnce(const vb::SettingsStore& store, const ClockOptions& options)
{
    if (options.at)
        vb::setFixedNow(*options.at);
    const QString format = displayFormat(store, options.format);
    std::optional<vb::DateValue> held;
    const auto instant = heldClock(held);
    QString timeKey;
    const QString text = zp::FromZPFToShowClk(format, timeKey, instant);
    std::optional<QString> tooltip;
    TooltipForm tooltipForm = TooltipForm::Text;
    if (options.calendarTooltip) { // JSON only
        // A clock read that fails has been reported by the text's expansion: no tooltip then.
        vb::Guard guard([](const vb::Error&) { return vb::OnError::Exit; });
        guard([&] { tooltip = CalendarTooltip()(instant()); });
        tooltipForm = TooltipForm::Markup;
    } else if (options.tooltip && options.form == LineForm::Json) {
        QString tooltipKey;
        tooltip = zp::FromZPFToShowClk(*options.tooltip, tooltipKey, instant);
    }
    QByteArray out = outputLine(text, options.form, tooltip, tooltipForm);
    if (options.timeKey)
        out += timeKey.toUtf8() + '\n';
    return writeAll(STDOUT_FILENO, out) ? 0 : 1;
}

// The month given, else the month of --at, else this month; today is the day of --at, else today.
int showCalendar(const std::optional<YearMonth>& month, const ClockOptions& options)
{
    const vb::DateValue today = options.at ? *options.at : vb::Now();
    const YearMonth shown = month ? *month : YearMonth{today.year(), today.month()};
    // No escapes into a file or a pipe, nor when NO_COLOR is set to anything, even nothing: the
    // common convention for asking a program for none.
    const bool colour = ::isatty(STDOUT_FILENO) == 1 && !qEnvironmentVariableIsSet("NO_COLOR");
    const QString text = calendarText(zp::monthCalendar(shown.year, shown.month), today,
                                      colour ? CalendarStyle::Sgr : CalendarStyle::Plain);
    return writeAll(STDOUT_FILENO, text.toUtf8()) ? 0 : 1;
}

int clockMain(const QStringList& arguments)
{
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    switch (parsed.command) {
    case Command::UsageError:
        errorLine(parsed.usageError);
        return 2;
    case Command::Help:
        return writeAll(STDOUT_FILENO, parsed.helpText.toUtf8()) ? 0 : 1;
    case Command::Version:
        return writeAll(STDOUT_FILENO, versionLine().toUtf8() + '\n') ? 0 : 1;
    case Command::Holidays:
        unblockExitSignals();
        return writeAll(STDOUT_FILENO, holidayLines(parsed.holidaysYear).toUtf8()) ? 0 : 1;
    case Command::Calendar:
        unblockExitSignals();
        return showCalendar(parsed.month, parsed.options);
    case Command::Run:
        break;
    }
    const vb::SettingsStore store = vb::SettingsStore::fromEnvironment();
    if (parsed.options.follow)
        return runFollow(store, parsed.options);
    unblockExitSignals();
    return expandOnce(store, parsed.options);
}

} // namespace

int main(int argc, char* argv[])
{
    // Before anything can start a thread, so that every thread inherits the mask.
    blockExitSignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromUtf16(kProgramName));
    QCoreApplication::setApplicationVersion(vb::programVersionText());
    vb::setProgramTitle(QString::fromUtf16(kProgramName));
    return vb::runMain([] { return clockMain(QCoreApplication::arguments()); });
}
