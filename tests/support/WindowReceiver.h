#pragma once
// A stand-in for a host window: binds D/window-<handle> in vb::runtimeFolder() (created when
// missing) and reads what is posted to it.

#include "runtime/DatagramSocket.h"
#include "runtime/RuntimeFolder.h"

#include <QFile>

#include <optional>

#include <poll.h>
#include <sys/socket.h>

class WindowReceiver {
public:
    explicit WindowReceiver(qint32 handle)
    {
        if (const QString folder = vb::runtimeFolder(); !folder.isEmpty())
            path_ = vb::windowSocketPath(folder, handle), fd_ = vb::bindDatagramSocket(path_).fd;
    }
    ~WindowReceiver() { if (fd_) ::unlink(QFile::encodeName(path_).constData()); }

    bool bound() const { return fd_.valid(); }
    QString path() const { return path_; }
    // The next datagram, or nullopt when none arrives within `timeoutMs`.
    std::optional<QByteArray> receive(int timeoutMs)
    {
        pollfd p{fd_.get(), POLLIN, 0};
        char buffer[256];
        const ssize_t n = fd_ && ::poll(&p, 1, timeoutMs) == 1 ? ::recv(fd_.get(), buffer, sizeof buffer, 0) : -1;
        return n < 0 ? std::nullopt : std::optional(QByteArray(buffer, n));
    }

private:
    QString path_;
    vb::FileDescriptor fd_;
};
