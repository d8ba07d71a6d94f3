// The resource meter's code against made-up /proc trees, and the built library itself.

#include "rsrc32/ResourceMeter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <sys/stat.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

using rsrc32::Sources;

namespace {

// A made-up /proc tree. An empty text plants nothing, "<fifo>" a FIFO.
struct FakeProc : QTemporaryDir {
    void put(const QString& name, const QByteArray& text)
    {
        const QString path = filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (text == "<fifo>") {
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (!text.isEmpty()) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        }
    }
    Sources sources(unsigned uid = 0, bool userLimitApplies = false, std::uint64_t limit = 0) const
    {
        return {root.constData(), uid, userLimitApplies, limit};
    }
    const QByteArray root = QFile::encodeName(path());
};

} // namespace

TEST(ResourceMeter, PercentOfRoundsDownAndClamps)
{
    // UINT64_MAX - 15 is 100 * (UINT64_MAX / 100): boundaries where 100 * part overflows.
    const std::uint64_t whole = UINT64_MAX - 15, onePercent = UINT64_MAX / 100;
    EXPECT_EQ(rsrc32::percentOf(0, 0) + rsrc32::percentOf(2, 3) + rsrc32::percentOf(11, 10), 166);
    EXPECT_EQ(rsrc32::percentOf(2 * onePercent, whole), 2);
    EXPECT_EQ(rsrc32::percentOf(2 * onePercent - 1, whole), 1);
}

TEST(ResourceMeter, MemoryIsAvailableOverTotalAndZeroWhenUnreadable)
{
    const std::pair<const char*, int> rows[] = {
        {"MemTotal:        1000 kB\nMemFree:          100 kB\nMemAvailable:     250 kB\nBuffers: 10 kB\n", 25},
        {"MemTotalX: 9\nMemTotal: 200\nMemAvailable: 100\n", 50},            // a longer key is another
        {"XMemTotal: 100\nMemAvailable: 100\n", 0},                          // keys only at a line start
        {"MemTotal: 8 kB\nMemFree: 8 kB\n", 0},                              // no MemAvailable (old kernel)
        {"MemTotal: 99999999999999999999999 kB\nMemAvailable: 1 kB\n", 0},   // too large
        {"MemTotal: 10 kB\nMemAvailable: 7", 70},                            // no final newline
        {"", 0},                                                             // missing
        {"<fifo>", 0},                                                       // must not block
    };
    for (const auto& [meminfo, expected] : rows) {
        FakeProc proc;
        proc.put(QStringLiteral("meminfo"), meminfo);
        EXPECT_EQ(rsrc32::freeMemoryPercent(proc.sources()), expected) << meminfo;
    }
}

TEST(ResourceMeter, TasksAreTheLowerHeadroomOfSystemAndUserLimits)
{
    // An empty text: the file is missing.
    const QByteArray load250 = "0.10 0.20 0.30 1/250 4242\n";
    const struct { const char* name; QByteArray loadavg, threadsMax, pidMax; bool userLimitApplies; std::uint64_t userLimit; int expected; } rows[] = {
        {"threads-max is the lower limit", load250, "1000\n", "4194304\n", false, 0, 75},
        {"pid_max is the lower limit", load250, "100000\n", "1000\n", false, 0, 75},
        {"more tasks than the limit", load250, "200\n", "200\n", false, 0, 0},
        {"loadavg without a task count", "0.10 0.20 0.30\n", "1000\n", "1000\n", false, 0, 0},
        {"user limit lower than system", load250, "100000\n", "100000\n", true, 100, 59},
        {"user at the limit", load250, "1000\n", "1000\n", true, 41, 0},
        {"root: the user limit does not apply", load250, "1000\n", "1000\n", false, 1, 75},
    };
    // Uid 1000 runs 10 + 30 + 1 tasks (by real uid), root 500; "self" and "12a" are no processes.
    // A status without Threads counts one.
    const std::pair<const char*, QByteArray> processes[] = {
        {"1", "Uid:\t0\t0\t0\t0\nThreads:\t500\n"},
        {"100", "Uid:\t1000\t1000\t1000\t1000\nThreads:\t10\n"},
        {"200", "Name:\tsh\nUid:\t1000\t1000\t1000\t1000\nGid:\t0\t0\t0\t0\nThreads:\t30\nSigQ:\t0/1000\n"},
        {"300", "Uid:\t1000\t1000\t1000\t1000\n"},
        {"400", "Uid:\t0\t1000\t1000\t1000\nThreads:\t7\n"},
        {"self", "Uid:\t1000\t1000\t1000\t1000\nThreads:\t99\n"},
        {"12a", "Uid:\t1000\t1000\t1000\t1000\nThreads:\t99\n"},
    };
    for (const auto& r : rows) {
        FakeProc proc;
        proc.put(QStringLiteral("loadavg"), r.loadavg);
        proc.put(QStringLiteral("sys/kernel/threads-max"), r.threadsMax);
        proc.put(QStringLiteral("sys/kernel/pid_max"), r.pidMax);
        for (const auto& [pid, status] : processes)
            proc.put(QString::fromLatin1(pid) + QStringLiteral("/status"), status);
        EXPECT_EQ(rsrc32::freeTaskPercent(proc.sources(1000, r.userLimitApplies, r.userLimit)), r.expected) << r.name;
    }
}

TEST(ResourceMeter, KindsSelectTheFigureAndSystemIsTheLower)
{
    FakeProc proc;
    proc.put(QStringLiteral("loadavg"), "0 0 0 1/10 1\n");
    proc.put(QStringLiteral("sys/kernel/threads-max"), "100\n");
    for (const auto& [available, system] : {std::pair{"40", 40}, {"95", 90}}) {
        proc.put(QStringLiteral("meminfo"), QByteArray("MemTotal: 100 kB\nMemAvailable: ") + available + " kB\n");
        const Sources s = proc.sources();
        EXPECT_EQ(rsrc32::freePercent(rsrc32::SystemKind, s), system) << available;
        EXPECT_EQ(rsrc32::freePercent(rsrc32::MemoryKind, s), std::atoi(available));
        EXPECT_EQ(rsrc32::freePercent(rsrc32::TaskKind, s), 90);
    }
    for (const std::int32_t kind : {3, -1, INT32_MIN})
        EXPECT_EQ(rsrc32::freePercent(kind, proc.sources()), -1) << kind;
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
