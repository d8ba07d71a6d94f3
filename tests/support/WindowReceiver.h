#pragma once
// A stand-in for a host window: binds D/window-<handle> and reads what is posted to it.

#include "runtime/FileDescriptor.h"

#include <QByteArray>
#include <QString>

#include <optional>

class WindowReceiver {
public:
    // Binds in vb::runtimeFolder() (created when missing); check bound().
    explicit WindowReceiver(qint32 handle);
    ~WindowReceiver();
    WindowReceiver(const WindowReceiver&) = delete;
    WindowReceiver& operator=(const WindowReceiver&) = delete;

    bool bound() const { return fd_.valid(); }
    QString path() const { return path_; }
    // The next datagram, or nullopt when none arrives within `timeoutMs`.
    std::optional<QByteArray> receive(int timeoutMs);

private:
    vb::FileDescriptor fd_;
    QString path_;
};
