#include "runtime/Library.h"

#include "runtime/Error.h"
#include "tamo_version.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

// Set by the build for this file only: the build tree's program folder.
#ifndef TAMO_MULTIARCH
#define TAMO_MULTIARCH ""
#endif
#ifndef TAMO_BUILD_BIN_DIR
#define TAMO_BUILD_BIN_DIR ""
#endif

namespace vb {

namespace {

// The kernel's link to the running program: absolute, with symbolic links resolved, and
// independent of argv[0] and of the current directory.
QString readProgramPath()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer))
        return {};
    return QFile::decodeName(QByteArray(buffer, n));
}

// The file the loader picked for a handle, also when it searched the system's path for it.
QString loadedPath(void* handle)
{
    link_map* map = nullptr;
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr)
        return {};
    return QFile::decodeName(map->l_name);
}

} // namespace

QString programLibraryDirFor(const QString& programPath, const QString& buildBinDir,
                             const QString& privateFromBin)
{
    if (programPath.isEmpty() || !QDir::isAbsolutePath(programPath))
        return {};
    const QString binDir = QFileInfo(programPath).path();
    if (!buildBinDir.isEmpty() && binDir == buildBinDir)
        return QDir::cleanPath(binDir + QStringLiteral("/../lib"));
    if (QDir::isAbsolutePath(privateFromBin))
        return QDir::cleanPath(privateFromBin);
    return QDir::cleanPath(binDir + u'/' + privateFromBin);
}

QString programLibraryDir()
{
    static const QString dir = [] {
        // Canonical, as /proc/self/exe is: the build folder may be reached through a link.
        const QString buildBin = QFileInfo(QFile::decodeName(TAMO_BUILD_BIN_DIR)).canonicalFilePath();
        return programLibraryDirFor(readProgramPath(), buildBin,
                                    QFile::decodeName(TAMO_PRIVATE_LIBDIR_FROM_BIN));
    }();
    return dir;
}

QStringList librarySearchList(const QString& library, const QString& programLibraryDir,
                              const QByteArray& ldLibraryPath)
{
    if (library.isEmpty())
        return {};
    if (QDir::isAbsolutePath(library))
        return {library};
    // A relative path with a folder would be read from the current directory.
    if (library.contains(u'/'))
        return {};
    QStringList names;
    if (!programLibraryDir.isEmpty())
        names.append(programLibraryDir + u'/' + library);
    // Without a slash the loader searches only LD_LIBRARY_PATH, the run paths, its cache and
    // the default folders, unless LD_LIBRARY_PATH names the current folder. The loader ends an
    // entry at ';' as well as at ':'.
    const QList<QByteArray> entries = QByteArray(ldLibraryPath).replace(';', ':').split(':');
    const bool namesCurrentFolder = !ldLibraryPath.isNull()
        && std::any_of(entries.begin(), entries.end(), [](const QByteArray& e) { return !e.startsWith('/'); });
    if (!namesCurrentFolder) {
        names.append(library);
        return names;
    }
    QStringList folders;
    for (const QByteArray& e : entries) {
        if (e.startsWith('/'))
            folders.append(QFile::decodeName(e));
    }
    folders << QStringLiteral("/usr/local/lib") << QStringLiteral("/usr/lib/" TAMO_MULTIARCH)
            << QStringLiteral("/usr/lib") << QStringLiteral("/lib/" TAMO_MULTIARCH) << QStringLiteral("/lib");
    for (const QString& folder : folders)
        names.append(QDir::cleanPath(folder + u'/' + library));
    return names;
}

LibraryFunction::LibraryFunction(QString library, QByteArray entry)
    : library_(std::move(library)), entry_(std::move(entry))
{
}

void* LibraryFunction::bind()
{
    std::lock_guard lock(mutex_);
    if (void* bound = address_.load(std::memory_order_acquire))
        return bound; // another thread bound it meanwhile
    ++attempts_;
    void* handle = nullptr;
    for (const QString& name : librarySearchList(library_, programLibraryDir())) {
        // RTLD_NOW: a library whose own dependencies are missing fails here, not at the call.
        handle = ::dlopen(QFile::encodeName(name).constData(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr)
            break;
    }
    if (handle == nullptr)
        raiseError(FileNotFound);
    void* address = ::dlsym(handle, entry_.constData());
    if (address == nullptr) {
        ::dlclose(handle);
        raiseError(EntryPointNotFound);
    }
    handle_ = handle;
    loadedFrom_ = loadedPath(handle);
    address_.store(address, std::memory_order_release);
    return address;
}

int LibraryFunction::bindAttempts() const
{
    std::lock_guard lock(mutex_);
    return attempts_;
}

QString LibraryFunction::loadedFrom() const
{
    std::lock_guard lock(mutex_);
    return loadedFrom_;
}

void LibraryFunction::reset(QString library)
{
    std::lock_guard lock(mutex_);
    address_.store(nullptr, std::memory_order_release);
    if (handle_ != nullptr)
        ::dlclose(handle_);
    handle_ = nullptr;
    loadedFrom_.clear();
    attempts_ = 0;
    library_ = std::move(library);
}

} // namespace vb
