#include "rsrc32/ResourceMeter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <vector>

using rsrc32::Sources;

namespace {

enum class Plant { File, Missing, Directory, Fifo };

// A made-up /proc tree in a temporary folder.
class FakeProc {
public:
    FakeProc() { EXPECT_TRUE(dir_.isValid()); }

    void put(const QString& name, const QByteArray& text, Plant plant = Plant::File)
    {
        const QString path = dir_.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        switch (plant) {
        case Plant::Missing:
            break;
        case Plant::Directory:
            ASSERT_TRUE(QDir().mkpath(path));
            break;
        case Plant::Fifo:
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            break;
        case Plant::File: {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(text);
            break;
        }
        }
    }

    void process(const QString& pid, const QByteArray& uidLine, const QByteArray& threadsLine)
    {
        put(pid + QStringLiteral("/status"),
            "Name:\tsh\nState:\tS (sleeping)\n" + uidLine + "Gid:\t0\t0\t0\t0\nVmRSS:\t 100 kB\n"
                + threadsLine + "SigQ:\t0/1000\n");
    }

    Sources sources(unsigned uid = 0, bool userLimitApplies = false, std::uint64_t limit = 0)
    {
        root_ = QFile::encodeName(dir_.path());
        Sources s;
        s.procRoot = root_.constData();
        s.realUid = uid;
        s.userLimitApplies = userLimitApplies;
        s.userTaskLimit = limit;
        return s;
    }

private:
    QTemporaryDir dir_;
    QByteArray root_;
};

} // namespace

TEST(ResourceMeter, PercentOfRoundsDownAndClamps)
{
    struct Row {
        const char* name;
        std::uint64_t part;
        std::uint64_t whole;
        int expected;
    };
    const Row rows[] = {
        {"nothing of nothing", 0, 0, 0},
        {"something of nothing", 5, 0, 0},
        {"none free", 0, 10, 0},
        {"a third", 1, 3, 33},
        {"two thirds round down", 2, 3, 66},
        {"just below all", 999, 1000, 99},
        {"all", 10, 10, 100},
        {"more than all", 11, 10, 100},
        {"huge, half", UINT64_MAX / 2, UINT64_MAX, 49},
        {"huge, nearly all", UINT64_MAX - 1, UINT64_MAX, 99},
        {"huge, a quarter", UINT64_MAX / 4 + 1, UINT64_MAX, 25},
        // UINT64_MAX - 15 is 100 * (UINT64_MAX / 100): exact boundaries where 100 * part overflows.
        {"huge, exactly two percent", 2 * (UINT64_MAX / 100), UINT64_MAX - 15, 2},
        {"huge, just below two percent", 2 * (UINT64_MAX / 100) - 1, UINT64_MAX - 15, 1},
        {"huge, exactly 99 percent", 99 * (UINT64_MAX / 100), UINT64_MAX - 15, 99},
        {"huge, just below 99 percent", 99 * (UINT64_MAX / 100) - 1, UINT64_MAX - 15, 98},
    };
    for (const Row& r : rows)
        EXPECT_EQ(rsrc32::percentOf(r.part, r.whole), r.expected) << r.name;
}

TEST(ResourceMeter, MemoryIsAvailableOverTotalAndZeroWhenUnreadable)
{
    struct Row {
        const char* name;
        QByteArray meminfo;
        Plant plant;
        int expected;
    };
    const QByteArray usual = "MemTotal:        1000 kB\nMemFree:          100 kB\n"
                             "MemAvailable:     250 kB\nBuffers:           10 kB\n";
    const Row rows[] = {
        {"a quarter available", usual, Plant::File, 25},
        {"rounded down", "MemTotal: 3 kB\nMemAvailable: 2 kB\n", Plant::File, 66},
        {"all available", "MemTotal: 8 kB\nMemAvailable: 8 kB\n", Plant::File, 100},
        {"more available than total", "MemTotal: 8 kB\nMemAvailable: 9 kB\n", Plant::File, 100},
        {"none available", "MemTotal: 8 kB\nMemAvailable: 0 kB\n", Plant::File, 0},
        {"order does not matter", "MemAvailable: 1 kB\nMemTotal: 4 kB\n", Plant::File, 25},
        {"a longer key is another key", "MemTotalX: 9\nMemTotal: 200\nMemAvailable: 100\n", Plant::File, 50},
        {"keys only at a line start", "XMemTotal: 100\nMemAvailable: 100\n", Plant::File, 0},
        {"no MemAvailable (old kernel)", "MemTotal: 8 kB\nMemFree: 8 kB\n", Plant::File, 0},
        {"total of zero", "MemTotal: 0 kB\nMemAvailable: 0 kB\n", Plant::File, 0},
        {"not a number", "MemTotal: lots\nMemAvailable: 1 kB\n", Plant::File, 0},
        {"number too large", "MemTotal: 99999999999999999999999 kB\nMemAvailable: 1 kB\n", Plant::File, 0},
        {"no final newline", "MemTotal: 10 kB\nMemAvailable: 7", Plant::File, 70},
        {"empty", "", Plant::File, 0},
        {"missing", "", Plant::Missing, 0},
        {"a folder", "", Plant::Directory, 0},
        {"a FIFO (must not block)", "", Plant::Fifo, 0},
    };
    for (const Row& r : rows) {
        FakeProc proc;
        proc.put(QStringLiteral("meminfo"), r.meminfo, r.plant);
        EXPECT_EQ(rsrc32::freeMemoryPercent(proc.sources()), r.expected) << r.name;
    }
}

TEST(ResourceMeter, TasksAreTheLowerHeadroomOfSystemAndUserLimits)
{
    struct Proc {
        const char* pid;
        QByteArray uidLine;
        QByteArray threadsLine;
    };
    struct Row {
        const char* name;
        QByteArray loadavg; // empty: missing
        QByteArray threadsMax;
        QByteArray pidMax;
        bool userLimitApplies;
        std::uint64_t userLimit;
        std::vector<Proc> procs;
        int expected;
    };
    const QByteArray load250 = "0.10 0.20 0.30 1/250 4242\n";
    // Uid 1000 runs 10 + 30 + 1 tasks, root 500, and "self" is no process of its own.
    const std::vector<Proc> mixed = {
        {"1", "Uid:\t0\t0\t0\t0\n", "Threads:\t500\n"},
        {"100", "Uid:\t1000\t1000\t1000\t1000\n", "Threads:\t10\n"},
        {"200", "Uid:\t1000\t1000\t1000\t1000\n", "Threads:\t30\n"},
        {"300", "Uid:\t1000\t1000\t1000\t1000\n", ""},
        {"400", "Uid:\t0\t1000\t1000\t1000\n", "Threads:\t7\n"},
        {"self", "Uid:\t1000\t1000\t1000\t1000\n", "Threads:\t99\n"},
        {"12a", "Uid:\t1000\t1000\t1000\t1000\n", "Threads:\t99\n"},
    };
    const Row rows[] = {
        {"threads-max is the lower limit", load250, "1000\n", "4194304\n", false, 0, {}, 75},
        {"pid_max is the lower limit", load250, "100000\n", "1000\n", false, 0, {}, 75},
        {"only threads-max readable", load250, "1000\n", "", false, 0, {}, 75},
        {"only pid_max readable", load250, "", "500\n", false, 0, {}, 50},
        {"no limit readable", load250, "", "", false, 0, {}, 0},
        {"odd limit", load250, "many\n", "", false, 0, {}, 0},
        {"more tasks than the limit", load250, "200\n", "200\n", false, 0, {}, 0},
        {"loadavg missing", "", "1000\n", "1000\n", false, 0, {}, 0},
        {"loadavg without a task count", "0.10 0.20 0.30\n", "1000\n", "1000\n", false, 0, {}, 0},
        {"loadavg count not a number", "0.1 0.2 0.3 1/x 4\n", "1000\n", "1000\n", false, 0, {}, 0},
        {"user limit lower than system", load250, "100000\n", "100000\n", true, 100, mixed, 59},
        {"system lower than user limit", load250, "300\n", "300\n", true, 100, mixed, 16},
        {"user limit of zero", load250, "1000\n", "1000\n", true, 0, mixed, 0},
        {"user at the limit", load250, "1000\n", "1000\n", true, 41, mixed, 0},
        {"root: the user limit does not apply", load250, "1000\n", "1000\n", false, 1, mixed, 75},
        {"user without processes", load250, "1000\n", "1000\n", true, 10, {}, 75},
    };
    for (const Row& r : rows) {
        FakeProc proc;
        proc.put(QStringLiteral("loadavg"), r.loadavg, r.loadavg.isEmpty() ? Plant::Missing : Plant::File);
        proc.put(QStringLiteral("sys/kernel/threads-max"), r.threadsMax,
                 r.threadsMax.isEmpty() ? Plant::Missing : Plant::File);
        proc.put(QStringLiteral("sys/kernel/pid_max"), r.pidMax,
                 r.pidMax.isEmpty() ? Plant::Missing : Plant::File);
        for (const Proc& p : r.procs)
            proc.process(QString::fromLatin1(p.pid), p.uidLine, p.threadsLine);
        EXPECT_EQ(rsrc32::freeTaskPercent(proc.sources(1000, r.userLimitApplies, r.userLimit)), r.expected)
            << r.name;
    }
}

TEST(ResourceMeter, KindsSelectTheFigureAndUnknownKindsGiveMinusOne)
{
    FakeProc proc;
    proc.put(QStringLiteral("meminfo"), "MemTotal: 100 kB\nMemAvailable: 40 kB\n");
    proc.put(QStringLiteral("loadavg"), "0 0 0 1/10 1\n");
    proc.put(QStringLiteral("sys/kernel/threads-max"), "100\n");
    const Sources s = proc.sources();
    EXPECT_EQ(rsrc32::freePercent(rsrc32::MemoryKind, s), 40);
    EXPECT_EQ(rsrc32::freePercent(rsrc32::TaskKind, s), 90);
    EXPECT_EQ(rsrc32::freePercent(rsrc32::SystemKind, s), 40) << "the lower of the two";
    proc.put(QStringLiteral("meminfo"), "MemTotal: 100 kB\nMemAvailable: 95 kB\n");
    EXPECT_EQ(rsrc32::freePercent(rsrc32::SystemKind, s), 90) << "the lower of the two";
    for (const std::int32_t kind : {3, -1, 100, INT32_MIN, INT32_MAX})
        EXPECT_EQ(rsrc32::freePercent(kind, s), -1) << kind;
}

TEST(ResourceMeter, WithoutProcEveryFigureIsZero)
{
    Sources s;
    s.procRoot = "/nonexistent/proc";
    s.realUid = 1000;
    s.userLimitApplies = true;
    s.userTaskLimit = 100;
    for (const std::int32_t kind : {0, 1, 2})
        EXPECT_EQ(rsrc32::freePercent(kind, s), 0) << kind;
}

TEST(ResourceMeter, TheUserLimitIsNeverAppliedToRoot)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "run as root to check root's sources";
    EXPECT_FALSE(rsrc32::currentSources().userLimitApplies);
    EXPECT_STREQ(rsrc32::currentSources().procRoot, "/proc");
}

// The built library itself, loaded the way the engine loads it.
TEST(Rsrc32Library, ExportsOnlyThePlainNameAndAnswersEachKindInPercent)
{
    void* library = ::dlopen(TAMO_RSRC32_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    using Meter = std::int32_t (*)(std::int32_t);
    const auto meter = reinterpret_cast<Meter>(::dlsym(library, "MyGetFreeSystemResources32"));
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(::dlsym(library, "_MyGetFreeSystemResources32@4"), nullptr);
    EXPECT_EQ(::dlsym(library, "_ZN6rsrc3211freePercentEiRKNS_7SourcesE"), nullptr)
        << "the meter's own functions stay hidden";
    for (const std::int32_t kind : {0, 1, 2}) {
        const std::int32_t free = meter(kind);
        EXPECT_GE(free, 0) << kind;
        EXPECT_LE(free, 100) << kind;
    }
    EXPECT_GT(meter(1), 0) << "a running system has some memory available";
    for (const std::int32_t kind : {3, -1, INT32_MIN})
        EXPECT_EQ(meter(kind), -1) << kind;
    ::dlclose(library);
}
