#include "clock/FollowHost.h"

#include "clock/ClockText.h"
#include "editor/ZPSettings.h"
#include "engine/ZPModule.h"

#include "runtime/Clock.h"
#include "runtime/DatagramSocket.h"
#include "runtime/FileDescriptor.h"
#include "runtime/Guard.h"
#include "runtime/RuntimeFolder.h"
#include "runtime/SettingsStore.h"
#include "runtime/WindowMessage.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

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

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString app() { return QString::fromUtf16(zp::kAppName); }
QString plugIn() { return QString::fromUtf16(zp::kSectionPlugIn); }
QString restartKey() { return QString::fromUtf16(zp::kKeyRestartRecv); }

class FollowHost {
public:
    FollowHost(const vb::SettingsStore& store, const ClockOptions& options) : store_(store), options_(options) { }

    int run()
    {
        if (!bindSocket())
            return 1;
        publishHandle();
        if (!openWatches()) {
            finish();
            return 1;
        }
        format_ = displayFormat(store_, options_.format);
        if (refresh())
            loop();
        finish();
        return 0;
    }

private:
    // The socket D/window-<pid>. A socket file already there is stale: its handle is this
    // process's id, so the host that bound it is gone.
    bool bindSocket()
    {
        QString why;
        const QString folder = vb::runtimeFolder(vb::FolderCreation::CreateIfMissing, &why);
        if (folder.isEmpty()) {
            errorLine(why);
            return false;
        }
        handle_ = static_cast<qint32>(::getpid());
        socketPath_ = vb::windowSocketPath(folder, handle_);
        vb::BoundSocket bound = vb::bindDatagramSocket(socketPath_);
        switch (bound.failure) {
        case vb::BoundSocket::None: break;
        case vb::BoundSocket::PathTooLong:
            errorLine(QStringLiteral("the socket path is too long: ") + socketPath_);
            return false;
        case vb::BoundSocket::CannotCreate:
            errorLine(QStringLiteral("cannot create a socket: ") + systemError(bound.error));
            return false;
        case vb::BoundSocket::CannotBind:
            errorLine(QStringLiteral("cannot bind %1: %2").arg(socketPath_, systemError(bound.error)));
            return false;
        }
        socket_ = std::move(bound.fd);
        return true;
    }

    void publishHandle()
    {
        vb::Guard guard([](const vb::Error& e) {
            errorLine(QStringLiteral("cannot store RestartMsgRecv: ") + e.description);
            return vb::OnError::Exit;
        });
        guard([&] { store_.SaveSetting(app(), plugIn(), restartKey(), QString::number(handle_)); });
    }

    // Withdraws the handle only while it is still this host's: another host that started later
    // has published its own and keeps it.
    void withdrawHandle()
    {
        vb::Guard guard([](const vb::Error& e) {
            errorLine(QStringLiteral("cannot clear RestartMsgRecv: ") + e.description);
            return vb::OnError::Exit;
        });
        guard([&] { store_.SaveSettingIf(app(), plugIn(), restartKey(), QString::number(handle_), QStringLiteral("0")); });
    }

    bool openWatches()
    {
        const sigset_t mask = exitSignals();
        signals_.reset(::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC));
        timer_.reset(::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC));
        if (!signals_.valid() || !timer_.valid()) {
            errorLine(QStringLiteral("cannot create the host's timer or signal descriptor: ")
                      + systemError(errno));
            return false;
        }
        const QFileInfo settings(store_.filePath(app()));
        settingsFolder_ = QFile::encodeName(settings.absolutePath());
        settingsName_ = settings.fileName();
        inotify_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (!inotify_.valid())
            errorLine(QStringLiteral("cannot watch the settings file: ") + systemError(errno));
        watchSettingsFolder(true);
        return true;
    }

    // The folder may be missing when the store could not write; the watch is then tried again
    // at each wake, and reported only once.
    void watchSettingsFolder(bool reportFailure)
    {
        if (!inotify_.valid() || watch_ >= 0)
            return;
        watch_ = ::inotify_add_watch(inotify_.get(), settingsFolder_.constData(),
                                     IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE
                                         | IN_CREATE | IN_MOVE_SELF | IN_ONLYDIR);
        if (watch_ < 0 && reportFailure)
            errorLine(QStringLiteral("cannot watch %1: %2")
                          .arg(QFile::decodeName(settingsFolder_), systemError(errno)));
    }

    void loop()
    {
        enum { Signals, Timer, Socket, Settings, Output, Count };
        pollfd fds[Count] = {
            {signals_.get(), POLLIN, 0},
            {timer_.get(), POLLIN, 0},
            {socket_.get(), POLLIN, 0},
            {inotify_.get(), POLLIN, 0},
            // Only errors are asked for: a closed pipe reports POLLERR at once, so the host
            // leaves when its bar goes away, not at its next line.
            {STDOUT_FILENO, 0, 0},
        };
        for (;;) {
            if (::poll(fds, Count, -1) < 0) {
                if (errno == EINTR)
                    continue;
                errorLine(QStringLiteral("poll failed: ") + systemError(errno));
                return;
            }
            if (fds[Signals].revents || fds[Output].revents)
                return;
            // A descriptor in error would wake the loop at once, for ever: drop it, say so once.
            for (const int i : {int(Timer), int(Socket), int(Settings)}) {
                if (fds[i].revents & (POLLERR | POLLNVAL)) {
                    errorLine(QStringLiteral("stopped listening on descriptor %1 after an error").arg(fds[i].fd));
                    fds[i].fd = -1;
                    fds[i].revents = 0;
                }
            }
            bool reloadNeeded = false;
            bool due = false;
            if (fds[Socket].revents)
                reloadNeeded |= drainMessages();
            if (fds[Settings].revents)
                reloadNeeded |= drainSettingsEvents();
            if (fds[Timer].revents)
                due = drainTimer();
            if (reloadNeeded)
                format_ = displayFormat(store_, options_.format);
            if (reloadNeeded || due) {
                watchSettingsFolder(false);
                if (!refresh())
                    return;
            }
        }
    }

    // Expands, prints when the text changed, and sets the timer to the next change of the key.
    // The boundary is taken from a clock read made before the expansion, so an expansion that
    // straddles a boundary wakes the host once more instead of missing a change.
    bool refresh()
    {
        // A clock set between the expansion and the arming cancels the arming: look again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            timespec before{};
            ::clock_gettime(CLOCK_REALTIME, &before);
            const QString text = zp::FromZPFToShowClk(format_, timeKey_);
            if (!printed_ || text != last_) {
                if (!writeAll(STDOUT_FILENO, outputLine(text, options_.json)))
                    return false;
                last_ = text;
                printed_ = true;
            }
            if (options_.at)
                return true;
            itimerspec when{};
            when.it_value.tv_sec = static_cast<time_t>(nextKeyChange(before.tv_sec, keyHasSeconds(timeKey_)));
            if (::timerfd_settime(timer_.get(), TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &when, nullptr) == 0)
                return true;
            if (errno != ECANCELED)
                break;
        }
        errorLine(QStringLiteral("cannot set the timer: ") + systemError(errno));
        return true;
    }

    // True when the timer expired or the clock was set (ECANCELED): both call for a new look.
    bool drainTimer()
    {
        quint64 expirations = 0;
        const ssize_t n = ::read(timer_.get(), &expirations, sizeof expirations);
        return n == sizeof expirations || (n < 0 && errno == ECANCELED);
    }

    // True when one of the pending datagrams is the restart message; the others are dropped.
    bool drainMessages()
    {
        bool restart = false;
        char buffer[64];
        for (;;) {
            const ssize_t n = ::recv(socket_.get(), buffer, sizeof buffer, MSG_TRUNC);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (static_cast<size_t>(n) > sizeof buffer)
                continue; // longer than any message: MSG_TRUNC gave its real length
            const auto message = vb::decodeWindowMessage(QByteArray(buffer, n));
            if (message && *message == vb::WindowMessage{zp::kRestartMessage, 0, 0})
                restart = true;
        }
        return restart;
    }

    // True when an event names the settings file (written, renamed into place, removed).
    bool drainSettingsEvents()
    {
        bool changed = false;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(inotify_.get(), buffer, sizeof buffer);
            if (n <= 0) {
                if (n < 0 && errno == EINTR)
                    continue;
                break;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->mask & IN_IGNORED) {
                    watch_ = -1; // the folder went away; watched again when it is back
                    changed = true;
                } else if (event->mask & IN_MOVE_SELF) {
                    // Renamed away: what is watched is no longer the settings folder.
                    ::inotify_rm_watch(inotify_.get(), event->wd);
                    changed = true;
                } else if (event->len > 0
                           && isSettingsFileEvent(QFile::decodeName(event->name), settingsName_)) {
                    changed = true;
                } else if (event->mask & IN_Q_OVERFLOW) {
                    changed = true;
                }
            }
        }
        return changed;
    }

    void finish()
    {
        if (socket_) {
            socket_.reset();
            ::unlink(QFile::encodeName(socketPath_).constData());
        }
        withdrawHandle();
    }

    const vb::SettingsStore& store_;
    const ClockOptions& options_;
    qint32 handle_ = 0;
    QString socketPath_;
    vb::FileDescriptor socket_;
    vb::FileDescriptor signals_;
    vb::FileDescriptor timer_;
    vb::FileDescriptor inotify_;
    int watch_ = -1;
    QByteArray settingsFolder_;
    QString settingsName_;
    QString format_;
    QString last_;
    QString timeKey_; // kept, so that its buffer serves every expansion
    bool printed_ = false;
};

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
    FollowHost host(store, options);
    return host.run();
}

bool keyHasSeconds(QStringView timeKey)
{
    return timeKey.count(u':') >= 2;
}

qint64 nextKeyChange(qint64 unixSeconds, bool seconds)
{
    if (seconds)
        return unixSeconds + 1;
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    if (!::localtime_r(&t, &local))
        return unixSeconds + 60 - (((unixSeconds % 60) + 60) % 60);
    return unixSeconds + 60 - local.tm_sec; // tm_sec in [0, 59]: the result is 1 to 60 s ahead
}

bool isSettingsFileEvent(QStringView eventName, QStringView settingsFileName)
{
    return eventName == settingsFileName;
}

} // namespace clk
