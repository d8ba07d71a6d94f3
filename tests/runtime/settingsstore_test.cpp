// The settings store: the file text and another process reading it, byte-for-byte keeping of
// untouched lines, and failures (unparsable files, names, locks, injected faults).

#include "runtime/Error.h"
#include "runtime/SettingsFaults.h"
#include "runtime/SettingsStore.h"
#include "support/QtPrinters.h"
#include "support/SettingsTool.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kApp = u"Tamo for Windows NT/95"_s;

void save(const QString& section, const QString& key, const QString& value) { vb::SettingsStore::fromEnvironment().SaveSetting(kApp, section, key, value); }
QString get(const QString& section, const QString& key, const QString& fallback = {}) { return vb::SettingsStore::fromEnvironment().GetSetting(kApp, section, key, fallback); }
void deleteKey(const QString& section, const QString& key) { vb::SettingsStore::fromEnvironment().DeleteSetting(kApp, section, key); }

template <class F>
vb::Error errorOf(F f) try { f(); return {}; } catch (const vb::Error& e) { return e; }

QByteArray readBytes(const QString& path) { QFile f(path); return f.open(QIODevice::ReadOnly) ? f.readAll() : "<unreadable>"; }

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
}

void setMode(const QString& path, mode_t mode) { ::chmod(QFile::encodeName(path).constData(), mode); }
unsigned modeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

// One of each operation, on names no file below holds.
const std::function<void()> kOperations[] = {
    [] { get(u"Nowhere"_s, u"k"_s); }, [] { save(u"New"_s, u"n"_s, u"new"_s); }, [] { deleteKey(u"Main"_s, u"nope"_s); }};

// What the store's folder holds beyond the file and its lock.
QStringList leftovers(const QString& iniPath)
{
    const QFileInfo ini(iniPath);
    QStringList names = ini.dir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    names.removeOne(ini.fileName()), names.removeOne(ini.fileName() + u".lock"_s);
    return names;
}

} // namespace

TEST(SettingsStorePath, FileName)
{
    TestEnv env;
    EXPECT_EQ(vb::SettingsStore::fromEnvironment().filePath(u"/x//y%"_s), env.configHome() + u"/vb-program-settings/%2Fx%2F%2Fy%25.ini"_s);
}

// The line a value is written as, and the value read back by another process and from it.
TEST(SettingsStoreValues, FileTextAndAnotherProcess)
{
    TestEnv env;
    const struct { const char* name; QString value; QByteArray line; } rows[] = {
        {"empty", u""_s, "k="},
        {"spaces at the edges", u"  a  b  "_s, "k=\\s\\sa  b\\s\\s"},
        {"only spaces", u"   "_s, "k=\\s\\s\\s"},
        {"backslash and controls", u"a\\\t\n\r\n"_s + QChar(1), "k=a\\\\\\t\\n\\r\\n\\u0001"},
        {"escape look-alikes", u"\\s\\u0041\\"_s, "k=\\\\s\\\\u0041\\\\"},
        {"raw UTF-8 and punctuation", u"月齢🌕　;#=,\"%[Main]"_s, "k=月齢🌕　;#=,\"%[Main]"},
        {"BOM, lone and reversed surrogates", u"\uFEFFx"_s + QChar(0xD800) + u'x' + QChar(0xDC00) + QChar(0xDC00) + QChar(0xD800),
         "k=\\uFEFFx\\uD800x\\uDC00\\uDC00\\uD800"},
        {"other controls, separators, noncharacters", QString(QChar(0)) + QChar(0x7F) + QChar(0x85) + QChar(0x2028) + QChar(0xFFFF),
         "k=\\u0000\\u007F\\u0085\\u2028\\uFFFF"},
    };
    const QString path = vb::SettingsStore::fromEnvironment().filePath(kApp);
    for (const auto& r : rows) {
        QFile::remove(path);
        save(u"Main"_s, u"k"_s, r.value);
        EXPECT_EQ(readBytes(path), "[Main]\n" + r.line + "\n") << r.name;
        const ToolRun got = runSettingsTool({u"get"_s, kApp, u"Main"_s, u"k"_s, u"0064"_s});
        EXPECT_EQ(got.exitCode == 0 ? fromHexUnits(got.out) : u"<failed>"_s, r.value) << r.name;
        const ToolRun saved = runSettingsTool({u"save"_s, kApp, u"Plug in"_s, u"V"_s, QString::fromLatin1(toHexUnits(r.value))});
        EXPECT_EQ(saved.exitCode, 0) << r.name << ": " << saved.out.toStdString();
        EXPECT_EQ(get(u"Plug in"_s, u"V"_s, u"default"_s), r.value) << r.name;
    }
}

TEST(SettingsStoreValues, EveryOperationReadsTheDisk)
{
    TestEnv env;
    // Same size, written back to back: a cache keyed on size and time would miss the change.
    save(u"Main"_s, u"ZPFormat"_s, u"aaaa"_s);
    EXPECT_EQ(get(u"Main"_s, u"ZPFormat"_s), u"aaaa"_s);
    ASSERT_EQ(runSettingsTool({u"save"_s, kApp, u"Main"_s, u"ZPFormat"_s, u"0062006200620062"_s}).exitCode, 0);
    EXPECT_EQ(get(u"Main"_s, u"ZPFormat"_s), u"bbbb"_s);
    ASSERT_EQ(runSettingsTool({u"delete"_s, kApp, u"Main"_s, u"ZPFormat"_s}).exitCode, 0);
    EXPECT_EQ(get(u"Main"_s, u"ZPFormat"_s, u"gone"_s), u"gone"_s);
}

TEST(SettingsStoreValues, ReadingCreatesNothingWritingCreatesPrivately)
{
    TestEnv env;
    QDir(env.configHome()).removeRecursively();
    EXPECT_EQ(get(u"Main"_s, u"ZPFormat"_s, u"d"_s), u"d"_s);
    EXPECT_EQ(errorOf([] { deleteKey(u"Main"_s, u"ZPFormat"_s); }).number, 5);
    EXPECT_FALSE(QFileInfo::exists(env.configHome()));
    const mode_t oldMask = ::umask(0);
    save(u"Main"_s, u"ZPFormat"_s, u"x"_s);
    ::umask(oldMask);
    const QString path = vb::SettingsStore::fromEnvironment().filePath(kApp);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(QFileInfo(path).path()), 0700u);
    EXPECT_EQ(modeOf(env.configHome()), 0700u) << "missing parents are private too";
    setMode(path, 0644);
    save(u"Main"_s, u"ZPFormat"_s, u"y"_s);
    EXPECT_EQ(modeOf(path), 0600u) << "a rewrite makes the file private again";
}

TEST(SettingsStoreValues, SaveIfReplacesOnlyTheExpectedValue)
{
    TestEnv env;
    EXPECT_FALSE(vb::SettingsStore::fromEnvironment().SaveSettingIf(kApp, u"Plug in"_s, u"RestartMsgRecv"_s, u"42"_s, u"0"_s)) << "no folder yet";
    save(u"Plug in"_s, u"RestartMsgRecv"_s, u"43"_s);
    EXPECT_FALSE(vb::SettingsStore::fromEnvironment().SaveSettingIf(kApp, u"Plug in"_s, u"RestartMsgRecv"_s, u"42"_s, u"0"_s));
    EXPECT_FALSE(vb::SettingsStore::fromEnvironment().SaveSettingIf(kApp, u"Plug in"_s, u"Other"_s, u"42"_s, u"0"_s)) << "an absent key stays absent";
    EXPECT_EQ(get(u"Plug in"_s, u"RestartMsgRecv"_s), u"43"_s);
    EXPECT_EQ(get(u"Plug in"_s, u"Other"_s, u"<absent>"_s), u"<absent>"_s);
    EXPECT_TRUE(vb::SettingsStore::fromEnvironment().SaveSettingIf(kApp, u"Plug in"_s, u"RestartMsgRecv"_s, u"43"_s, u"0"_s));
    EXPECT_EQ(get(u"Plug in"_s, u"RestartMsgRecv"_s), u"0"_s);
}

TEST(SettingsStoreKeeping, OnlyTheChangedLineMoves)
{
    TestEnv env;
    const QByteArray head = "\xEF\xBB\xBF; Tamo's own settings\n[Main]\nLeft = 120 \n";
    const QByteArray format = "ZPFormat=old\n";
    const QByteArray comment = "\n  # the plug-in section\n[Plug in]\r\n";
    const QByteArray middle = comment + "Other = x\r\n\n[Window]\n";
    const QByteArray last = "Top=5"; // no final LF
    const QByteArray initial = head + format + middle + last;
    // A null value deletes the key.
    const struct { const char* name; QString section, key; const char16_t* value; QByteArray expected; } rows[] = {
        {"replace a key", u"Main"_s, u"ZPFormat"_s, u"new", head + "ZPFormat=new\n" + middle + last},
        {"new key after the section's last key, before a comment", u"Main"_s, u"Added"_s, u"v", head + format + "Added=v\n" + middle + last},
        {"new key after a last line without LF", u"Window"_s, u"Left"_s, u"1", head + format + middle + last + "\nLeft=1\n"},
        {"new section at the end", u"Extra"_s, u"k"_s, u"v", initial + "\n\n[Extra]\nk=v\n"},
        {"delete the only key: the section stays", u"Plug in"_s, u"Other"_s, nullptr, head + format + comment + "\n[Window]\n" + last},
        {"delete the last line", u"Window"_s, u"Top"_s, nullptr, head + format + middle},
    };
    const QString path = vb::SettingsStore::fromEnvironment().filePath(kApp);
    for (const auto& r : rows) {
        writeBytes(path, initial);
        r.value ? save(r.section, r.key, QString::fromUtf16(r.value)) : deleteKey(r.section, r.key);
        EXPECT_EQ(readBytes(path), r.expected) << r.name;
    }
    EXPECT_EQ(get(u"Main"_s, u"Left"_s), u"120"_s);
    EXPECT_EQ(readBytes(path), head + format + middle) << "a read changes nothing";
    // Dotfile managers keep the real file elsewhere and link it in.
    const QString real = env.root() + u"/dotfiles/tamo.ini"_s;
    writeBytes(real, "[Main]\nZPFormat=old\n");
    QFile::remove(path);
    ASSERT_TRUE(QFile::link(real, path));
    save(u"Main"_s, u"ZPFormat"_s, u"new"_s);
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(readBytes(real), "[Main]\nZPFormat=new\n");
}

TEST(SettingsStoreFailures, UnparsableFileRaises75AndStaysAsItWas)
{
    TestEnv env;
    const struct { const char* name; QByteArray file; int line; } rows[] = {
        {"invalid UTF-8", "[Main]\nk=\xFF\n", 2},
        {"raw control character", "[Other]\nk=a\x01\n[Main]\n", 2},
        {"unclosed section", "[Main\nk=x\n", 1},
        {"text without =", "[Main]\nZPFormat\n", 2},
        {"unknown escape", "[Main]\nk=C:\\Users\n", 2},
        {"key twice", "[Main]\nk=1\nk=2\n", 3},
    };
    const QString path = vb::SettingsStore::fromEnvironment().filePath(kApp);
    for (const auto& r : rows) {
        writeBytes(path, r.file);
        // Checked before any lookup: also for absent keys and other sections.
        for (const auto& operation : kOperations)
            EXPECT_EQ(errorOf(operation).description, vb::errorDescription(75) + u' ' + path + u':' + QString::number(r.line))
                << r.name << ", operation " << &operation - kOperations;
        EXPECT_EQ(readBytes(path), r.file) << r.name;
        EXPECT_EQ(leftovers(path), QStringList()) << r.name;
    }
}

TEST(SettingsStoreFailures, AbsentKeysAndUnwritableNamesRaise5)
{
    TestEnv env;
    const QString path = vb::SettingsStore::fromEnvironment().filePath(kApp);
    writeBytes(path, "[Main]\nother=1\n[Plug in]\nk=1\n");
    EXPECT_EQ(errorOf([&] { deleteKey(u"Main"_s, u"k"_s); }).description, vb::errorDescription(5) + u' ' + path);
    EXPECT_EQ(readBytes(path), "[Main]\nother=1\n[Plug in]\nk=1\n");
    QDir(env.configHome()).removeRecursively();
    const struct { const char* name; QString app, section, key; } names[] = {
        {"empty section", u"A"_s, u""_s, u"k"_s},
        {"lone surrogate in the application", u"A"_s + QChar(0xD800), u"S"_s, u"k"_s},
        {"= in a key", u"A"_s, u"S"_s, u"a=b"_s},
        {"key with a trailing tab", u"A"_s, u"S"_s, u"k\t"_s},
    };
    for (const auto& r : names) {
        EXPECT_EQ(errorOf([&] { vb::SettingsStore::fromEnvironment().SaveSetting(r.app, r.section, r.key, u"v"_s); }).number, 5) << r.name;
        EXPECT_EQ(errorOf([&] { vb::SettingsStore::fromEnvironment().GetSetting(r.app, r.section, r.key); }).number, 5) << r.name;
        EXPECT_EQ(errorOf([&] { vb::SettingsStore::fromEnvironment().DeleteSetting(r.app, r.section, r.key); }).number, 5) << r.name;
    }
    EXPECT_FALSE(QFileInfo::exists(env.configHome())) << "raised before the disk is touched";
    vb::SettingsStore::fromEnvironment().SaveSetting(u"A"_s, u" [x] ; # = "_s, u"k;#["_s, u"v"_s);
    EXPECT_EQ(vb::SettingsStore::fromEnvironment().GetSetting(u"A"_s, u" [x] ; # = "_s, u"k;#["_s), u"v"_s) << "names the rules allow";
}

// The Nth fallible call fails, N = 1, 2 … until none fires: the right result or the errno's
// error, the file old or new and never a mix, no temporary file left behind.
TEST(SettingsStoreFailures, EveryFallibleCallFailingInTurn)
{
    TestEnv env;
    const QString path = vb::SettingsStore::fromEnvironment().filePath(kApp);
    const QByteArray initial = "; host\n[Plug in]\nRestartMsgRecv=77\n[Main]\nZPFormat=old\n";
    const auto saveOld = [] { save(u"Main"_s, u"ZPFormat"_s, u"new"_s); };
    const QByteArray saved = "; host\n[Plug in]\nRestartMsgRecv=77\n[Main]\nZPFormat=new\n";
    const struct { const char* name; std::function<void()> operation; QByteArray after; int err, number; } rows[] = {
        {"save, I/O error", saveOld, saved, EIO, 75},
        {"save, permission", saveOld, saved, EACCES, 70},
        {"save a new section, disk full", [] { save(u"New"_s, u"k"_s, u"v"_s); }, initial + "\n[New]\nk=v\n", ENOSPC, 61},
        {"delete, I/O error", [] { deleteKey(u"Plug in"_s, u"RestartMsgRecv"_s); }, "; host\n[Plug in]\n[Main]\nZPFormat=old\n", EIO, 75},
        {"get, I/O error", [] { EXPECT_EQ(get(u"Main"_s, u"ZPFormat"_s), u"old"_s); }, initial, EIO, 75},
    };
    writeBytes(path, initial);
    get(u"Main"_s, u"ZPFormat"_s); // creates the lock file
    for (const auto& r : rows) {
        int failures = 0;
        for (int n = 1;; ++n) {
            ASSERT_LT(n, 100) << r.name << ": the faults never ran out";
            writeBytes(path, initial);
            vb::injectSettingsFault(n, r.err);
            const vb::Error e = errorOf(r.operation);
            const bool fired = vb::settingsFaultFired();
            vb::injectSettingsFault(0, 0);
            const QByteArray now = readBytes(path);
            EXPECT_EQ(leftovers(path), QStringList()) << r.name << " n=" << n;
            if (!fired) {
                EXPECT_EQ(e.number, 0) << r.name;
                EXPECT_EQ(now, r.after) << r.name;
                break;
            }
            ++failures;
            EXPECT_EQ(e.number, r.number) << r.name << " n=" << n;
            // The file's path, or its lock's.
            EXPECT_TRUE(e.description.startsWith(vb::errorDescription(r.number) + u' ' + path))
                << r.name << " n=" << n << ": " << e.description.toStdString();
            EXPECT_TRUE(now == initial || now == r.after) << r.name << " n=" << n << ": " << now.toStdString();
        }
        EXPECT_GE(failures, 3) << r.name;
    }
    saveOld();
    EXPECT_GT(vb::settingsFallibleCalls(), 8) << "every step of a write is a fallible call";
    for (const auto& [err, number] : {std::pair{EPERM, 70}, {EROFS, 70}, {EDQUOT, 61}, {EMFILE, 75}}) {
        vb::injectSettingsFault(1, err);
        EXPECT_EQ(errorOf(saveOld).number, number) << err;
    }
    vb::injectSettingsFault(0, 0);
}

TEST(SettingsStoreFailures, LockHeldBeyondOrWithinTheWait)
{
    TestEnv env;
    const QString path = vb::SettingsStore::fromEnvironment().filePath(kApp);
    save(u"Main"_s, u"ZPFormat"_s, u"old"_s);
    const QByteArray before = readBytes(path);
    // Another process holds the lock until its standard input closes.
    QProcess holder;
    holder.start(u"flock"_s, {u"--exclusive"_s, path + u".lock"_s, u"-c"_s, u"echo held; exec cat"_s});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readLine(), "held\n");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(errorOf([] { save(u"Main"_s, u"ZPFormat"_s, u"new"_s); }).description, vb::errorDescription(75) + u' ' + path + u".lock"_s);
    EXPECT_GE(timer.elapsed(), 1900) << "it waits about 2 s before giving up";
    EXPECT_EQ(errorOf([] { get(u"Main"_s, u"ZPFormat"_s); }).number, 75);
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(leftovers(path), QStringList());
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(10000));
    // A lock abandoned after the wait must not stay held by this process.
    save(u"Main"_s, u"ZPFormat"_s, u"new"_s);

    // A lock released within the wait is taken.
    const int fd = ::open(QFile::encodeName(path + u".lock"_s).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::thread release([fd] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); ::close(fd); });
    timer.restart();
    EXPECT_EQ(errorOf([] { save(u"Main"_s, u"ZPFormat"_s, u"newer"_s); }).number, 0);
    EXPECT_GE(timer.elapsed(), 250) << "it waited for the holder";
    release.join();
    EXPECT_EQ(get(u"Main"_s, u"ZPFormat"_s), u"newer"_s);
}

// Root ignores permission bits, so the store runs as uid 65534 in a root-owned tree.
TEST(SettingsStoreFailures, PermissionDeniedRaises70)
{
    TestEnv env;
    // A build tree under a private folder keeps uid 65534 from even starting the tool.
    if (QProcess::execute(u"setpriv"_s, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, u"test"_s,
                                         u"-x"_s, settingsToolCommand({}).first()}) != 0)
        GTEST_SKIP() << "uid 65534 cannot run the settings tool from this build tree";
    const QString path = vb::SettingsStore::fromEnvironment().filePath(kApp);
    const QString folder = QFileInfo(path).path();
    setMode(env.root(), 0755);
    setMode(env.configHome(), 0755);
    const QByteArray content = "[Main]\nZPFormat=%h%\n";
    const auto result = [](const QStringList& args) {
        const ToolRun run = runSettingsTool(args, true);
        return run.out.startsWith("error ") ? run.out.left(run.out.indexOf(' ', 6)) : run.out;
    };
    // The folder's mode; the tool's answer to get, save and delete.
    const struct { const char* name; mode_t folderMode; QByteArray getOut, saveOut, deleteOut; } rows[] = {
        {"private folder of another user", 0700, "error 70", "error 70", "error 70"},
        {"readable folder, no lock file: read without it", 0755, toHexUnits(u"%h%"_s), "error 70", "error 70"},
    };
    for (const auto& r : rows) {
        QDir(folder).removeRecursively();
        writeBytes(path, content);
        setMode(path, 0644);
        setMode(folder, r.folderMode);
        EXPECT_EQ(result({u"get"_s, kApp, u"Main"_s, u"ZPFormat"_s}), r.getOut) << r.name;
        EXPECT_EQ(result({u"save"_s, kApp, u"Main"_s, u"ZPFormat"_s, u"0078"_s}), r.saveOut) << r.name;
        EXPECT_EQ(result({u"delete"_s, kApp, u"Main"_s, u"ZPFormat"_s}), r.deleteOut) << r.name;
        EXPECT_EQ(readBytes(path), content) << r.name;
    }
}

TEST(SettingsStoreConcurrency, TwoProcessesWritingDifferentKeys)
{
    TestEnv env;
    const QString path = vb::SettingsStore::fromEnvironment().filePath(kApp);
    writeBytes(path, "; written by the host\n[Plug in]\nTamoZP=1\n");
    QProcess host, window;
    QStringList hostCommand = settingsToolCommand({u"hammer"_s, kApp, u"Plug in"_s, u"RestartMsgRecv"_s, u"500"_s});
    QStringList windowCommand = settingsToolCommand({u"hammer"_s, kApp, u"Main"_s, u"ZPFormat"_s, u"500"_s});
    host.start(hostCommand.takeFirst(), hostCommand);
    window.start(windowCommand.takeFirst(), windowCommand);
    // A generous sanity bound: a lock that starves a writer fails its operation after 2 s.
    ASSERT_TRUE(host.waitForFinished(120000) && window.waitForFinished(120000));
    EXPECT_EQ(host.exitCode(), 0) << host.readAllStandardOutput().toStdString();
    EXPECT_EQ(window.exitCode(), 0) << window.readAllStandardOutput().toStdString();
    EXPECT_EQ(get(u"Plug in"_s, u"RestartMsgRecv"_s), u"RestartMsgRecv-500"_s);
    EXPECT_EQ(get(u"Main"_s, u"ZPFormat"_s), u"ZPFormat-500"_s);
    EXPECT_TRUE(readBytes(path).startsWith("; written by the host\n[Plug in]\nTamoZP=1\n"));
    EXPECT_EQ(leftovers(path), QStringList());
}
