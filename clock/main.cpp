// tamo-clock: expands the clock format once, or runs as the host with --follow.

#include "clock/ClockOptions.h"
#include "clock/ClockText.h"
#include "clock/FollowHost.h"
#include "engine/ZPModule.h"

#include "runtime/Clock.h"
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
    if (options.tooltip && options.form == LineForm::Json) {
        QString tooltipKey;
        tooltip = zp::FromZPFToShowClk(*options.tooltip, tooltipKey, instant);
    }
    QByteArray out = outputLine(text, options.form, tooltip);
    if (options.timeKey)
        out += timeKey.toUtf8() + '\n';
    return writeAll(STDOUT_FILENO, out) ? 0 : 1;
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
