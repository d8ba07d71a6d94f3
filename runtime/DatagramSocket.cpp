#include "runtime/DatagramSocket.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <optional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace vb {

namespace {

// The address of a path; nullopt when it does not fit, its terminating zero included.
std::optional<sockaddr_un> socketAddress(const QByteArray& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return std::nullopt;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return address;
}

FileDescriptor datagramSocket()
{
    return FileDescriptor(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

} // namespace

BoundSocket bindDatagramSocket(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const std::optional<sockaddr_un> address = socketAddress(native);
    if (!address)
        return {{}, BoundSocket::PathTooLong, 0};
    FileDescriptor fd = datagramSocket();
    if (!fd)
        return {{}, BoundSocket::CannotCreate, errno};
    struct stat st{};
    if (::lstat(native.constData(), &st) == 0 && S_ISSOCK(st.st_mode))
        ::unlink(native.constData());
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0)
        return {{}, BoundSocket::CannotBind, errno};
    return {std::move(fd), BoundSocket::None, 0};
}

bool sendDatagram(const QString& path, const QByteArray& datagram)
{
    const std::optional<sockaddr_un> address = socketAddress(QFile::encodeName(path));
    if (!address)
        return false;
    const FileDescriptor fd = datagramSocket();
    return fd
        && ::sendto(fd.get(), datagram.constData(), size_t(datagram.size()), MSG_DONTWAIT | MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&*address), sizeof *address)
        == datagram.size();
}

} // namespace vb
