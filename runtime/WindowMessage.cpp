#include "runtime/WindowMessage.h"

#include "runtime/DatagramSocket.h"
#include "runtime/RuntimeFolder.h"

#include <QtEndian>

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
    // The result is not examined: a missing host or a full queue is the host's affair.
    (void)sendDatagram(windowSocketPath(folder, handle), encodeWindowMessage({msg, wParam, lParam}));
}

} // namespace vb
