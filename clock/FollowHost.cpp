#include "clock/FollowHost.h"

#include "clock/CalendarText.h"
#include "clock/ClockText.h"
#include "clock/HostCore.h"

#include "runtime/Clock.h"
#include "runtime/FileDescriptor.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <vector>

namespace clk {

namespace {

sigset_t exitSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

void blockExitSignals()
{
    const sigset_t set = exitSignals();
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

void unblockExitSignals()
{
    const sigset_t set = exitSignals();
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

int runFollow(const vb::SettingsStore& store, const ClockOptions& options)
{
    // A closed standard output must come back from write() as EPIPE, not end the process
    // before the socket and the handle are cleaned up.
    ::signal(SIGPIPE, SIG_IGN);
    if (options.at)
        vb::setFixedNow(*options.at);
    const sigset_t mask = exitSignals();
    const vb::FileDescriptor exitSignalFd(::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!exitSignalFd) {
        errorLine(QStringLiteral("cannot create the host's signal descriptor: ")
                  + QString::fromLocal8Bit(std::strerror(errno)));
        return 1;
    }
    // Only JSON shows a tooltip: without it, its changes would only repeat the line.
    const bool json = options.form == LineForm::Json;
    HostCore::Options hostOptions{options.format, options.at.has_value(), 0, json ? options.tooltip : std::nullopt};
    if (json && options.calendarTooltip)
        hostOptions.tooltipOf = CalendarTooltip();
    const bool withTooltip = hostOptions.tooltip || hostOptions.tooltipOf;
    const TooltipForm tooltipForm = hostOptions.tooltipOf ? TooltipForm::Markup : TooltipForm::Text;
    HostCore core(store, std::move(hostOptions), errorLine);
    if (!core.start())
        return 1;
    const auto line = [&] {
        return outputLine(core.text(), options.form, withTooltip ? std::optional(core.tooltip()) : std::nullopt,
                          tooltipForm);
    };
    if (!writeAll(STDOUT_FILENO, line()))
        return 1;

    std::vector<pollfd> fds{
        {exitSignalFd.get(), POLLIN, 0},
        // Only errors are asked for: a closed pipe reports POLLERR at once, so the host leaves
        // when its bar goes away, not at its next line.
        {STDOUT_FILENO, 0, 0},
    };
    for (const int fd : core.descriptors())
        fds.push_back({fd, POLLIN, 0});
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            errorLine(QStringLiteral("poll failed: ") + QString::fromLocal8Bit(std::strerror(errno)));
            return 0;
        }
        if (fds[0].revents || fds[1].revents)
            return 0;
        bool changed = false;
        for (size_t i = 2; i < fds.size(); ++i) {
            // A descriptor in error would wake the loop at once, for ever: drop it, say so once.
            if (fds[i].revents & (POLLERR | POLLNVAL)) {
                errorLine(QStringLiteral("stopped listening on descriptor %1 after an error").arg(fds[i].fd));
                fds[i].fd = -1;
            } else if (fds[i].revents) {
                changed |= core.ready(fds[i].fd);
            }
        }
        if (changed && !writeAll(STDOUT_FILENO, line()))
            return 0;
    }
}

} // namespace clk
