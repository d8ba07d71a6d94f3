#include "runtime/SettingsStore.h"

#include "runtime/Error.h"
#include "runtime/FileDescriptor.h"
#include "runtime/IniDocument.h"
#include "runtime/SettingsFaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
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
// What follows the file's name in the store's temporary files, before mkstemp's six characters.
constexpr char kTemporaryInfix[] = ".tamo-new-";

std::atomic<int> faultAt{0};
std::atomic<int> faultErrno{0};
std::atomic<int> fallibleCalls{0};
std::atomic<bool> faultFired{false};

// A system call that returns -1 and sets errno on failure, retried on EINTR; the injected
// fault, when this is the call to fail.
template <class Call>
auto sys(Call call) -> decltype(call())
{
    if (fallibleCalls.fetch_add(1) + 1 == faultAt.load() && !faultFired.exchange(true)) {
        errno = faultErrno.load();
        return -1;
    }
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
        // A read-only folder or a full disk: writers replace the file by an atomic rename, so a
        // reader sees one whole version without the lock too.
        if (access == Access::Read && numberOf(err) != PathFileAccessError)
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

// A writer killed between writing its temporary file and the rename leaves a whole copy. Under
// the lock no other writer is under way, so every regular file of that name is such a copy.
void removeLeftovers(const QFileInfo& file)
{
    const QString prefix = file.fileName() + QLatin1String(kTemporaryInfix);
    const QDir folder = file.dir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        if (name.size() == prefix.size() + 6 && name.startsWith(prefix)
            && std::all_of(name.cbegin() + prefix.size(), name.cend(),
                           [](QChar c) { return c.unicode() < 0x80 && c.isLetterOrNumber(); }))
            QFile::remove(folder.filePath(name));
    }
}

void writeFile(const QString& path, const QByteArray& data)
{
    // Through a symbolic link (a dotfile manager's) to the file it names.
    QFileInfo file(path);
    for (int depth = 0; file.isSymLink() && depth < 40; ++depth)
        file.setFile(file.symLinkTarget());
    const QByteArray native = QFile::encodeName(file.filePath());
    // A file its owner made read-only stays as it is, although the folder would let us replace it.
    if (sys([&] { return ::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS); }) != 0 && errno != ENOENT)
        raiseErrno(errno, path);
    removeLeftovers(file);
    QByteArray temporary = native + kTemporaryInfix + "XXXXXX";
    FileDescriptor fd(sys([&] { return ::mkostemp(temporary.data(), O_CLOEXEC); }));
    if (!fd)
        raiseErrno(errno, path);
    auto removeTemporary = qScopeGuard([&] { ::unlink(temporary.constData()); });
    if (sys([&] { return ::fchmod(fd.get(), 0600); }) != 0) // against a umask that takes owner bits
        raiseErrno(errno, path);
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = sys([&] { return ::write(fd.get(), data.constData() + done, size_t(data.size() - done)); });
        if (n < 0)
            raiseErrno(errno, path);
        done += n;
    }
    if (sys([&] { return ::fsync(fd.get()); }) != 0)
        raiseErrno(errno, path);
    // Closed before the rename: closed after, it would be reported to watchers (tamo-clock) as a
    // second change of the settings file.
    fd.reset();
    if (sys([&] { return ::rename(temporary.constData(), native.constData()); }) != 0)
        raiseErrno(errno, path);
    removeTemporary.dismiss();
    // The rename lasts only once the folder itself is on disk.
    const QByteArray folder = QFile::encodeName(file.path());
    const FileDescriptor dir(sys([&] { return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (!dir || sys([&] { return ::fsync(dir.get()); }) != 0)
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
