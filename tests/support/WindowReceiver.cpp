#include "WindowReceiver.h"

#include "runtime/DatagramSocket.h"
#include "runtime/RuntimeFolder.h"

#include <QFile>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

WindowReceiver::WindowReceiver(qint32 handle)
{
    const QString folder = vb::runtimeFolder();
    if (folder.isEmpty())
        return;
    path_ = vb::windowSocketPath(folder, handle);
    fd_ = vb::bindDatagramSocket(path_).fd;
}

WindowReceiver::~WindowReceiver()
{
    if (fd_)
        ::unlink(QFile::encodeName(path_).constData());
}

std::optional<QByteArray> WindowReceiver::receive(int timeoutMs)
{
    pollfd p{fd_.get(), POLLIN, 0};
    char buffer[256];
    if (!fd_ || ::poll(&p, 1, timeoutMs) != 1)
        return std::nullopt;
    const ssize_t n = ::recv(fd_.get(), buffer, sizeof buffer, 0);
    return n < 0 ? std::nullopt : std::optional(QByteArray(buffer, n));
}
