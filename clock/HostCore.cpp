#include "clock/HostCore.h"

#include "clock/ClockOptions.h"
#include "clock/ClockText.h"
#include "editor/ZPSettings.h"
#include "engine/ZPModule.h"

#include "runtime/Clock.h"
#include "runtime/DatagramSocket.h"
#include "runtime/Guard.h"
#include "runtime/RuntimeFolder.h"
#include "runtime/SettingsStore.h"
#include "runtime/WindowMessage.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace clk {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString app() { return QString::fromUtf16(zp::kAppName); }
QString plugIn() { return QString::fromUtf16(zp::kSectionPlugIn); }
QString restartKey() { return QString::fromUtf16(zp::kKeyRestartRecv); }

constexpr uint32_t kWatchMask =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CREATE | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

HostCore::HostCore(const vb::SettingsStore& store, Options options, Report report)
    : store_(store), options_(std::move(options)), report_(std::move(report)),
      format_(QString::fromUtf16(kBuiltInFormat))
{
    handle_ = options_.handle != 0 ? options_.handle : static_cast<qint32>(::getpid());
}

HostCore::~HostCore()
{
    stop();
}

bool HostCore::start()
{
    if (!openSocket())
        return false;
    started_ = true;
    publishHandle();
    timer_.reset(::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC));
    if (!timer_) {
        report_(QStringLiteral("cannot create the host's timer: ") + systemError(errno));
        stop();
        return false;
    }
    settingsPath_ = store_.filePath(app());
    inotify_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!inotify_)
        report_(QStringLiteral("cannot watch the settings file: ") + systemError(errno));
    watchSettings(true);
    loadFormat();
    refresh();
    return true;
}

void HostCore::stop()
{
    if (!started_)
        return;
    started_ = false;
    socket_.reset();
    ::unlink(QFile::encodeName(socketPath_).constData());
    // Only while the store still holds this host's handle: a host that started later keeps its own.
    vb::Guard guard([this](const vb::Error& e) {
        report_(QStringLiteral("cannot clear RestartMsgRecv: ") + e.description);
        return vb::OnError::Exit;
    });
    guard([&] { store_.SaveSettingIf(app(), plugIn(), restartKey(), QString::number(handle_), QStringLiteral("0")); });
}

std::vector<int> HostCore::descriptors() const
{
    std::vector<int> fds;
    for (const vb::FileDescriptor* fd : {&timer_, &socket_, &inotify_})
        if (fd->valid())
            fds.push_back(fd->get());
    return fds;
}

bool HostCore::ready(int fd)
{
    bool reload = false;
    bool fileChanged = false;
    bool due = false;
    if (fd == socket_.get())
        reload = drainMessages();
    else if (fd == inotify_.get())
        reload = fileChanged = drainSettingsEvents();
    else if (fd == timer_.get())
        due = drainTimer();
    // While reads fail, every wake tries again.
    if (!reload && !due && !readFailing_)
        return false;
    // Watches change only with an event, or are missing until their folder is back.
    if (reload || folderWatch_.wd < 0 || parentWatch_.wd < 0)
        watchSettings(false);
    if (reload || readFailing_)
        loadFormat();
    if (fileChanged)
        republishWhenUnclaimed();
    return refresh();
}

// The socket D/window-<handle>. A socket file already there is stale: its handle is this
// process's id, so the host that bound it is gone.
bool HostCore::openSocket()
{
    QString why;
    const QString folder = vb::runtimeFolder(vb::FolderCreation::CreateIfMissing, &why);
    if (folder.isEmpty()) {
        report_(why);
        return false;
    }
    socketPath_ = vb::windowSocketPath(folder, handle_);
    vb::BoundSocket bound = vb::bindDatagramSocket(socketPath_);
    switch (bound.failure) {
    case vb::BoundSocket::None:
        break;
    case vb::BoundSocket::PathTooLong:
        report_(QStringLiteral("the socket path is too long: ") + socketPath_);
        return false;
    case vb::BoundSocket::CannotCreate:
        report_(QStringLiteral("cannot create a socket: ") + systemError(bound.error));
        return false;
    case vb::BoundSocket::CannotBind:
        report_(QStringLiteral("cannot bind %1: %2").arg(socketPath_, systemError(bound.error)));
        return false;
    }
    socket_ = std::move(bound.fd);
    return true;
}

void HostCore::publishHandle()
{
    vb::Guard guard([this](const vb::Error& e) {
        report_(QStringLiteral("cannot store RestartMsgRecv: ") + e.description);
        return vb::OnError::Exit;
    });
    guard([&] { store_.SaveSetting(app(), plugIn(), restartKey(), QString::number(handle_)); });
}

// A reset or restored settings folder, or a host that ended, leaves no handle behind: take the
// place, so that TamoZP's restart request reaches a host again. A handle of another host stays.
void HostCore::republishWhenUnclaimed()
{
    vb::Guard guard([](const vb::Error&) { return vb::OnError::Exit; }); // the reload has said so
    QString stored;
    guard([&] { stored = store_.GetSetting(app(), plugIn(), restartKey(), QStringLiteral("0")); });
    if (!guard.failed() && stored == u"0")
        publishHandle();
}

// The settings folder for the file by its name; when the file is a symbolic link, also the
// folder where it really lives (the store replaces the file there); and the settings folder's
// parent, to see the folder come back after it was removed. A watch that is missing (its
// folder does not exist yet) is tried again at every wake.
void HostCore::watchSettings(bool report)
{
    if (!inotify_)
        return;
    const QFileInfo file(settingsPath_);
    const QFileInfo folder(file.absolutePath());
    watch(folderWatch_, folder.absoluteFilePath(), file.fileName(), report);
    watch(parentWatch_, folder.absolutePath(), folder.fileName(), report);
    QString target;
    if (file.isSymLink()) {
        target = file.canonicalFilePath();
        if (target.isEmpty()) // a dangling link: where the store would create the file
            target = file.symLinkTarget();
    }
    const QFileInfo real(target);
    if (target.isEmpty() || real.absolutePath() == folder.absoluteFilePath()) {
        watch(targetWatch_, QString(), QString(), false);
    } else {
        watch(targetWatch_, real.absolutePath(), real.fileName(), report);
    }
}

// Points `w` at `name` in `folder` (nothing when `folder` is empty). inotify gives one watch
// per folder, so a watch descriptor may serve two of ours: it is removed only when no other
// one still uses it.
void HostCore::watch(Watch& w, const QString& folder, const QString& name, bool report)
{
    const QByteArray native = QFile::encodeName(folder);
    if (w.wd >= 0 && w.folder == native) {
        w.name = name;
        return;
    }
    if (w.wd >= 0) {
        const int shared = int(folderWatch_.wd == w.wd) + int(targetWatch_.wd == w.wd)
                         + int(parentWatch_.wd == w.wd);
        if (shared == 1)
            ::inotify_rm_watch(inotify_.get(), w.wd);
    }
    w = Watch{-1, native, name};
    if (folder.isEmpty())
        return;
    w.wd = ::inotify_add_watch(inotify_.get(), native.constData(), kWatchMask);
    if (w.wd < 0 && report)
        report_(QStringLiteral("cannot watch %1: %2").arg(folder, systemError(errno)));
}

// True when the timer expired or the clock was set (ECANCELED): both call for a new look.
bool HostCore::drainTimer()
{
    quint64 expirations = 0;
    const ssize_t n = ::read(timer_.get(), &expirations, sizeof expirations);
    return n == sizeof expirations || (n < 0 && errno == ECANCELED);
}

// True when one of the pending datagrams is the restart message; the others are dropped.
bool HostCore::drainMessages()
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

// True when an event concerns the settings file, its link, its folder or where it lives.
bool HostCore::drainSettingsEvents()
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
            if (event->mask & IN_Q_OVERFLOW) {
                changed = true;
                continue;
            }
            const QString name = event->len > 0 ? QFile::decodeName(event->name) : QString();
            for (Watch* w : {&folderWatch_, &targetWatch_, &parentWatch_}) {
                if (w->wd != event->wd)
                    continue;
                if (event->mask & (IN_IGNORED | IN_MOVE_SELF)) {
                    // The folder went away or was renamed: watched again where it is now.
                    if (event->mask & IN_MOVE_SELF)
                        ::inotify_rm_watch(inotify_.get(), w->wd);
                    w->wd = -1;
                    changed = true;
                } else if (name == w->name) {
                    changed = true;
                }
            }
        }
    }
    return changed;
}

// The flag and format as stored. A read that fails keeps the format shown, says so once, and
// is tried again at every wake until one succeeds.
void HostCore::loadFormat()
{
    if (options_.format) {
        format_ = *options_.format;
        return;
    }
    vb::Guard guard([this](const vb::Error& e) {
        if (!readFailing_)
            report_(QStringLiteral("cannot read the stored settings, keeping the format shown: ")
                    + e.description);
        return vb::OnError::Exit;
    });
    QString format;
    readFailing_ = !guard([&] { format = storedDisplayFormat(store_); });
    if (!readFailing_)
        format_ = format;
}

// Expands the text and the tooltip at one instant, and sets the timer to the next change of
// the finer of their keys. The boundary is taken from a clock read made before the expansion,
// so an expansion that straddles a boundary wakes the host once more instead of missing a
// change. True when the text or the tooltip changed.
bool HostCore::refresh()
{
    if (!options_.stillClock)
        vb::reloadTimeZone();
    const QString textBefore = text_;
    const QString tooltipBefore = tooltip_;
    const auto changed = [&] { return text_ != textBefore || tooltip_ != tooltipBefore; };
    // A clock set between the expansion and the arming cancels the arming: look again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        std::optional<vb::DateValue> held;
        const auto instant = heldClock(held);
        text_ = zp::FromZPFToShowClk(format_, timeKey_, instant);
        if (options_.tooltipOf) {
            // A clock read that fails has been reported by the text's expansion: the tooltip
            // stays as it was.
            vb::Guard guard([](const vb::Error&) { return vb::OnError::Exit; });
            guard([&] { tooltip_ = options_.tooltipOf(instant()); });
        } else if (options_.tooltip) {
            tooltip_ = zp::FromZPFToShowClk(*options_.tooltip, tooltipKey_, instant);
        }
        ++expansions_;
        if (options_.stillClock)
            return changed();
        const bool seconds = keyHasSeconds(timeKey_) || keyHasSeconds(tooltipKey_);
        itimerspec when{};
        when.it_value.tv_sec = static_cast<time_t>(nextKeyChange(now.tv_sec, seconds));
        if (::timerfd_settime(timer_.get(), TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &when, nullptr) == 0)
            return changed();
        if (errno != ECANCELED)
            break;
    }
    report_(QStringLiteral("cannot set the timer: ") + systemError(errno));
    return changed();
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

} // namespace clk
