#include "gui/SingleInstance.h"

#include "runtime/DatagramSocket.h"
#include "runtime/RuntimeFolder.h"

#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>

namespace gui {

namespace {
// The whole request: anything else that reaches the socket is dropped.
const QByteArray kRaiseRequest("raise");
} // namespace

SingleInstance::SingleInstance(const QString& program, const QString& folder, QObject* parent)
    : QObject(parent)
{
    if (!folder.isEmpty()) {
        lockPath_ = vb::instanceLockPath(folder, program);
        socketPath_ = vb::instanceSocketPath(folder, program);
    }
}

SingleInstance::~SingleInstance()
{
    // Still the lock's holder here, so the socket file is ours to remove.
    if (socket_)
        ::unlink(QFile::encodeName(socketPath_).constData());
}

bool SingleInstance::anotherInstanceRunning()
{
    if (lock_ || lockPath_.isEmpty())
        return false;
    vb::FileDescriptor fd(::open(QFile::encodeName(lockPath_).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd)
        return false;
    int rc;
    do {
        rc = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (errno != EWOULDBLOCK)
            return false;
        // The first may still be starting and not yet listening: then it comes up in front anyway.
        vb::sendDatagram(socketPath_, kRaiseRequest);
        return true;
    }
    lock_ = std::move(fd);
    listen();
    return false;
}

void SingleInstance::listen()
{
    // Without the socket the instance still runs alone; a later one just cannot raise it.
    vb::BoundSocket bound = vb::bindDatagramSocket(socketPath_);
    if (bound.failure != vb::BoundSocket::None)
        return;
    socket_ = std::move(bound.fd);
    notifier_ = new QSocketNotifier(socket_.get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SingleInstance::readRequests);
}

void SingleInstance::readRequests()
{
    bool requested = false;
    char buffer[64];
    for (;;) {
        const ssize_t n = ::recv(socket_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        requested |= QByteArray::fromRawData(buffer, n) == kRaiseRequest;
    }
    // Several launches in a row raise the window once.
    if (requested && raise_)
        raise_();
}

void SingleInstance::onRaiseRequest(std::function<void()> raise)
{
    raise_ = std::move(raise);
}

void SingleInstance::raiseOnRequest(QWidget* window)
{
    onRaiseRequest([window = QPointer<QWidget>(window)] {
        if (window)
            bringToFront(window);
    });
}

void bringToFront(QWidget* window)
{
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace gui
