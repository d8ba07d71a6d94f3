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
    if (folder.isEmpty())
        return;
    path_ = vb::windowSocketPath(folder, handle);
    const QByteArray native = QFile::encodeName(path_);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(native.size()) >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    ::unlink(native.constData());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
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
    if (fd_ < 0)
        return std::nullopt;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1)
        return std::nullopt;
    char buffer[256];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0)
        return std::nullopt;
    return QByteArray(buffer, n);
}
