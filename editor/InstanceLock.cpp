#include "editor/InstanceLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace zp {

InstanceLock::InstanceLock(QString path) : path_(std::move(path)) { }

bool InstanceLock::anotherInstanceRunning()
{
    if (fd_.valid() || path_.isEmpty())
        return false;
    const QByteArray name = QFile::encodeName(path_);
    vb::FileDescriptor fd(::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd)
        return false;
    int rc;
    do {
        rc = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0)
        return errno == EWOULDBLOCK;
    fd_ = std::move(fd);
    return false;
}

} // namespace zp
