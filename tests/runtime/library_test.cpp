#include "runtime/Error.h"
#include "runtime/Library.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <dlfcn.h>

#include <cstdint>

using namespace vb;
using namespace Qt::StringLiterals;

namespace {

using Meter = std::int32_t (*)(std::int32_t);
const QByteArray kEntry = "MyGetFreeSystemResources32";

template <class F>
qint32 errorOf(F f) try { f(); return 0; } catch (const Error& e) { return e.number; }

// Asks the loader without loading.
bool isLoaded(const QString& path)
{
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr)
        ::dlclose(handle);
    return handle != nullptr;
}

} // namespace

TEST(LibrarySearch, NeverTheCurrentDirectory)
{
    EXPECT_EQ(librarySearchList(u"librsrc32.so"_s, u"/usr/lib/tamo"_s, QByteArray()), QStringList({u"/usr/lib/tamo/librsrc32.so"_s, u"librsrc32.so"_s}));
    for (const char* path : {"/opt/a:/opt/b", "/opt/a;/opt/b"})
        EXPECT_EQ(librarySearchList(u"librsrc32.so"_s, {}, path), QStringList({u"librsrc32.so"_s})) << path;
    // An empty or relative entry, ended by ':' or ';', makes the loader search the current
    // folder: full paths only.
    for (const QByteArray path : {"/opt/a:", ":/opt/a", "/opt/a::/x", "lib:/opt/a", "", "/usr/lib;.", "/opt/a;", ";/opt/a", "/opt/a;lib:/x"}) {
        const QStringList names = librarySearchList(u"librsrc32.so"_s, {}, path);
        EXPECT_TRUE(std::all_of(names.begin(), names.end(), [](const QString& n) { return n.startsWith(u'/'); })) << path.constData();
        EXPECT_TRUE(names.contains(u"/usr/lib/librsrc32.so"_s)) << path.constData();
        EXPECT_EQ(names.contains(u"/opt/a/librsrc32.so"_s), path.contains("/opt/a")) << path.constData();
    }
    for (const QString& relative : {u"./librsrc32.so"_s, u"lib/librsrc32.so"_s, u"../librsrc32.so"_s})
        EXPECT_EQ(librarySearchList(relative, u"/usr/lib/tamo"_s), QStringList()) << relative.toStdString();
    LibraryFunction cosine(QStringLiteral("libm.so.6"), "cos");
    EXPECT_EQ(cosine.function<double (*)(double)>()(0.0), 1.0) << "the system path is searched";
    EXPECT_TRUE(QDir::isAbsolutePath(cosine.loadedFrom())) << cosine.loadedFrom().toStdString();
}

TEST(LibraryFunction, BindsAtTheFirstCallOnly)
{
    const QString path = QStringLiteral(TAMO_FAKE_METER);
    LibraryFunction meter(path, kEntry);
    EXPECT_FALSE(isLoaded(path)) << "nothing is loaded before the first call";
    EXPECT_EQ(meter.function<Meter>()(0), 85);
    EXPECT_EQ(meter.function<Meter>()(2), 150);
    EXPECT_TRUE(meter.isBound());
    EXPECT_EQ(meter.bindAttempts(), 1);
    EXPECT_EQ(QFileInfo(meter.loadedFrom()).canonicalFilePath(), QFileInfo(path).canonicalFilePath());

    meter.reset(path);
    EXPECT_FALSE(meter.isBound() || meter.bindAttempts() != 0 || !meter.loadedFrom().isEmpty());
    EXPECT_FALSE(isLoaded(path)) << "reset unloads";
}

TEST(LibraryFunction, MissingLibraryRaises53AndEveryCallTriesAgain)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("libmeter.so"));
    LibraryFunction meter(path, kEntry);
    EXPECT_EQ(errorOf([&] { meter.address(); }), FileNotFound);
    EXPECT_EQ(errorOf([&] { meter.address(); }), FileNotFound);
    EXPECT_EQ(meter.bindAttempts(), 2);

    ASSERT_TRUE(QFile::copy(QStringLiteral(TAMO_FAKE_METER), path));
    EXPECT_EQ(meter.function<Meter>()(0), 85) << "the library that appeared is bound";
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
    EXPECT_FALSE(isLoaded(path));
}
