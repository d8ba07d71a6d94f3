#pragma once
// Unix datagram sockets named by a path: the one place that builds a socket address, binds a
// receiving socket and sends a datagram without waiting. The window messages and the clock's
// host use it. Depends on Qt Core and POSIX only.

#include "runtime/FileDescriptor.h"

#include <QByteArray>
#include <QString>

namespace vb {

struct BoundSocket {
    enum Failure { None, PathTooLong, CannotCreate, CannotBind };
    FileDescriptor fd; // valid only when failure is None
    Failure failure = None;
    int error = 0; // errno of the call that failed
};

// A non-blocking, close-on-exec datagram socket bound at `path`. A socket file already there
// is taken for one left behind and replaced; any other file makes the bind fail.
BoundSocket bindDatagramSocket(const QString& path);

// Sends one datagram to the socket at `path` without waiting and without SIGPIPE; false when
// it was not sent (no such socket, no reader, a full queue, a path too long for an address).
bool sendDatagram(const QString& path, const QByteArray& datagram);

} // namespace vb
