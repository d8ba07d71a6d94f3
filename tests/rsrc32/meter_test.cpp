// The resource meter's code against made-up /proc trees (data/), and the built library itself.

#include "rsrc32/ResourceMeter.h"
#include "support/Rows.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdint>

namespace {

// A made-up /proc tree: each file with its text; an empty text plants nothing, "<fifo>" a FIFO.
struct FakeProc : QTemporaryDir {
    explicit FakeProc(std::initializer_list<std::pair<QString, QByteArray>> files) { put(files); }
    void put(std::initializer_list<std::pair<QString, QByteArray>> files)
    {
        for (const auto& [name, text] : files) {
            QDir().mkpath(QFileInfo(filePath(name)).path());
            QFile file(filePath(name));
            EXPECT_TRUE(text.isEmpty() || (text == "<fifo>" ? ::mkfifo(QFile::encodeName(file.fileName()).constData(), 0600) == 0
                                                            : file.open(QIODevice::WriteOnly) && file.write(text) == text.size()));
        }
    }
    rsrc32::Sources sources(unsigned uid = 0, bool userLimitApplies = false, std::uint64_t limit = 0) const { return {root.constData(), uid, userLimitApplies, limit}; }
    const QByteArray root = QFile::encodeName(path());
};

} // namespace

TEST(ResourceMeter, MemoryIsAvailableOverTotalAndZeroWhenUnreadable)
{
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/meminfo.tsv"), 3))
        EXPECT_EQ(rsrc32::freeMemoryPercent(FakeProc({{QStringLiteral("meminfo"), r[2].toUtf8().replace("\\n", "\n")}}).sources()), r[3].toInt()) << r[0].toStdString() << ": " << r[1].toStdString();
}

TEST(ResourceMeter, TasksAreTheLowerHeadroomOfSystemAndUserLimits)
{
    // Uid 1000 runs 10 + 30 + 1 tasks (by real uid), root 500; "self" and "12a" are no
    // processes. A status without Threads counts one.
    const QByteArray user = "Uid:\t1000\t1000\t1000\t1000\n";
    const std::initializer_list<std::pair<QString, QByteArray>> processes = {
        {QStringLiteral("1/status"), "Uid:\t0\t0\t0\t0\nThreads:\t500\n"}, {QStringLiteral("100/status"), user + "Threads:\t10\n"},
        {QStringLiteral("200/status"), "Name:\tsh\n" + user + "Gid:\t0\t0\t0\t0\nThreads:\t30\nSigQ:\t0/1000\n"},
        {QStringLiteral("300/status"), user}, {QStringLiteral("400/status"), "Uid:\t0\t1000\t1000\t1000\nThreads:\t7\n"},
        {QStringLiteral("self/status"), user + "Threads:\t99\n"}, {QStringLiteral("12a/status"), user + "Threads:\t99\n"}};
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/tasks.tsv"), 7)) {
        FakeProc proc(processes);
        proc.put({{QStringLiteral("loadavg"), r[2].toUtf8() + '\n'}, {QStringLiteral("sys/kernel/threads-max"), r[3].toUtf8() + '\n'},
                  {QStringLiteral("sys/kernel/pid_max"), r[4].toUtf8() + '\n'}});
        EXPECT_EQ(rsrc32::freeTaskPercent(proc.sources(1000, r[5] == u"yes", r[6].toULongLong())), r[7].toInt()) << r[0].toStdString() << ": " << r[1].toStdString();
    }
}

TEST(ResourceMeter, PercentsKindsAndSystemAsTheLower)
{
    // UINT64_MAX - 15 is 100 * (UINT64_MAX / 100): boundaries where 100 * part overflows.
    const std::uint64_t whole = UINT64_MAX - 15, onePercent = UINT64_MAX / 100;
    EXPECT_EQ(rsrc32::percentOf(0, 0) + rsrc32::percentOf(2, 3) + rsrc32::percentOf(11, 10), 166);
    EXPECT_EQ(rsrc32::percentOf(2 * onePercent, whole), 2);
    EXPECT_EQ(rsrc32::percentOf(2 * onePercent - 1, whole), 1);
    for (const auto& [available, system] : {std::pair{40, 40}, {95, 90}}) {
        const FakeProc proc({{QStringLiteral("loadavg"), "0 0 0 1/10 1\n"}, {QStringLiteral("sys/kernel/threads-max"), "100\n"},
                             {QStringLiteral("meminfo"), "MemTotal: 100 kB\nMemAvailable: " + QByteArray::number(available) + " kB\n"}});
        EXPECT_EQ(rsrc32::freePercent(rsrc32::SystemKind, proc.sources()), system) << available;
        EXPECT_EQ(rsrc32::freePercent(rsrc32::MemoryKind, proc.sources()), available);
        EXPECT_EQ(rsrc32::freePercent(rsrc32::TaskKind, proc.sources()), 90);
        for (const std::int32_t kind : {3, -1, INT32_MIN})
            EXPECT_EQ(rsrc32::freePercent(kind, proc.sources()), -1) << kind;
    }
}

TEST(Rsrc32Library, ExportsOnlyThePlainName)
{
    void* library = ::dlopen(TAMO_RSRC32_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    const auto meter = reinterpret_cast<std::int32_t (*)(std::int32_t)>(::dlsym(library, "MyGetFreeSystemResources32"));
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(::dlsym(library, "_MyGetFreeSystemResources32@4"), nullptr);
    EXPECT_EQ(::dlsym(library, "_ZN6rsrc3215freeTaskPercentERKNS_7SourcesE"), nullptr) << "the meter's own functions stay hidden";
    EXPECT_GT(meter(1), 0) << "a running system has some memory available";
    EXPECT_EQ(meter(3), -1);
    ::dlclose(library);
}
