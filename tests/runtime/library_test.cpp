// Binding at first use: where a library is looked for, and what binding does when the library
// or its entry is missing.

#include "runtime/Library.h"
#include "support/Common.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <dlfcn.h>

#include <algorithm>

using namespace vb;
using namespace Qt::StringLiterals;

namespace {

using Meter = std::int32_t (*)(std::int32_t);
const QByteArray kEntry = "MyGetFreeSystemResources32";
const QString kMeter = u"librsrc32.so"_s;

// Asks the loader without loading.
bool isLoaded(const QString& path)
{
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_LAZY | RTLD_NOLOAD);
    return handle != nullptr && ::dlclose(handle) == 0;
}

} // namespace

TEST(LibrarySearch, NeverTheCurrentFolder)
{
    EXPECT_EQ(librarySearchList(kMeter, u"/usr/lib/tamo"_s, QByteArray()), QStringList({u"/usr/lib/tamo/librsrc32.so"_s, kMeter}));
    for (const char* path : {"/opt/a:/opt/b", "/opt/a;/opt/b"})
        EXPECT_EQ(librarySearchList(kMeter, {}, path), QStringList{kMeter}) << path;
    // An empty or relative entry, ended by ':' or ';', makes the loader search the current
    // folder: full paths only.
    for (const QByteArray path : {"/opt/a:", ":/opt/a", "/opt/a::/x", "lib:/opt/a", "", "/usr/lib;.", "/opt/a;", ";/opt/a", "/opt/a;lib:/x"}) {
        const QStringList names = librarySearchList(kMeter, {}, path);
        EXPECT_TRUE(std::all_of(names.begin(), names.end(), [](const QString& n) { return n.startsWith(u'/'); })) << path.constData();
        EXPECT_TRUE(names.contains(u"/usr/lib/librsrc32.so"_s)) << path.constData();
        EXPECT_EQ(names.contains(u"/opt/a/librsrc32.so"_s), path.contains("/opt/a")) << path.constData();
    }
    for (const QString& relative : {u"./librsrc32.so"_s, u"lib/librsrc32.so"_s, u"../librsrc32.so"_s, QString()})
        EXPECT_EQ(librarySearchList(relative, u"/usr/lib/tamo"_s), QStringList()) << relative.toStdString();
    LibraryFunction cosine(u"libm.so.6"_s, "cos");
    EXPECT_EQ(cosine.function<double (*)(double)>()(0.0), 1.0) << "the system path is searched";
    EXPECT_TRUE(QDir::isAbsolutePath(cosine.loadedFrom())) << cosine.loadedFrom().toStdString();
}

// Nothing is loaded before the first call; a missing library raises 53 at every call until it
// appears, and once bound the file is not looked for again; reset unloads. A library without
// the entry raises 453 at every call and is not kept loaded.
TEST(LibraryFunction, BindsAtTheFirstCallThatFinds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(kMeter);
    LibraryFunction meter(path, kEntry);
    EXPECT_EQ(errorOf([&] { meter.address(); }).number, FileNotFound);
    EXPECT_EQ(errorOf([&] { meter.address(); }).number, FileNotFound);
    ASSERT_TRUE(QFile::copy(QStringLiteral(TAMO_FAKE_METER), path));
    EXPECT_FALSE(isLoaded(path));
    EXPECT_EQ(meter.function<Meter>()(0), 85) << "the library that appeared is bound";
    EXPECT_EQ(QFileInfo(meter.loadedFrom()).canonicalFilePath(), QFileInfo(path).canonicalFilePath());
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(meter.function<Meter>()(2), 150) << "bound: the file is not looked for again";
    EXPECT_EQ(meter.bindAttempts(), 3);
    EXPECT_TRUE(meter.isBound());
    meter.reset(path);
    EXPECT_FALSE(meter.isBound() || meter.bindAttempts() != 0 || !meter.loadedFrom().isEmpty());
    EXPECT_FALSE(isLoaded(path)) << "reset unloads";
    meter.reset(QStringLiteral(TAMO_METER_WITHOUT_ENTRY));
    for (int attempt = 1; attempt <= 2; ++attempt)
        EXPECT_EQ(errorOf([&] { meter.address(); }).number, EntryPointNotFound) << attempt;
    EXPECT_FALSE(meter.bindAttempts() != 2 || meter.isBound() || isLoaded(QStringLiteral(TAMO_METER_WITHOUT_ENTRY)));
}
