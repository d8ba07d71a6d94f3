#pragma once
// One instance of a window program per user, and a second launch that brings the first to the
// front instead of doing nothing the user can see.
//
// The first instance holds an exclusive flock on "<D>/<program>.lock" in the user's runtime
// folder D for as long as it runs, and listens on the datagram socket "<D>/<program>.raise". A
// later instance fails to take the lock, sends that socket a request and lets its program end;
// the first then raises and activates its window. The kernel drops the lock when its holder
// ends, however it ends, so a crash never leaves a stale lock and two instances started
// together cannot both win. Only the lock's holder binds the socket, so a socket file left by
// an instance that ended at once (vb::End runs no destructors) is replaced by the next first
// instance, and a request sent to it meanwhile is simply lost.
// Nothing here knows a particular program. Depends on the runtime and Qt Widgets.

#include "runtime/FileDescriptor.h"

#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;
class QWidget;

namespace gui {

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    // `folder` is the user's runtime folder (vb::runtimeFolder()); empty when it is unusable,
    // and then the program runs alone: there is nothing to lock and nowhere to listen.
    SingleInstance(const QString& program, const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when another instance holds the lock: it has been asked to come to the front, and
    // this one should end. Otherwise this instance takes the lock, keeps it until it goes away
    // and listens for requests. A lock file that cannot be opened counts as alone: not knowing
    // must never keep the user from the program.
    bool anotherInstanceRunning();

    // What a request from a later instance does, on the event loop; nothing until one is set.
    void onRaiseRequest(std::function<void()> raise);
    // The usual request: bring `window` to the front (bringToFront).
    void raiseOnRequest(QWidget* window);

    bool held() const { return lock_.valid(); }
    QString lockPath() const { return lockPath_; }
    QString socketPath() const { return socketPath_; }

private:
    void listen();
    void readRequests();

    QString lockPath_;
    QString socketPath_;
    vb::FileDescriptor lock_;
    vb::FileDescriptor socket_;
    QSocketNotifier* notifier_ = nullptr;
    std::function<void()> raise_;
};

// Shows `window` again if it was minimised or hidden, raises it above the others and gives it
// the keyboard focus. The window manager may still only mark it as wanting attention.
void bringToFront(QWidget* window);

} // namespace gui
