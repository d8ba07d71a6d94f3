#include "runtime/SettingsStore.h"

#include "runtime/Error.h"
#include "runtime/IniDocument.h"
#include "runtime/SettingsFaults.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vb {

namespace {

constexpr auto kLockWait = std::chrono::seconds(2);

// ---- Failure injection -------------------------------------------------------------------

std::atomic<int> faultAt{0};
std::atomic<int> faultErrno{0};
std::atomic<int> fallibleCalls{0};
std::atomic<bool> faultFired{false};

// Counts one fallible call; true (with errno set) when this is the one to fail.
bool injectedFailure()
{
    const int n = fallibleCalls.fetch_add(1) + 1;
    if (n == faultAt.load() && !faultFired.exchange(true)) {
        errno = faultErrno.load();
        return true;
    }
    return false;
}

// A system call that returns -1 and sets errno on failure, retried on EINTR.
template <class Call>
auto sys(Call call) -> decltype(call())
{
    if (injectedFailure())
        return -1;
    decltype(call()) r;
    do {
        r = call();
    } while (r == -1 && errno == EINTR);
    return r;
}

// ---- Errors ------------------------------------------------------------------------------

[[noreturn]] void raiseAt(qint32 number, const QString& path)
{
    raiseError(number, errorDescription(number) + u' ' + path);
}

[[noreturn]] void raiseErrno(int err, const QString& path)
{
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        raiseAt(PermissionDenied, path);
    case ENOSPC:
    case EDQUOT:
        raiseAt(DiskFull, path);
    default:
        raiseAt(PathFileAccessError, path);
    }
}

[[noreturn]] void raiseUnparsable(const QString& path, int line)
{
    raiseError(PathFileAccessError, errorDescription(PathFileAccessError) + u' ' + path + u':'
                   + QString::number(line));
}

void checkNames(const QString& app, const QString& section, const QString& key)
{
    if (!isWritableIniName(app) || !isWritableIniName(section) || !isWritableIniKey(key))
        raiseError(InvalidArgument);
}

// ---- Paths -------------------------------------------------------------------------------

QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QString homeFolder()
{
    const QByteArray home = qgetenv("HOME");
    if (home.startsWith('/'))
        return QFile::decodeName(home);
    struct passwd pw;
    struct passwd* result = nullptr;
    char buffer[4096];
    if (getpwuid_r(geteuid(), &pw, buffer, sizeof buffer, &result) == 0 && result)
        return QFile::decodeName(pw.pw_dir);
    return QStringLiteral("/");
}

QString environmentConfigHome()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    if (xdg.startsWith('/'))
        return withoutTrailingSlashes(QFile::decodeName(xdg));
    return withoutTrailingSlashes(homeFolder()) + QStringLiteral("/.config");
}

QString folderOf(const QString& filePath)
{
    return filePath.left(filePath.lastIndexOf(u'/'));
}

// mkdir -p with mode 0700 for every folder it creates.
void makeFolders(const QString& folder, const QString& reportPath)
{
    const QByteArray native = QFile::encodeName(folder);
    if (sys([&] { return ::mkdir(native.constData(), 0700); }) == 0) {
        // The umask may have taken owner bits away.
        if (sys([&] { return ::chmod(native.constData(), 0700); }) != 0)
            raiseErrno(errno, reportPath);
        return;
    }
    if (errno == EEXIST)
        return;
    const qsizetype slash = folder.lastIndexOf(u'/');
    if (errno != ENOENT || slash <= 0)
        raiseErrno(errno, reportPath);
    makeFolders(folder.left(slash), reportPath);
    if (sys([&] { return ::mkdir(native.constData(), 0700); }) != 0 && errno != EEXIST)
        raiseErrno(errno, reportPath);
}

// ---- The lock ----------------------------------------------------------------------------

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) { }
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// flock has no timeout. A helper thread waits on a duplicate of the descriptor (a flock belongs
// to the open file, not the descriptor) while this thread waits at most `wait` for it; a lock
// that arrives after we gave up is dropped by the helper when it closes the last descriptor.
bool waitForLock(int fd, std::chrono::milliseconds wait)
{
    struct Waiter {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool locked = false;
    };
    const int spare = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (spare < 0)
        return false;
    auto waiter = std::make_shared<Waiter>();
    const auto waitInHelper = [waiter, spare] {
        int r;
        do {
            r = ::flock(spare, LOCK_EX);
        } while (r == -1 && errno == EINTR);
        std::lock_guard lock(waiter->mutex);
        waiter->finished = true;
        waiter->locked = r == 0;
        // While the caller still holds `fd`, closing the duplicate keeps the lock; once the
        // caller has given up and closed it, this close releases the lock.
        ::close(spare);
        waiter->done.notify_all();
    };
    try {
        std::thread(waitInHelper).detach();
    } catch (const std::system_error&) {
        ::close(spare); // no thread to wait with: as if the wait had run out
        return false;
    }
    std::unique_lock lock(waiter->mutex);
    return waiter->done.wait_for(lock, wait, [&] { return waiter->finished; }) && waiter->locked;
}

enum class Access { Read, Write };

// Holds the exclusive lock on "<file>.lock" for one operation. A reader that may not create
// or open the lock file (a read-only folder or file system) reads without it: writers replace
// the file by an atomic rename, so a reader sees one whole version either way.
class StoreLock {
public:
    // False when the folder does not exist (nothing is stored; a reader has nothing to lock).
    bool acquire(const QString& iniPath, Access access)
    {
        const QString lockPath = iniPath + QStringLiteral(".lock");
        const QByteArray native = QFile::encodeName(lockPath);
        const int fd = sys([&] {
            return ::open(native.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
        });
        if (fd < 0) {
            const int err = errno;
            if (err == ENOENT)
                return false;
            if (access == Access::Read && (err == EACCES || err == EPERM || err == EROFS))
                return true;
            raiseErrno(err, lockPath);
        }
        fd_ = fd;
        if (sys([&] { return ::flock(fd_, LOCK_EX | LOCK_NB); }) == 0)
            return true;
        if (errno != EWOULDBLOCK)
            raiseErrno(errno, lockPath);
        if (!waitForLock(fd_, kLockWait))
            raiseAt(PathFileAccessError, lockPath);
        return true;
    }

    ~StoreLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

private:
    int fd_ = -1;
};

// ---- Reading and writing -----------------------------------------------------------------

// The file's bytes; nullopt when there is no file.
std::optional<QByteArray> readFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK: a FIFO planted at the path must not hang the program.
    FileDescriptor fd(sys([&] { return ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        raiseErrno(errno, path);
    }
    struct stat st;
    if (sys([&] { return ::fstat(fd.get(), &st); }) != 0)
        raiseErrno(errno, path);
    if (!S_ISREG(st.st_mode))
        raiseErrno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path);
    QByteArray data;
    char buffer[16384];
    for (;;) {
        const ssize_t n = sys([&] { return ::read(fd.get(), buffer, sizeof buffer); });
        if (n < 0)
            raiseErrno(errno, path);
        if (n == 0)
            break;
        data.append(buffer, n);
    }
    return data;
}

void writeFile(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    errno = 0;
    if (injectedFailure() || !file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        int err = errno;
        if (err == 0)
            err = file.error() == QFileDevice::PermissionsError ? EACCES : EIO;
        raiseErrno(err, path);
    }
    // Bytes go straight to the temporary file's descriptor, so every failure keeps its errno
    // (a full disk must read 61, not a generic write error). Nothing is buffered in QSaveFile.
    const int fd = file.handle();
    if (sys([&] { return ::fchmod(fd, 0600); }) != 0)
        raiseErrno(errno, path);
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n =
            sys([&] { return ::write(fd, data.constData() + done, size_t(data.size() - done)); });
        if (n < 0)
            raiseErrno(errno, path);
        done += n;
    }
    if (sys([&] { return ::fsync(fd); }) != 0)
        raiseErrno(errno, path);
    errno = 0;
    if (injectedFailure() || !file.commit()) {
        const int err = errno != 0 ? errno : EIO;
        file.cancelWriting();
        raiseErrno(err, path);
    }
    // The rename is durable only once the folder itself is on disk. QSaveFile writes through
    // a symbolic link (a dotfile manager's), so that is the target's folder.
    const QString written = QFileInfo(path).canonicalFilePath();
    const QByteArray folder = QFile::encodeName(folderOf(written.isEmpty() ? path : written));
    FileDescriptor dir(sys([&] { return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (dir.get() < 0 || sys([&] { return ::fsync(dir.get()); }) != 0)
        raiseErrno(errno, path);
}

// The file's document; an empty one when there is no file.
IniDocument load(const QString& path)
{
    const std::optional<QByteArray> data = readFile(path);
    int line = 0;
    std::optional<IniDocument> document = data ? IniDocument::parse(*data, &line) : IniDocument();
    if (!document)
        raiseUnparsable(path, line);
    return std::move(*document);
}

} // namespace

SettingsStore SettingsStore::fromEnvironment()
{
    return SettingsStore(environmentConfigHome());
}

SettingsStore::SettingsStore(QString configHome) : configHome_(withoutTrailingSlashes(std::move(configHome))) { }

QString SettingsStore::filePath(const QString& app) const
{
    QString name = app;
    name.replace(u'%', QStringLiteral("%25"));
    name.replace(u'/', QStringLiteral("%2F"));
    return configHome_ + QStringLiteral("/vb-program-settings/") + name + QStringLiteral(".ini");
}

void SettingsStore::SaveSetting(const QString& app, const QString& section, const QString& key,
                                  const QString& value) const
{
    checkNames(app, section, key);
    const QString path = filePath(app);
    makeFolders(folderOf(path), path);
    StoreLock lock;
    if (!lock.acquire(path, Access::Write))
        raiseErrno(ENOENT, path); // the folder vanished between its creation and the lock
    IniDocument document = load(path);
    document.setValue(section, key, value);
    writeFile(path, document.serialize());
}

bool SettingsStore::SaveSettingIf(const QString& app, const QString& section, const QString& key,
                                  const QString& expected, const QString& value) const
{
    checkNames(app, section, key);
    const QString path = filePath(app);
    StoreLock lock;
    if (!lock.acquire(path, Access::Write))
        return false; // no folder: nothing stored, so nothing to replace
    IniDocument document = load(path);
    if (document.value(section, key) != expected)
        return false;
    document.setValue(section, key, value);
    writeFile(path, document.serialize());
    return true;
}

QString SettingsStore::GetSetting(const QString& app, const QString& section, const QString& key,
                                     const QString& defaultValue) const
{
    checkNames(app, section, key);
    const QString path = filePath(app);
    StoreLock lock;
    if (!lock.acquire(path, Access::Read))
        return defaultValue;
    return load(path).value(section, key).value_or(defaultValue);
}

void SettingsStore::DeleteSetting(const QString& app, const QString& section, const QString& key) const
{
    checkNames(app, section, key);
    const QString path = filePath(app);
    StoreLock lock;
    if (!lock.acquire(path, Access::Write))
        raiseAt(InvalidArgument, path);
    IniDocument document = load(path);
    if (!document.remove(section, key))
        raiseAt(InvalidArgument, path);
    writeFile(path, document.serialize());
}

void injectSettingsFault(int nth, int errnoValue)
{
    faultAt.store(0);
    fallibleCalls.store(0);
    faultFired.store(false);
    faultErrno.store(errnoValue);
    faultAt.store(nth);
}

int settingsFallibleCalls()
{
    return fallibleCalls.load();
}

bool settingsFaultFired()
{
    return faultFired.load();
}

} // namespace vb
