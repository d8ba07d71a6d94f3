#include "runtime/SettingsStore.h"

#include "runtime/Error.h"
#include "runtime/Text.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QSet>

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

// ---- Names and values --------------------------------------------------------------------

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// UTF-16 units that a value writes as \uXXXX: what UTF-8 cannot carry (lone surrogates, handled
// by the caller) and what readers or editors drop or act on.
bool needsUnicodeEscape(char16_t u)
{
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029 || u == 0xFEFF
        || u == 0xFFFE || u == 0xFFFF;
}

// True when the text holds a unit that needs an escape, a lone surrogate included.
bool holdsUnwritable(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size()
            && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            ++i;
            continue;
        }
        if (QChar::isSurrogate(u) || needsUnicodeEscape(u))
            return true;
    }
    return false;
}

bool isWritableName(const QString& name)
{
    return !name.isEmpty() && !holdsUnwritable(name);
}

bool isWritableKey(const QString& key)
{
    if (!isWritableName(key) || key.contains(u'='))
        return false;
    const QChar first = key.front();
    return first != u'[' && first != u';' && first != u'#' && !isBlank(first) && !isBlank(key.back());
}

void checkNames(const QString& app, const QString& section, const QString& key)
{
    if (!isWritableName(app) || !isWritableName(section) || !isWritableKey(key))
        raiseError(InvalidArgument);
}

void appendUnicodeEscape(QString& out, char16_t u)
{
    static constexpr char16_t hex[] = u"0123456789ABCDEF";
    out += u"\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += QChar(hex[(u >> shift) & 0xF]);
}

QString escapeValue(const QString& value)
{
    const qsizetype n = value.size();
    qsizetype lead = 0;
    while (lead < n && value.at(lead) == u' ')
        ++lead;
    qsizetype trailStart = n;
    while (trailStart > lead && value.at(trailStart - 1) == u' ')
        --trailStart;

    QString out;
    out.reserve(n + 8);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = value.at(i).unicode();
        if (u == u' ') {
            out += (i < lead || i >= trailStart) ? QStringView(u"\\s") : QStringView(u" ");
        } else if (u == u'\\') {
            out += u"\\\\";
        } else if (u == u'\t') {
            out += u"\\t";
        } else if (u == u'\n') {
            out += u"\\n";
        } else if (u == u'\r') {
            out += u"\\r";
        } else if (QChar::isHighSurrogate(u) && i + 1 < n
                   && QChar::isLowSurrogate(value.at(i + 1).unicode())) {
            out += value.at(i);
            out += value.at(++i);
        } else if (QChar::isSurrogate(u) || needsUnicodeEscape(u)) {
            appendUnicodeEscape(out, u);
        } else {
            out += QChar(u);
        }
    }
    return out;
}

std::optional<QString> unescapeValue(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\\') {
            out += c;
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text.at(i).unicode()) {
        case u'\\': out += u'\\'; break;
        case u's': out += u' '; break;
        case u't': out += u'\t'; break;
        case u'n': out += u'\n'; break;
        case u'r': out += u'\r'; break;
        case u'u': {
            if (i + 4 >= text.size())
                return std::nullopt;
            int unit = 0;
            for (int k = 1; k <= 4; ++k) {
                const int d = hexDigitValue(text.at(i + k).unicode());
                if (d < 0)
                    return std::nullopt;
                unit = unit * 16 + d;
            }
            out += QChar(char16_t(unit));
            i += 4;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

// Strict UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF.
std::optional<QString> decodeUtf8(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out += QChar(char16_t(b));
            ++i;
            continue;
        }
        int length = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2, cp = b & 0x1F, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3, cp = b & 0x0F, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4, cp = b & 0x07, min = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + length > n)
            return std::nullopt;
        for (int k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        if (cp >= 0x10000) {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        } else {
            out += QChar(char16_t(cp));
        }
        i += length;
    }
    return out;
}

QStringView stripBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s.at(b)))
        ++b;
    while (e > b && isBlank(s.at(e - 1)))
        --e;
    return s.sliced(b, e - b);
}

// ---- The file ----------------------------------------------------------------------------

struct Line {
    enum Kind { Blank, Comment, Section, Entry };
    QByteArray raw; // the line's bytes without its LF, kept unless the change replaces the line
    Kind kind = Blank;
    QString name;   // the section's name, or the entry's key
    QString value;  // the entry's decoded value
};

struct IniFile {
    QList<Line> lines;
    bool finalNewline = true; // false when the last line has no LF (kept on rewrite)

    // The index of the header of `section`, or -1.
    qsizetype findSection(const QString& section) const
    {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].kind == Line::Section && lines[i].name == section)
                return i;
        }
        return -1;
    }

    // The index of `key` in the section whose header is at `header`, or -1.
    qsizetype findKey(qsizetype header, const QString& key) const
    {
        for (qsizetype i = header + 1; i < lines.size() && lines[i].kind != Line::Section; ++i) {
            if (lines[i].kind == Line::Entry && lines[i].name == key)
                return i;
        }
        return -1;
    }

    QByteArray serialize() const
    {
        QByteArray out;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            out += lines[i].raw;
            if (i + 1 < lines.size() || finalNewline)
                out += '\n';
        }
        return out;
    }
};

IniFile parse(const QByteArray& data, const QString& path)
{
    IniFile file;
    if (data.isEmpty())
        return file;
    QList<QByteArray> raws = data.split('\n');
    if (data.endsWith('\n'))
        raws.removeLast();
    else
        file.finalNewline = false;

    QSet<QString> sections;
    QSet<QString> keys; // of the current section
    for (qsizetype index = 0; index < raws.size(); ++index) {
        const int lineNumber = int(index + 1);
        Line line;
        line.raw = raws[index];
        QByteArrayView body = line.raw;
        if (body.endsWith('\r'))
            body.chop(1);
        if (index == 0 && body.startsWith("\xEF\xBB\xBF"))
            body = body.sliced(3);
        for (const char c : body) {
            const auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && u != '\t') || u == 0x7F)
                raiseUnparsable(path, lineNumber);
        }
        const std::optional<QString> text = decodeUtf8(body);
        if (!text)
            raiseUnparsable(path, lineNumber);
        const QStringView trimmed = stripBlanks(*text);

        if (trimmed.isEmpty()) {
            line.kind = Line::Blank;
        } else if (trimmed.front() == u';' || trimmed.front() == u'#') {
            line.kind = Line::Comment;
        } else if (trimmed.front() == u'[') {
            if (trimmed.size() < 2 || trimmed.back() != u']')
                raiseUnparsable(path, lineNumber);
            line.kind = Line::Section;
            line.name = trimmed.sliced(1, trimmed.size() - 2).toString();
            if (sections.contains(line.name))
                raiseUnparsable(path, lineNumber);
            sections.insert(line.name);
            keys.clear();
        } else {
            const qsizetype eq = text->indexOf(u'=');
            if (eq < 0)
                raiseUnparsable(path, lineNumber);
            line.kind = Line::Entry;
            line.name = stripBlanks(QStringView(*text).first(eq)).toString();
            const std::optional<QString> value =
                unescapeValue(stripBlanks(QStringView(*text).sliced(eq + 1)));
            if (line.name.isEmpty() || !value || keys.contains(line.name))
                raiseUnparsable(path, lineNumber);
            keys.insert(line.name);
            line.value = *value;
        }
        file.lines.append(std::move(line));
    }
    return file;
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

// The parsed file; an empty one when there is no file.
IniFile load(const QString& path)
{
    const std::optional<QByteArray> data = readFile(path);
    return data ? parse(*data, path) : IniFile{};
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

namespace {

// Sets one value in a parsed file: the key's line replaced, or a new line (and section) added.
void putEntry(IniFile& file, const QString& section, const QString& key, const QString& value)
{
    Line entry;
    entry.kind = Line::Entry;
    entry.name = key;
    entry.value = value;
    entry.raw = (key + u'=' + escapeValue(value)).toUtf8();

    const qsizetype header = file.findSection(section);
    if (header < 0) {
        if (!file.lines.isEmpty() && file.lines.back().kind != Line::Blank)
            file.lines.append(Line{});
        Line head;
        head.kind = Line::Section;
        head.name = section;
        head.raw = (u'[' + section + u']').toUtf8();
        file.lines.append(head);
        file.lines.append(entry);
        file.finalNewline = true;
    } else if (const qsizetype at = file.findKey(header, key); at >= 0) {
        file.lines[at] = entry;
    } else {
        // After the section's last entry, so that comments heading the next section stay there.
        qsizetype insertAt = header + 1;
        for (qsizetype i = header + 1; i < file.lines.size() && file.lines[i].kind != Line::Section; ++i) {
            if (file.lines[i].kind == Line::Entry)
                insertAt = i + 1;
        }
        if (insertAt == file.lines.size())
            file.finalNewline = true;
        file.lines.insert(insertAt, entry);
    }
}

} // namespace

void SettingsStore::SaveSetting(const QString& app, const QString& section, const QString& key,
                                  const QString& value) const
{
    checkNames(app, section, key);
    const QString path = filePath(app);
    makeFolders(folderOf(path), path);
    StoreLock lock;
    if (!lock.acquire(path, Access::Write))
        raiseErrno(ENOENT, path); // the folder vanished between its creation and the lock
    IniFile file = load(path);
    putEntry(file, section, key, value);
    writeFile(path, file.serialize());
}

bool SettingsStore::SaveSettingIf(const QString& app, const QString& section, const QString& key,
                                  const QString& expected, const QString& value) const
{
    checkNames(app, section, key);
    const QString path = filePath(app);
    StoreLock lock;
    if (!lock.acquire(path, Access::Write))
        return false; // no folder: nothing stored, so nothing to replace
    IniFile file = load(path);
    const qsizetype header = file.findSection(section);
    const qsizetype at = header < 0 ? -1 : file.findKey(header, key);
    if (at < 0 || file.lines[at].value != expected)
        return false;
    putEntry(file, section, key, value);
    writeFile(path, file.serialize());
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
    const IniFile file = load(path);
    const qsizetype header = file.findSection(section);
    const qsizetype at = header < 0 ? -1 : file.findKey(header, key);
    return at < 0 ? defaultValue : file.lines[at].value;
}

void SettingsStore::DeleteSetting(const QString& app, const QString& section, const QString& key) const
{
    checkNames(app, section, key);
    const QString path = filePath(app);
    StoreLock lock;
    if (!lock.acquire(path, Access::Write))
        raiseAt(InvalidArgument, path);
    IniFile file = load(path);
    const qsizetype header = file.findSection(section);
    const qsizetype at = header < 0 ? -1 : file.findKey(header, key);
    if (at < 0)
        raiseAt(InvalidArgument, path);
    file.lines.removeAt(at);
    // The line before the removed last one had its LF.
    if (at == file.lines.size())
        file.finalNewline = true;
    writeFile(path, file.serialize());
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
