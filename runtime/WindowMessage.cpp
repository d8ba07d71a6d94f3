#include "runtime/WindowMessage.h"

#include "runtime/RuntimeFolder.h"

#include <QFile>
#include <QtEndian>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vb {

QByteArray encodeWindowMessage(const WindowMessage& message)
{
    QByteArray bytes(kWindowMessageSize, Qt::Uninitialized);
    qToLittleEndian<qint32>(message.msg, bytes.data());
    qToLittleEndian<qint32>(message.wParam, bytes.data() + 4);
    qToLittleEndian<qint32>(message.lParam, bytes.data() + 8);
    return bytes;
}

std::optional<WindowMessage> decodeWindowMessage(const QByteArray& datagram)
{
    if (datagram.size() != kWindowMessageSize)
        return std::nullopt;
    const char* p = datagram.constData();
    return WindowMessage{qFromLittleEndian<qint32>(p), qFromLittleEndian<qint32>(p + 4),
                         qFromLittleEndian<qint32>(p + 8)};
}

void PostMessage(qint32 handle, qint32 msg, qint32 wParam, qint32 lParam)
{
    // Nothing is created here: without a usable folder there is no host to reach.
    const QString folder = runtimeFolder(FolderCreation::ExistingOnly);
    if (folder.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(windowSocketPath(folder, handle));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));

    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    const QByteArray datagram = encodeWindowMessage({msg, wParam, lParam});
    // The result is not examined: a missing host or a full queue is the host's affair.
    (void)::sendto(fd, datagram.constData(), size_t(datagram.size()), MSG_DONTWAIT | MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(fd);
}

} // namespace vb
