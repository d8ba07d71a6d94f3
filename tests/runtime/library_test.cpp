#include "runtime/Error.h"
#include "runtime/Library.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <functional>

using namespace vb;

namespace {

using Meter = std::int32_t (*)(std::int32_t);
const QByteArray kEntry = "MyGetFreeSystemResources32";

qint32 errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.number;
    }
    return 0;
}

// True while the process has the file loaded; asks the loader without loading it.
bool isLoaded(const QString& path)
{
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr)
        ::dlclose(handle);
    return handle != nullptr;
}

QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

TEST(LibrarySearch, ProgramLibraryFolderFromTheProgramsOwnPath)
{
    struct Row {
        const char* name;
        const char* program;
        const char* buildBin;
        const char* fromBin;
        const char* expected;
    };
    const Row rows[] = {
        {"build tree", "/w/build/bin/TamoZP", "/w/build/bin", "../lib/tamo", "/w/build/lib"},
        {"installed under /usr/local", "/usr/local/bin/TamoZP", "/w/build/bin", "../lib/tamo",
         "/usr/local/lib/tamo"},
        {"installed with a Debian multiarch libdir", "/usr/bin/TamoZP", "/w/build/bin",
         "../lib/x86_64-linux-gnu/tamo", "/usr/lib/x86_64-linux-gnu/tamo"},
        {"installed into a DESTDIR", "/tmp/d/usr/bin/TamoZP", "/w/build/bin",
         "../lib/x86_64-linux-gnu/tamo", "/tmp/d/usr/lib/x86_64-linux-gnu/tamo"},
        {"unknown build folder", "/w/build/bin/TamoZP", "", "../lib/tamo", "/w/build/lib/tamo"},
        {"below the build folder is not the build folder", "/w/build/bin/sub/p", "/w/build/bin",
         "../lib/tamo", "/w/build/bin/lib/tamo"},
        {"a name that only starts like the build folder", "/w/build/binx/p", "/w/build/bin",
         "../lib/tamo", "/w/build/lib/tamo"},
        {"absolute private folder", "/usr/bin/TamoZP", "", "/opt/tamo/lib", "/opt/tamo/lib"},
        {"program path unknown", "", "/w/build/bin", "../lib/tamo", ""},
        {"relative program path is never trusted", "bin/TamoZP", "bin", "../lib/tamo", ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(programLibraryDirFor(QString::fromUtf8(r.program), QString::fromUtf8(r.buildBin),
                                       QString::fromUtf8(r.fromBin)),
                  QString::fromUtf8(r.expected))
            << r.name;
}

TEST(LibrarySearch, OrderAndNamesNeverReadFromTheCurrentDirectory)
{
    struct Row {
        const char* name;
        const char* library;
        const char* programDir;
        QStringList expected;
    };
    const Row rows[] = {
        {"bare name: own folder, then system path", "librsrc32.so", "/usr/lib/tamo",
         {QStringLiteral("/usr/lib/tamo/librsrc32.so"), QStringLiteral("librsrc32.so")}},
        {"bare name without own folder", "librsrc32.so", "", {QStringLiteral("librsrc32.so")}},
        {"absolute path as it is", "/opt/x/libm.so", "/usr/lib/tamo", {QStringLiteral("/opt/x/libm.so")}},
        {"dot-slash", "./librsrc32.so", "/usr/lib/tamo", {}},
        {"relative folder", "lib/librsrc32.so", "/usr/lib/tamo", {}},
        {"parent folder", "../librsrc32.so", "/usr/lib/tamo", {}},
        {"empty", "", "/usr/lib/tamo", {}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(librarySearchList(QString::fromUtf8(r.library), QString::fromUtf8(r.programDir)),
                  r.expected)
            << r.name;
}

TEST(LibrarySearch, ThisTestRunsFromTheBuildTreeAndFindsBuildLib)
{
    EXPECT_EQ(canonical(programLibraryDir()), canonical(QFileInfo(QStringLiteral(TAMO_RSRC32_FILE)).path()));
    LibraryFunction meter(QStringLiteral("librsrc32.so"), kEntry);
    const std::int32_t free = meter.function<Meter>()(1);
    EXPECT_GE(free, 0);
    EXPECT_LE(free, 100);
    EXPECT_EQ(canonical(meter.loadedFrom()), canonical(QStringLiteral(TAMO_RSRC32_FILE)));
}

TEST(LibrarySearch, BareNamesFallBackToTheSystemLibraryPath)
{
    LibraryFunction cosine(QStringLiteral("libm.so.6"), "cos");
    using Cos = double (*)(double);
    EXPECT_EQ(cosine.function<Cos>()(0.0), 1.0);
    EXPECT_TRUE(QDir::isAbsolutePath(cosine.loadedFrom())) << cosine.loadedFrom().toStdString();
    EXPECT_FALSE(canonical(cosine.loadedFrom()).startsWith(canonical(programLibraryDir())));
}

TEST(LibraryFunction, BindsAtTheFirstCallOnlyAndThenGoesStraightToTheFunction)
{
    const QString path = QStringLiteral(TAMO_FAKE_METER);
    LibraryFunction meter(path, kEntry);
    EXPECT_FALSE(meter.isBound());
    EXPECT_FALSE(isLoaded(path)) << "nothing is loaded before the first call";
    EXPECT_EQ(meter.bindAttempts(), 0);

    EXPECT_EQ(meter.function<Meter>()(0), 85);
    EXPECT_EQ(meter.function<Meter>()(2), 150);
    EXPECT_EQ(meter.function<Meter>()(1), -1);
    EXPECT_TRUE(meter.isBound());
    EXPECT_EQ(meter.bindAttempts(), 1);
    EXPECT_EQ(canonical(meter.loadedFrom()), canonical(path));
    EXPECT_TRUE(isLoaded(path));

    meter.reset(path);
    EXPECT_FALSE(meter.isBound());
    EXPECT_EQ(meter.bindAttempts(), 0);
    EXPECT_TRUE(meter.loadedFrom().isEmpty());
    EXPECT_FALSE(isLoaded(path)) << "reset unloads";
}

TEST(LibraryFunction, MissingLibraryRaises53AndEveryCallTriesAgain)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("libmeter.so"));
    LibraryFunction meter(path, kEntry);
    EXPECT_EQ(errorOf([&] { meter.address(); }), FileNotFound);
    EXPECT_EQ(errorOf([&] { meter.address(); }), FileNotFound);
    EXPECT_EQ(meter.bindAttempts(), 2);
    EXPECT_FALSE(meter.isBound());

    ASSERT_TRUE(QFile::copy(QStringLiteral(TAMO_FAKE_METER), path));
    EXPECT_EQ(meter.function<Meter>()(0), 85) << "the library that appeared is bound";
    EXPECT_EQ(meter.bindAttempts(), 3);
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(meter.function<Meter>()(0), 85) << "bound: the file is not looked for again";
    EXPECT_EQ(meter.bindAttempts(), 3);
}

TEST(LibraryFunction, MissingEntryRaises453AndLeavesNothingLoaded)
{
    const QString path = QStringLiteral(TAMO_METER_WITHOUT_ENTRY);
    LibraryFunction meter(path, kEntry);
    EXPECT_EQ(errorOf([&] { meter.address(); }), EntryPointNotFound);
    EXPECT_EQ(errorOf([&] { meter.address(); }), EntryPointNotFound);
    EXPECT_EQ(meter.bindAttempts(), 2);
    EXPECT_FALSE(meter.isBound());
    EXPECT_TRUE(meter.loadedFrom().isEmpty());
    EXPECT_FALSE(isLoaded(path));
}
