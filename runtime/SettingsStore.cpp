#include "runtime/SettingsStore.h"

#include "runtime/Error.h"
#include "runtime/FileDescriptor.h"
#include "runtime/IniDocument.h"
#include "runtime/SettingsFaults.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vb {

namespace {

constexpr auto kLockWait = std::chrono::seconds(2);
constexpr auto kLockRetry = std::chrono::milliseconds(1);

std::atomic<int> faultAt{0};
std::atomic<int> faultErrno{0};
std::atomic<int> fallibleCalls{0};
std::atomic<bool> faultFired{false};

// Counts one fallible call; true (with errno set) when this is the one to fail.
bool injectedFailure()
{
    if (fallibleCalls.fetch_add(1) + 1 == faultAt.load() && !faultFired.exchange(true)) {
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

[[noreturn]] void raiseAt(qint32 number, const QString& path)
{
    raiseError(number, errorDescription(number) + u' ' + path);
}

// The runtime's number for a system error.
qint32 numberOf(int err)
{
    if (err == EACCES || err == EPERM || err == EROFS)
        return PermissionDenied;
    return err == ENOSPC || err == EDQUOT ? DiskFull : PathFileAccessError;
}

[[noreturn]] void raiseErrno(int err, const QString& path)
{
    raiseAt(numberOf(err), path);
}

void checkNames(const QString& app, const QString& section, const QString& key)
{
    if (!isWritableIniName(app) || !isWritableIniName(section) || !isWritableIniKey(key))
        raiseError(InvalidArgument);
}

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

// mkdir -p, every folder it creates 0700 (chmod, since the umask may have taken owner bits).
void makeFolders(const QString& folder, const QString& reportPath)
{
    const QByteArray native = QFile::encodeName(folder);
    const auto make = [&] { return sys([&] { return ::mkdir(native.constData(), 0700); }); };
    int made = make();
    if (made != 0 && errno == ENOENT && folder.lastIndexOf(u'/') > 0) {
        makeFolders(folderOf(folder), reportPath);
        made = make();
    }
    if (made == 0 ? sys([&] { return ::chmod(native.constData(), 0700); }) != 0 : errno != EEXIST)
        raiseErrno(errno, reportPath);
}

enum class Access { Read, Write };

// The exclusive lock on "<file>.lock" for one operation; nullopt when the folder does not exist
// (nothing is stored), no descriptor for a reader that may not create the lock file. flock has
// no timeout, so it is tried without blocking until the deadline.
std::optional<FileDescriptor> lockStore(const QString& path, Access access)
{
    const QString lockPath = path + QStringLiteral(".lock");
    const QByteArray native = QFile::encodeName(lockPath);
    FileDescriptor fd(sys([&] { return ::open(native.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600); }));
    if (!fd) {
        const int err = errno;
        if (err == ENOENT)
            return std::nullopt;
        // A read-only folder: writers replace the file by an atomic rename, so a reader sees one
        // whole version without the lock too.
        if (access == Access::Read && numberOf(err) == PermissionDenied)
            return FileDescriptor();
        raiseErrno(err, lockPath);
    }
    // A process that locks again at once (a busy writer) would leave a sleeping waiter almost
    // no chance. So a waiter marks itself with a shared lock on the lock file's first byte (an
    // open file description lock, apart from flock), and a first try that finds a mark steps
    // back once.
    struct flock mark = {};
    mark.l_type = F_RDLCK;
    mark.l_len = 1;
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    for (bool first = true;; first = false) {
        if (sys([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) == 0) {
            struct flock probe = mark;
            probe.l_type = F_WRLCK;
            if (!first || ::fcntl(fd.get(), F_OFD_GETLK, &probe) != 0 || probe.l_type == F_UNLCK)
                return fd;
            ::flock(fd.get(), LOCK_UN);
        } else if (errno != EWOULDBLOCK) {
            raiseErrno(errno, lockPath);
        }
        if (first)
            ::fcntl(fd.get(), F_OFD_SETLK, &mark);
        if (std::chrono::steady_clock::now() >= deadline)
            raiseAt(PathFileAccessError, lockPath);
        std::this_thread::sleep_for(kLockRetry);
    }
}

// The file's document; an empty one when there is no file.
IniDocument load(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK: a FIFO planted at the path must not hang the program.
    const FileDescriptor fd(sys([&] { return ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
    if (!fd) {
        if (errno == ENOENT)
            return IniDocument();
        raiseErrno(errno, path);
    }
    struct stat st;
    if (sys([&] { return ::fstat(fd.get(), &st); }) != 0)
        raiseErrno(errno, path);
    if (!S_ISREG(st.st_mode))
        raiseErrno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path);
    QByteArray data;
    char buffer[16384];
    for (ssize_t n; (n = sys([&] { return ::read(fd.get(), buffer, sizeof buffer); })) != 0;) {
        if (n < 0)
            raiseErrno(errno, path);
        data.append(buffer, n);
    }
    int line = 0;
    std::optional<IniDocument> document = IniDocument::parse(data, &line);
    if (!document)
        raiseError(PathFileAccessError, errorDescription(PathFileAccessError) + u' ' + path + u':' + QString::number(line));
    return std::move(*document);
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
    const FileDescriptor dir(sys([&] { return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (dir.get() < 0 || sys([&] { return ::fsync(dir.get()); }) != 0)
        raiseErrno(errno, path);
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
    const auto lock = lockStore(path, Access::Write);
    if (!lock)
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
    const auto lock = lockStore(path, Access::Write);
    if (!lock)
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
    const auto lock = lockStore(path, Access::Read);
    return lock ? load(path).value(section, key).value_or(defaultValue) : defaultValue;
}

void SettingsStore::DeleteSetting(const QString& app, const QString& section, const QString& key) const
{
    checkNames(app, section, key);
    const QString path = filePath(app);
    const auto lock = lockStore(path, Access::Write);
    IniDocument document = lock ? load(path) : IniDocument();
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
