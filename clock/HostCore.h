#pragma once
// The clock host without a loop of its own: what tamo-clock --follow does, for any event loop
// to drive. The core publishes its handle as RestartMsgRecv, binds D/window-<handle>, reloads
// the flag and format on the restart message and on any change of the settings file, keeps
// the shown text (and an optional tooltip, expanded at the same instant) and sets a realtime
// timer to the next change of the finer of their time keys. A tooltip can also be computed from
// the instant itself (the month's calendar), at every expansion. It owns its descriptors; the
// caller waits until one is readable and hands it to ready().
//
// It recovers from what the store and the file system throw at it: a failed read keeps the
// last good format and is tried again at every wake; a settings file that is a symbolic link
// is watched where it really lives; a settings folder that is removed and made again is
// noticed from its parent, and the handle is published again when the file no longer holds
// one. A new time zone (TZ, or /etc/localtime when TZ is unset) shows at the next wake.
// Depends on the runtime, the engine and the stored values (Qt Core).

#include "runtime/DateValue.h"
#include "runtime/FileDescriptor.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>
#include <optional>
#include <vector>

namespace vb {
class SettingsStore;
}

namespace clk {

class HostCore {
public:
    struct Options {
        std::optional<QString> format;  // always shown instead of the stored one
        bool stillClock = false;        // the clock is fixed (--at): no timer is armed
        qint32 handle = 0;              // the published handle; 0: this process's id
        std::optional<QString> tooltip; // a second format, shown beside the text
        // A tooltip computed from the instant of each expansion, instead of `tooltip`. It has no
        // time key: the text's key wakes the host at least once a minute, which is often
        // enough for a tooltip that changes with the date.
        std::function<QString(const vb::DateValue&)> tooltipOf;
    };
    // Where the core says what went wrong, one line at a time (standard error in tamo-clock).
    using Report = std::function<void(const QString& line)>;

    HostCore(const vb::SettingsStore& store, Options options, Report report);
    ~HostCore();
    HostCore(const HostCore&) = delete;
    HostCore& operator=(const HostCore&) = delete;

    // Binds the socket, publishes the handle, opens the timer and the watches and expands the
    // format the first time. False, having reported why and cleaned up, when the host cannot
    // run: no usable runtime folder, no socket, no timer.
    bool start();
    // Removes the socket and withdraws the handle while the store still holds this host's own.
    // Runs once; the destructor calls it.
    void stop();

    // The descriptors to wait on for reading; fixed from start() to stop().
    std::vector<int> descriptors() const;
    // `fd` is readable: reads what is pending and reloads or expands as it calls for. True
    // when the shown text or the tooltip changed.
    bool ready(int fd);

    const QString& text() const { return text_; }
    const QString& tooltip() const { return tooltip_; } // empty without a tooltip
    // How many expansions the core has made; a window compares it around ready() to know
    // whether the reports it saw came from a new expansion.
    quint64 expansions() const { return expansions_; }
    qint32 handle() const { return handle_; }
    QString socketPath() const { return socketPath_; }

private:
    struct Watch {
        int wd = -1;
        QByteArray folder;
        QString name; // the entry in `folder` whose events count
    };

    bool openSocket();
    void publishHandle();
    void republishWhenUnclaimed();
    void watchSettings(bool report);
    void watch(Watch& w, const QString& folder, const QString& name, bool report);
    bool drainTimer();
    bool drainMessages();
    bool drainSettingsEvents();
    void loadFormat();
    bool refresh();

    const vb::SettingsStore& store_;
    Options options_;
    Report report_;
    qint32 handle_ = 0;
    QString socketPath_;
    vb::FileDescriptor socket_;
    vb::FileDescriptor timer_;
    vb::FileDescriptor inotify_;
    QString settingsPath_;
    Watch folderWatch_; // the settings folder, for the file (or the link) by its name
    Watch targetWatch_; // where a linked settings file really lives
    Watch parentWatch_; // the settings folder's parent, for the folder's return
    QString format_;
    bool readFailing_ = false;
    bool started_ = false;
    QString text_;
    quint64 expansions_ = 0;
    QString timeKey_; // kept, so that its buffer serves every expansion
    QString tooltip_;
    QString tooltipKey_;
};

// Whether a time key is of the "h:n:s" form (changes every second) rather than "h:n".
bool keyHasSeconds(QStringView timeKey);

// The first POSIX second after `unixSeconds` at which a time key of this form can change: the
// next second, or the start of the next local minute (which is not a whole UTC minute in a zone
// whose offset has seconds).
qint64 nextKeyChange(qint64 unixSeconds, bool seconds);

} // namespace clk
