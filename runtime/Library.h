#pragma once
// Binding at first use: a function of a shared library that is looked up by name at the first
// call that needs it, not at start, so that a program runs without the library and only what
// calls the function misses it. Until a binding succeeds every call tries again; once bound,
// calls go straight to the function for the rest of the run.
//
// Where a library given by bare file name is looked for, in order: the program's own library
// folder, found from the program's own path (bin/../lib in the build tree, the installed
// private library folder otherwise), then the system's library path. Never the current working
// directory: a library planted there must not run inside the program. Depends on Qt Core and
// the POSIX dynamic loader.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>

namespace vb {

class LibraryFunction {
public:
    // `library`: a bare file name, looked for as above, or an absolute path, loaded from there
    // only; a relative path with a folder in it is never loaded. `entry`: the exported name.
    LibraryFunction(QString library, QByteArray entry);
    // The library stays loaded: the program may still hold the function's address.
    ~LibraryFunction() = default;
    LibraryFunction(const LibraryFunction&) = delete;
    LibraryFunction& operator=(const LibraryFunction&) = delete;

    // The function's address. While unbound, binds first: raises 53 when the library cannot be
    // loaded, 453 when it has no such entry, and the next call tries again.
    void* address()
    {
        if (void* bound = address_.load(std::memory_order_acquire))
            return bound;
        return bind();
    }
    template <class Function>
    Function function() { return reinterpret_cast<Function>(address()); }

    bool isBound() const { return address_.load(std::memory_order_acquire) != nullptr; }
    // How often binding has been tried since construction or the last reset.
    int bindAttempts() const;
    // The file the binding loaded, as the loader resolved it; empty while unbound.
    QString loadedFrom() const;

    // Forgets the binding, unloading the library, and names the library to bind next. For
    // tests: the program's own functions are bound once and never reset.
    void reset(QString library);

private:
    void* bind();

    mutable std::mutex mutex_;
    std::atomic<void*> address_{nullptr};
    QString library_;
    QByteArray entry_;
    void* handle_ = nullptr;
    QString loadedFrom_;
    int attempts_ = 0;
};

// The program's own library folder; empty when the program's own path cannot be read.
QString programLibraryDir();
// The same for a given absolute program path: `buildBinDir` is the build tree's program folder
// (whose libraries lie in ../lib), `privateFromBin` the installed private library folder
// relative to the installed program folder. Empty for an empty or relative program path.
QString programLibraryDirFor(const QString& programPath, const QString& buildBinDir,
                             const QString& privateFromBin);
// The names handed to the loader for `library`, in the order tried: the file in
// `programLibraryDir` (when known), then the bare name, which the loader looks for in the
// system's library path only. An absolute path is tried as it is; a relative path with a
// folder, or an empty name, gives nothing to try. The loader reads an empty or relative entry
// of LD_LIBRARY_PATH (`ldLibraryPath`) as the current folder, so with such an entry the bare
// name is replaced by the absolute entries and the default folders, each as a full path
// (entries end at ':' or ';', as the loader reads them).
QStringList librarySearchList(const QString& library, const QString& programLibraryDir,
                              const QByteArray& ldLibraryPath = qgetenv("LD_LIBRARY_PATH"));

} // namespace vb
