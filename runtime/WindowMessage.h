#pragma once
// Window messages without windows: a "window handle" is a signed 32-bit number that a host
// publishes, and a message to it travels as one datagram on a Unix datagram socket bound at
// D/window-<handle> (RuntimeFolder.h). The datagram is 12 bytes: the message and its two
// parameters, each a little-endian signed 32-bit integer. Depends on Qt Core only.

#include <QByteArray>

#include <optional>

namespace vb {

inline constexpr int kWindowMessageSize = 12;

struct WindowMessage {
    qint32 msg = 0;
    qint32 wParam = 0;
    qint32 lParam = 0;
    friend bool operator==(const WindowMessage&, const WindowMessage&) = default;
};

// The 12 bytes of a message.
QByteArray encodeWindowMessage(const WindowMessage& message);
// The message in a datagram; nullopt unless it is exactly 12 bytes long.
std::optional<WindowMessage> decodeWindowMessage(const QByteArray& datagram);

// Sends the message to the socket of window `handle` in the runtime folder, without waiting
// and without creating anything. The result is not examined: an unusable runtime folder, no
// socket, no reader, a full queue, a path too long for a socket address all pass in silence.
void PostMessage(qint32 handle, qint32 msg, qint32 wParam, qint32 lParam);

} // namespace vb
