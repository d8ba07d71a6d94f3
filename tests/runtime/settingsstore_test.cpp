// The settings store on disk: other processes, folders, modes and links, the lock, leftovers of
// killed writers, and every way an operation fails, the file checked byte for byte each time.

#include "runtime/FileDescriptor.h"
#include "runtime/SettingsFaults.h"
#include "runtime/SettingsStore.h"
#include "support/Common.h"
#include "support/QtPrinters.h"
#include "support/SettingsTool.h"
#include "support/TestEnv.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

vb::SettingsStore store() { return vb::SettingsStore::fromEnvironment(); }
QString path() { return store().filePath(kApp); }
QString folder() { return QFileInfo(path()).path(); }
void save(const QString& key, const QString& value) { store().SaveSetting(kApp, u"Main"_s, key, value); }
QString get(const QString& key, const QString& fallback = {}) { return store().GetSetting(kApp, u"Main"_s, key, fallback); }
int modeOf(const QString& file) { struct stat st; return ::stat(QFile::encodeName(file), &st) == 0 ? st.st_mode & 07777 : -1; }
void setMode(const QString& file, int mode) { ::chmod(QFile::encodeName(file), mode); }

// The file's bytes, or what stands at its place.
QByteArray contents()
{
    QFile file(path());
    return QFileInfo(path()).isDir() ? "<folder>" : !QFileInfo(path()).isFile() ? "<other>" : file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
}
void plant(const QByteArray& bytes)
{
    QDir().mkpath(folder());
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
}
// What the store's folder holds beyond the file and its lock.
QStringList leftovers()
{
    QStringList names = QDir(folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    names.removeOne(QFileInfo(path()).fileName()), names.removeOne(QFileInfo(path()).fileName() + u".lock"_s);
    return names;
}

// Each operation, on any names.
using Operation = std::function<void(const QString& app, const QString& section, const QString& key)>;
const Operation kOperations[] = {
    [](auto& a, auto& s, auto& k) { store().GetSetting(a, s, k); }, [](auto& a, auto& s, auto& k) { store().SaveSetting(a, s, k, u"v"_s); },
    [](auto& a, auto& s, auto& k) { store().DeleteSetting(a, s, k); }, [](auto& a, auto& s, auto& k) { store().SaveSettingIf(a, s, k, u""_s, u"v"_s); }};

} // namespace

TEST(SettingsStore, AnotherProcessSeesEveryChange)
{
    TestEnv env;
    EXPECT_EQ(store().filePath(u"/x//y%"_s), env.configHome() + u"/vb-program-settings/%2Fx%2F%2Fy%25.ini"_s);
    // What the file cannot hold raw, both ways; then a same-size rewrite back to back, which a
    // cache keyed on size and time would miss.
    const QString value = u" \uFEFF\r\n\xDC00月 "_s;
    save(u"k"_s, value);
    EXPECT_EQ(storedValue(kApp, u"Main/k"_s), value);
    for (const QString& next : {value + u'!', value + u'?'}) {
        ASSERT_EQ(runSettingsTool({u"save"_s, kApp, u"Main"_s, u"k"_s, QString::fromLatin1(toHexUnits(next))}).exitCode, 0);
        EXPECT_EQ(get(u"k"_s), next);
    }
    ASSERT_EQ(runSettingsTool({u"delete"_s, kApp, u"Main"_s, u"k"_s}).exitCode, 0);
    EXPECT_EQ(get(u"k"_s, u"gone"_s), u"gone"_s);
}

TEST(SettingsStore, FoldersModesLinksAndCompareAndSave)
{
    TestEnv env;
    QDir(env.configHome()).removeRecursively();
    for (const auto& [app, section, key] : {std::tuple{u"A\xD800"_s, u"S"_s, u"k"_s}, {u"A"_s, u""_s, u"k"_s}, {u"A"_s, u"S"_s, u"a=b"_s}})
        for (const Operation& operation : kOperations)
            EXPECT_EQ(errorOf([&] { operation(app, section, key); }).number, 5) << key.toStdString() << " " << &operation - kOperations;
    EXPECT_EQ(get(u"ZPFormat"_s, u"d"_s), u"d"_s);
    EXPECT_FALSE(store().SaveSettingIf(kApp, u"Main"_s, u"ZPFormat"_s, u""_s, u"0"_s));
    EXPECT_EQ(errorOf([] { store().DeleteSetting(kApp, u"Main"_s, u"ZPFormat"_s); }).description, vb::errorDescription(5) + u' ' + path());
    EXPECT_FALSE(QFileInfo::exists(env.configHome())) << "bad names, reads, deletes and compares create nothing";
    const mode_t oldMask = ::umask(0);
    save(u"ZPFormat"_s, u"43"_s);
    ::umask(oldMask);
    EXPECT_EQ(QList<int>({modeOf(path()), modeOf(folder()), modeOf(env.configHome())}), QList<int>({0600, 0700, 0700}));
    setMode(path(), 0644);
    for (const auto& [key, expected, stores] : {std::tuple{u"ZPFormat"_s, u"42"_s, false}, {u"Other"_s, u""_s, false}, {u"ZPFormat"_s, u"43"_s, true}})
        EXPECT_EQ(store().SaveSettingIf(kApp, u"Main"_s, key, expected, u"0"_s), stores) << key.toStdString() << " " << expected.toStdString();
    EXPECT_EQ(get(u"Other"_s, u"<absent>"_s) + get(u"ZPFormat"_s), u"<absent>0"_s);
    EXPECT_EQ(modeOf(path()), 0600) << "a rewrite makes the file private again";
    // Dotfile managers keep the real file elsewhere and link it in.
    ASSERT_TRUE(QFile::rename(path(), env.root() + u"/tamo.ini"_s) && QFile::link(env.root() + u"/tamo.ini"_s, path()));
    save(u"Left"_s, u"1"_s);
    EXPECT_TRUE(QFileInfo(path()).isSymLink());
    EXPECT_EQ(contents(), "[Main]\nZPFormat=0\nLeft=1\n");
}

// Nothing usable at the file's place: every operation raises 75, with the line of a text that
// does not parse (checked before any lookup), and nothing changes on disk.
TEST(SettingsStore, UnusableFileRaises75AndStaysAsItWas)
{
    TestEnv env;
    const struct { const char* name; std::function<void()> plant; QString where; } rows[] = {
        {"bad line in another section", [] { plant("[Other]\nk=a\x01\n[Main]\n"); }, path() + u":2"_s},
        {"a folder", [] { QDir().mkpath(path()); }, path()},
        {"a FIFO", [] { QDir().mkpath(folder()), ::mkfifo(QFile::encodeName(path()), 0600); }, path()},
        {"a file at the folder's place", [] { QFile(folder()).open(QIODevice::WriteOnly); }, path()},
    };
    for (const auto& r : rows) {
        QDir(folder()).removeRecursively(), QFile::remove(folder());
        r.plant();
        const QByteArray before = contents();
        for (const Operation& operation : kOperations) {
            const vb::Error e = errorOf([&] { operation(kApp, u"Nowhere"_s, u"k"_s); });
            EXPECT_TRUE(e.number == 75 && e.description.startsWith(vb::errorDescription(75) + u' ' + r.where)) << r.name << ": " << e.description.toStdString();
        }
        EXPECT_EQ(contents(), before) << r.name;
        EXPECT_EQ(leftovers(), QStringList()) << r.name;
    }
}

// The Nth fallible call fails, N = 1, 2 … until none fires: the errno's error, naming the file
// or its lock, the file old or new and never a mix, and no temporary file left behind.
TEST(SettingsStore, EveryFallibleCallFailingInTurn)
{
    TestEnv env;
    const QByteArray initial = "; host\n[Plug in]\nRestartMsgRecv=77\n[Main]\nZPFormat=old\n";
    const QByteArray saved = "; host\n[Plug in]\nRestartMsgRecv=77\n[Main]\nZPFormat=new\n";
    const auto saveNew = [] { save(u"ZPFormat"_s, u"new"_s); };
    const auto getOld = [] { EXPECT_EQ(get(u"ZPFormat"_s), u"old"_s); };
    const struct { const char* name; std::function<void()> operation; QByteArray after; int err, number; } rows[] = {
        {"save, I/O error", saveNew, saved, EIO, 75},
        {"save, permission", saveNew, saved, EACCES, 70},
        {"save a new section, disk full", [] { store().SaveSetting(kApp, u"New"_s, u"k"_s, u"v"_s); }, initial + "\n[New]\nk=v\n", ENOSPC, 61},
        {"delete, I/O error", [] { store().DeleteSetting(kApp, u"Plug in"_s, u"RestartMsgRecv"_s); }, "; host\n[Plug in]\n[Main]\nZPFormat=old\n", EIO, 75},
        {"get, I/O error", getOld, initial, EIO, 75},
    };
    for (const auto& r : rows) {
        for (int n = 1;; ++n) {
            ASSERT_LT(n, 100) << r.name << ": the faults never ran out";
            plant(initial);
            vb::injectSettingsFault(n, r.err);
            const vb::Error e = errorOf(r.operation);
            const bool fired = vb::settingsFaultFired();
            vb::injectSettingsFault(0, 0);
            EXPECT_EQ(leftovers(), QStringList()) << r.name << " n=" << n;
            if (!fired) {
                // Every step is a fallible call: more than 8 for a write, more than 4 for a read.
                EXPECT_TRUE(e.number == 0 && contents() == r.after && n > (r.after == initial ? 5 : 9)) << r.name << " n=" << n;
                break;
            }
            EXPECT_TRUE(e.number == r.number && e.description.startsWith(vb::errorDescription(r.number) + u' ' + path()))
                << r.name << " n=" << n << ": " << e.description.toStdString();
            EXPECT_TRUE(contents() == initial || contents() == r.after) << r.name << " n=" << n << ": " << contents().toStdString();
        }
    }
    // The first call: a reader that may not create the lock file (a read-only folder, a full
    // disk) reads without it; the errors of a writer that may not create its folder.
    const struct { int err; std::function<void()> operation; int number; } first[] = {
        {EROFS, getOld, 0}, {ENOSPC, getOld, 0}, {EDQUOT, getOld, 0}, {EMFILE, getOld, 75}, {EPERM, saveNew, 70}, {EROFS, saveNew, 70}, {EDQUOT, saveNew, 61}};
    for (const auto& r : first) {
        vb::injectSettingsFault(1, r.err);
        EXPECT_EQ(errorOf(r.operation).number, r.number) << r.err;
    }
    vb::injectSettingsFault(0, 0);
}

TEST(SettingsStore, LockHeldThroughTheWaitOrReleasedWithinIt)
{
    TestEnv env;
    save(u"ZPFormat"_s, u"old"_s);
    const QString lock = path() + u".lock"_s;
    vb::FileDescriptor holder(::open(QFile::encodeName(lock), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(holder.get(), LOCK_EX), 0);
    for (const Operation& operation : {kOperations[0], kOperations[1]})
        EXPECT_EQ(errorOf([&] { operation(kApp, u"Main"_s, u"ZPFormat"_s); }).description, vb::errorDescription(75) + u' ' + lock);
    EXPECT_EQ(contents(), "[Main]\nZPFormat=old\n");
    EXPECT_EQ(leftovers(), QStringList());
    // Released once the save has tried twice (mkdir, open, flock, flock): it takes the lock.
    std::atomic<bool> done = false;
    vb::injectSettingsFault(0, 0);
    std::thread release([&] {
        while (!done && vb::settingsFallibleCalls() < 4)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        holder.reset();
    });
    EXPECT_EQ(errorOf([] { save(u"ZPFormat"_s, u"new"_s); }).number, 0);
    done = true;
    release.join();
    EXPECT_EQ(get(u"ZPFormat"_s), u"new"_s);
}

// A writer killed between writing its temporary file and the rename leaves a whole copy: the
// next writer (not a reader) removes such files, and only those. Watchers (tamo-clock) see the
// write as one change of the file: its rename into place.
TEST(SettingsStore, AWriterRemovesWhatKilledWritersLeftAndChangesTheFileOnce)
{
    TestEnv env;
    plant("[Main]\nZPFormat=old\n");
    for (const QString& leftover : {u".tamo-new-Ab12Cd"_s, u".tamo-new-000000"_s, u".backup"_s, u".tamo-new-Ab12C"_s, u".tamo-new-Ab12Cd~"_s})
        QFile(path() + leftover).open(QIODevice::WriteOnly);
    QDir().mkdir(path() + u".tamo-new-folder"_s), QFile::link(path(), path() + u".tamo-new-link00"_s);
    EXPECT_EQ(get(u"ZPFormat"_s), u"old"_s);
    EXPECT_EQ(leftovers().size(), 7);
    const vb::FileDescriptor watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ::inotify_add_watch(watch.get(), QFile::encodeName(folder()), IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CREATE);
    save(u"ZPFormat"_s, u"new"_s);
    QList<quint32> changes;
    alignas(inotify_event) char events[8192];
    const ssize_t n = ::read(watch.get(), events, sizeof events);
    for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        if (event->len && QFile::decodeName(event->name) == QFileInfo(path()).fileName())
            changes += event->mask;
        at += sizeof(inotify_event) + event->len;
    }
    EXPECT_EQ(changes, QList<quint32>{IN_MOVED_TO});
    EXPECT_EQ(leftovers().replaceInStrings(QFileInfo(path()).fileName(), QString()),
              QStringList({u".backup"_s, u".tamo-new-Ab12C"_s, u".tamo-new-Ab12Cd~"_s, u".tamo-new-folder"_s, u".tamo-new-link00"_s}));
}

// Root ignores permission bits, so the store runs as uid 65534 in a root-owned tree: the tool's
// answers to get, save and delete, by the folder's mode.
TEST(SettingsStore, PermissionDeniedRaises70)
{
    TestEnv env;
    // A build tree under a private folder keeps uid 65534 from even starting the tool.
    if (QProcess::execute(u"setpriv"_s, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, u"test"_s, u"-x"_s, settingsToolCommand({}).first()}) != 0)
        GTEST_SKIP() << "uid 65534 cannot run the settings tool from this build tree";
    setMode(env.root(), 0755), setMode(env.configHome(), 0755);
    const struct { const char* name; int folderMode; QByteArrayList answers; } rows[] = {
        {"private folder of another user", 0700, {"error 70", "error 70", "error 70"}},
        {"readable folder, no lock file: read without it", 0755, {toHexUnits(u"%h%"_s), "error 70", "error 70"}},
        {"another user's file in a folder anyone may write", 0777, {toHexUnits(u"%h%"_s), "error 70", "error 70"}},
    };
    for (const auto& r : rows) {
        QDir(folder()).removeRecursively();
        plant("[Main]\nZPFormat=%h%\n");
        setMode(path(), 0644), setMode(folder(), r.folderMode);
        QByteArrayList answers;
        for (const QString& op : {u"get"_s, u"save"_s, u"delete"_s})
            answers += runSettingsTool(QStringList{op, kApp, u"Main"_s, u"ZPFormat"_s} + QStringList(op == u"save", u"0078"_s), true).out.split(' ').mid(0, 2).join(' ');
        EXPECT_EQ(answers, r.answers) << r.name;
        EXPECT_EQ(contents(), "[Main]\nZPFormat=%h%\n") << r.name;
    }
}

TEST(SettingsStore, TwoProcessesWritingDifferentKeysLoseNothing)
{
    TestEnv env;
    plant("; written by the host\n[Plug in]\nTamoZP=1\n");
    QProcess host, window;
    for (const auto& [process, section, key] : {std::tuple{&host, u"Plug in"_s, u"RestartMsgRecv"_s}, {&window, u"Main"_s, u"ZPFormat"_s}}) {
        QStringList command = settingsToolCommand({u"hammer"_s, kApp, section, key, u"500"_s});
        process->start(command.takeFirst(), command);
    }
    // A generous sanity bound: a lock that starves a writer fails its operation after 2 s.
    ASSERT_TRUE(host.waitForFinished(120000) && window.waitForFinished(120000));
    EXPECT_EQ(host.exitCode() * 10 + window.exitCode(), 0) << (host.readAllStandardOutput() + window.readAllStandardOutput()).toStdString();
    EXPECT_EQ(store().GetSetting(kApp, u"Plug in"_s, u"RestartMsgRecv"_s) + get(u"ZPFormat"_s), u"RestartMsgRecv-500ZPFormat-500"_s);
    EXPECT_TRUE(contents().startsWith("; written by the host\n[Plug in]\nTamoZP=1\n"));
    EXPECT_EQ(leftovers(), QStringList());
}
