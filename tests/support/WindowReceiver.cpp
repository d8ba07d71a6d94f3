#include "WindowReceiver.h"

#include "runtime/RuntimeFolder.h"

#include <QFile>

#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

WindowReceiver::WindowReceiver(qint32 handle)
{
    const QString folder = vb::runtimeFolder();
    path_ = folder.isEmpty() ? QString() : vb::windowSocketPath(folder, handle);
    const QByteArray native = QFile::encodeName(path_);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.isEmpty() || size_t(native.size()) >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    ::unlink(native.constData());
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

WindowReceiver::~WindowReceiver()
{
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(QFile::encodeName(path_).constData());
    }
}

std::optional<QByteArray> WindowReceiver::receive(int timeoutMs)
{
    pollfd p{fd_, POLLIN, 0};
    char buffer[256];
    if (fd_ < 0 || ::poll(&p, 1, timeoutMs) != 1)
        return std::nullopt;
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    return n < 0 ? std::nullopt : std::optional(QByteArray(buffer, n));
}
