// The settings store: paths, the file text and another process reading it, byte-for-byte keeping
// of untouched lines, and failures (unparsable files, names, permissions, locks, injected faults).

#include "runtime/Error.h"
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

void PrintTo(const QByteArray& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const QString kApp = u"Tamo for Windows NT/95"_s;

void save(const QString& section, const QString& key, const QString& value) { vb::SaveSetting(kApp, section, key, value); }
QString get(const QString& section, const QString& key, const QString& fallback = {}) { return vb::GetSetting(kApp, section, key, fallback); }
void deleteKey(const QString& section, const QString& key) { vb::DeleteSetting(kApp, section, key); }

template <class F>
vb::Error errorOf(F f) try { f(); return {}; } catch (const vb::Error& e) { return e; }

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
}

unsigned modeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

// What the store's folder holds beyond the file and its lock.
QStringList leftovers(const QString& iniPath)
{
    QStringList names = QDir(QFileInfo(iniPath).path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    names.removeOne(QFileInfo(iniPath).fileName());
    names.removeOne(QFileInfo(iniPath).fileName() + u".lock"_s);
    return names;
}

} // namespace

TEST(SettingsStorePath, FileNameAndFolder)
{
    TestEnv env;
    const std::pair<QString, QString> files[] = {
        {u"Tamo for Windows NT/95"_s, u"Tamo for Windows NT%2F95.ini"_s},
        {u"100%"_s, u"100%25.ini"_s},
        {u"/x//y/"_s, u"%2Fx%2F%2Fy%2F.ini"_s},
        {u"時計"_s, u"時計.ini"_s},
    };
    for (const auto& [app, file] : files)
        EXPECT_EQ(vb::settingsFilePath(app), env.configHome() + u"/vb-program-settings/"_s + file);
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", "/home/someone");
    const std::pair<const char*, QString> folders[] = {
        {"/srv/conf", u"/srv/conf"_s},
        {"/srv/conf//", u"/srv/conf"_s},
        {"conf", u"/home/someone/.config"_s}, // relative: ignored
        {"", u"/home/someone/.config"_s},
        {nullptr, u"/home/someone/.config"_s},
    };
    for (const auto& [xdg, folder] : folders) {
        xdg ? qputenv("XDG_CONFIG_HOME", xdg) : qunsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(vb::settingsFilePath(u"A"_s), folder + u"/vb-program-settings/A.ini"_s) << (xdg ? xdg : "unset");
    }
    qputenv("HOME", oldHome);
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
    const QString path = vb::settingsFilePath(kApp);
    for (const auto& r : rows) {
        QFile::remove(path);
        save(u"Main"_s, u"k"_s, r.value);
        EXPECT_EQ(readBytes(path), "[Main]\n" + r.line + "\n") << r.name;
        const ToolRun got = runSettingsTool({u"get"_s, kApp, u"Main"_s, u"k"_s, u"0064"_s});
        EXPECT_EQ(got.exitCode, 0) << r.name << ": " << got.out.toStdString();
        EXPECT_EQ(fromHexUnits(got.out), r.value) << r.name;
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
    save(u"Main"_s, u"Other"_s, u"x"_s);
    EXPECT_EQ(fromHexUnits(runSettingsTool({u"get"_s, kApp, u"Main"_s, u"ZPFormat"_s}).out), u"bbbb"_s);
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
    const QString path = vb::settingsFilePath(kApp);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(QFileInfo(path).path()), 0700u);
    EXPECT_EQ(modeOf(env.configHome()), 0700u) << "missing parents are private too";
    ::chmod(QFile::encodeName(path).constData(), 0644);
    save(u"Main"_s, u"ZPFormat"_s, u"y"_s);
    EXPECT_EQ(modeOf(path), 0600u) << "a rewrite makes the file private again";
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
        {"new key in a CR LF section", u"Plug in"_s, u"TamoZP"_s, u"1", head + format + comment + "Other = x\r\nTamoZP=1\n\n[Window]\n" + last},
        {"new key after a last line without LF", u"Window"_s, u"Left"_s, u"1", head + format + middle + last + "\nLeft=1\n"},
        {"replace the last line, still without LF", u"Window"_s, u"Top"_s, u"6", head + format + middle + "Top=6"},
        {"new section at the end", u"Extra"_s, u"k"_s, u"v", initial + "\n\n[Extra]\nk=v\n"},
        {"delete a key", u"Main"_s, u"Left"_s, nullptr, "\xEF\xBB\xBF; Tamo's own settings\n[Main]\n" + format + middle + last},
        {"delete the only key: the section stays", u"Plug in"_s, u"Other"_s, nullptr, head + format + comment + "\n[Window]\n" + last},
        {"delete the last line", u"Window"_s, u"Top"_s, nullptr, head + format + middle},
    };
    const QString path = vb::settingsFilePath(kApp);
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

TEST(SettingsStoreKeeping, ParsedForms)
{
    TestEnv env;
    // "<default>" when the key should be absent.
    const struct { const char* name; QByteArray file; QString section, expected; } rows[] = {
        {"byte-order mark, CR LF", "\xEF\xBB\xBF[Main]\r\nk=x\r\n", u"Main"_s, u"x"_s},
        {"blanks around = and at the end", "[Main]\n \t k \t=  x y \t\n", u"Main"_s, u"x y"_s},
        {"indented comments, key before any section", "  ; c\n\t# c=1\nk=top\n[Main]\nk=x\n", u"Main"_s, u"x"_s},
        {"raw tab, no final LF", "[Main]\nk=a\tb", u"Main"_s, u"a\tb"_s},
        {"escapes in either case", "[Main]\nk=\\u00e9\\u00C9\\uD83C\\uDF15\\s\n", u"Main"_s, u"éÉ🌕 "_s},
        {"section name as it stands", "[ Main ]\nk=x\n", u" Main "_s, u"x"_s},
        {"spaced section is another section", "[ Main ]\nk=x\n", u"Main"_s, u"<default>"_s},
        {"names compare exactly", "[main]\nK=x\n", u"Main"_s, u"<default>"_s},
        {"same key in two sections", "[A]\nk=1\n[Main]\nk=2\n", u"Main"_s, u"2"_s},
        {"brackets inside a section name", "[a]b]\nk=x\n", u"a]b"_s, u"x"_s},
    };
    const QString path = vb::settingsFilePath(kApp);
    for (const auto& r : rows) {
        writeBytes(path, r.file);
        const vb::Error e = errorOf([&] { EXPECT_EQ(get(r.section, u"k"_s, u"<default>"_s), r.expected) << r.name; });
        EXPECT_EQ(e.number, 0) << r.name << ": " << e.description.toStdString();
    }
}

TEST(SettingsStoreFailures, UnparsableFileRaises75AndStaysAsItWas)
{
    TestEnv env;
    const struct { const char* name; QByteArray file; int line; } rows[] = {
        {"invalid byte", "[Main]\nk=\xFF\n", 2},
        {"overlong form", "[Main]\nk=\xC0\xAF\n", 2},
        {"encoded surrogate", "[Main]\nk=\xED\xA0\x80\n", 2},
        {"truncated sequence", "[Main]\nk=\xE6\x97", 2},
        {"NUL", QByteArray("[Main]\nk=a\0b\n", 13), 2},
        {"raw control character", "[Main]\nk=a\x01\n", 2},
        {"raw DEL", "[Main]\nk=a\x7F\n", 2},
        {"CR inside a line", "[Main]\nk=a\rb\n", 2},
        {"unclosed section", "[Main\nk=x\n", 1},
        {"text without =", "[Main]\nZPFormat\n", 2},
        {"empty key", "[Main]\n = x\n", 2},
        {"unknown escape", "[Main]\nk=C:\\Users\n", 2},
        {"short \\u", "[Main]\nk=\\u12\n", 2},
        {"not hex", "[Main]\nk=\\u12G4\n", 2},
        {"lone backslash at the end", "[Main]\nk=a\\\n", 2},
        {"section twice", "[Main]\nk=1\n[Plug in]\n[Main]\n", 4},
        {"key twice", "[Main]\nk=1\nk=2\n", 3},
        {"fault in a section nobody reads", "[Other]\nbad line\n[Main]\nk=x\n", 2},
    };
    // Checked before any lookup: also for absent keys and other sections.
    const std::function<void()> operations[] = {
        [] { get(u"Main"_s, u"k"_s); },
        [] { get(u"Nowhere"_s, u"k"_s); },
        [] { save(u"New"_s, u"n"_s, u"new"_s); },
        [] { deleteKey(u"Main"_s, u"nope"_s); },
    };
    const QString path = vb::settingsFilePath(kApp);
    for (const auto& r : rows) {
        writeBytes(path, r.file);
        for (const auto& operation : operations) {
            const vb::Error e = errorOf(operation);
            EXPECT_EQ(e.number, 75) << r.name << ", operation " << &operation - operations;
            EXPECT_EQ(e.description, vb::errorDescription(75) + u' ' + path + u':' + QString::number(r.line)) << r.name;
            EXPECT_EQ(readBytes(path), r.file) << r.name;
        }
        EXPECT_EQ(leftovers(path), QStringList()) << r.name;
    }
}

TEST(SettingsStoreFailures, AbsentKeysAndUnwritableNamesRaise5)
{
    TestEnv env;
    const QString path = vb::settingsFilePath(kApp);
    const std::pair<const char*, QByteArray> files[] = {
        {"empty file", ""},
        {"no such section", "[Plug in]\nk=1\n"},
        {"no such key", "[Main]\nother=1\n"},
        {"key only in another section", "[Plug in]\nk=1\n[Main]\n"},
    };
    for (const auto& [name, file] : files) {
        writeBytes(path, file);
        const vb::Error e = errorOf([&] { deleteKey(u"Main"_s, u"k"_s); });
        EXPECT_EQ(e.number, 5) << name;
        EXPECT_EQ(e.description, vb::errorDescription(5) + u' ' + path) << name;
        EXPECT_EQ(readBytes(path), file) << name;
    }
    QDir(env.configHome()).removeRecursively();
    const struct { const char* name; QString app, section, key; } names[] = {
        {"empty application", u""_s, u"S"_s, u"k"_s},
        {"empty section", u"A"_s, u""_s, u"k"_s},
        {"empty key", u"A"_s, u"S"_s, u""_s},
        {"line break in a section", u"A"_s, u"S\nk=1"_s, u"k"_s},
        {"NUL in the application", u"A"_s + QChar(0), u"S"_s, u"k"_s},
        {"lone surrogate in a key", u"A"_s, u"S"_s, QString(QChar(0xD800))},
        {"= in a key", u"A"_s, u"S"_s, u"a=b"_s},
        {"key starting with [", u"A"_s, u"S"_s, u"[k"_s},
        {"key starting with ;", u"A"_s, u"S"_s, u";k"_s},
        {"key with a leading space", u"A"_s, u"S"_s, u" k"_s},
        {"key with a trailing tab", u"A"_s, u"S"_s, u"k\t"_s},
    };
    for (const auto& r : names) {
        EXPECT_EQ(errorOf([&] { vb::SaveSetting(r.app, r.section, r.key, u"v"_s); }).number, 5) << r.name;
        EXPECT_EQ(errorOf([&] { vb::GetSetting(r.app, r.section, r.key); }).number, 5) << r.name;
        EXPECT_EQ(errorOf([&] { vb::DeleteSetting(r.app, r.section, r.key); }).number, 5) << r.name;
    }
    EXPECT_FALSE(QFileInfo::exists(env.configHome())) << "raised before the disk is touched";
    vb::SaveSetting(u"A"_s, u" [x] ; # = "_s, u"k;#["_s, u"v"_s);
    EXPECT_EQ(vb::GetSetting(u"A"_s, u" [x] ; # = "_s, u"k;#["_s), u"v"_s) << "names the rules allow";
}

TEST(SettingsStoreFailures, BrokenPlacesRaise75)
{
    TestEnv env;
    const QString path = vb::settingsFilePath(kApp);
    const std::pair<const char*, QString> folders[] = {
        {"a folder where the file should be", path},
        {"a folder where the lock should be", path + u".lock"_s},
    };
    const std::function<void()> operations[] = {
        [] { save(u"Main"_s, u"k"_s, u"v"_s); }, [] { get(u"Main"_s, u"k"_s); }, [] { deleteKey(u"Main"_s, u"k"_s); }};
    for (const auto& [name, folder] : folders) {
        QDir(env.configHome()).removeRecursively();
        QDir().mkpath(folder);
        for (const auto& operation : operations)
            EXPECT_EQ(errorOf(operation).description, vb::errorDescription(75) + u' ' + folder) << name;
    }
    QDir(env.configHome()).removeRecursively();
    writeBytes(env.configHome() + u"/vb-program-settings"_s, "a file where the folder should be");
    for (const auto& operation : operations)
        EXPECT_EQ(errorOf(operation).number, 75);
}

// Each fallible call of an operation fails in turn, N = 1, 2, 3 ... until a run injects
// nothing: every run ends with the right result or the errno's error, and the file holds
// either the old or the new text, never a mix, with no temporary file left behind.
TEST(SettingsStoreFailures, EveryFallibleCallFailingInTurn)
{
    TestEnv env;
    const QString path = vb::settingsFilePath(kApp);
    const QByteArray initial = "; host\n[Plug in]\nRestartMsgRecv=77\n[Main]\nZPFormat=old\n";
    const auto saveOld = [] { save(u"Main"_s, u"ZPFormat"_s, u"new"_s); };
    const struct { const char* name; std::function<void()> operation; QByteArray after; int err, number; } rows[] = {
        {"save, I/O error", saveOld, "; host\n[Plug in]\nRestartMsgRecv=77\n[Main]\nZPFormat=new\n", EIO, 75},
        {"save, permission", saveOld, "; host\n[Plug in]\nRestartMsgRecv=77\n[Main]\nZPFormat=new\n", EACCES, 70},
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
    for (const auto& [err, number] : {std::pair{EPERM, 70}, {EROFS, 70}, {EDQUOT, 61}, {EMFILE, 75}, {ENAMETOOLONG, 75}}) {
        vb::injectSettingsFault(1, err);
        EXPECT_EQ(errorOf(saveOld).number, number) << err;
    }
    vb::injectSettingsFault(0, 0);
}

TEST(SettingsStoreFailures, LockHeldBeyondOrWithinTheWait)
{
    TestEnv env;
    const QString path = vb::settingsFilePath(kApp);
    save(u"Main"_s, u"ZPFormat"_s, u"old"_s);
    const QByteArray before = readBytes(path);
    // Another process holds the lock until its standard input closes.
    QProcess holder;
    holder.start(u"flock"_s, {u"--exclusive"_s, path + u".lock"_s, u"-c"_s, u"echo held; exec cat"_s});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readLine(), "held\n");
    QElapsedTimer timer;
    timer.start();
    const vb::Error e = errorOf([] { save(u"Main"_s, u"ZPFormat"_s, u"new"_s); });
    const qint64 waited = timer.elapsed();
    EXPECT_EQ(e.description, vb::errorDescription(75) + u' ' + path + u".lock"_s);
    EXPECT_GE(waited, 1900) << "it waits about 2 s before giving up";
    EXPECT_LT(waited, 30000);
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
    std::thread release([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::close(fd);
    });
    timer.restart();
    EXPECT_EQ(errorOf([] { save(u"Main"_s, u"ZPFormat"_s, u"newer"_s); }).number, 0);
    EXPECT_GE(timer.elapsed(), 250) << "it waited for the holder";
    release.join();
    EXPECT_EQ(get(u"Main"_s, u"ZPFormat"_s), u"newer"_s);
}

// Root ignores permission bits, so these run the store as uid 65534 in a root-owned tree.
TEST(SettingsStoreFailures, PermissionDeniedRaises70)
{
    TestEnv env;
    // A build tree under a private folder keeps uid 65534 from even starting the tool.
    if (QProcess::execute(u"setpriv"_s, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, u"test"_s, u"-x"_s,
                                         settingsToolPath()}) != 0)
        GTEST_SKIP() << "uid 65534 cannot run " << settingsToolPath().toStdString();
    const QString path = vb::settingsFilePath(kApp);
    const QString folder = QFileInfo(path).path();
    const auto open755 = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    const auto private700 = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const auto readable644 = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QFile::setPermissions(env.root(), open755);
    QFile::setPermissions(env.configHome(), open755);
    const QByteArray content = "[Main]\nZPFormat=%h%\n";
    // No folder when folderMode is empty; the tool's output, without a description, for each operation.
    const struct { const char* name; QFile::Permissions folderMode; bool lock; QByteArray getOut, saveOut, deleteOut; } rows[] = {
        {"private folder of another user", private700, true, "error 70", "error 70", "error 70"},
        {"readable folder, file and lock of another user", open755, true, toHexUnits(u"%h%"_s), "error 70", "error 70"},
        {"readable folder and file, no lock: read without it", open755, false, toHexUnits(u"%h%"_s), "error 70", "error 70"},
        {"no folder yet, config home of another user", {}, false, "", "error 70", "error 5"},
    };
    const auto result = [](const QStringList& args) {
        const ToolRun run = runSettingsTool(args, true);
        return run.out.startsWith("error ") ? run.out.left(run.out.indexOf(' ', 6)) : run.out;
    };
    for (const auto& r : rows) {
        QDir(folder).removeRecursively();
        if (r.folderMode.toInt() != 0) {
            writeBytes(path, content);
            QFile::setPermissions(path, readable644);
            if (r.lock) {
                writeBytes(path + u".lock"_s, "");
                QFile::setPermissions(path + u".lock"_s, readable644);
            }
            QFile::setPermissions(folder, r.folderMode);
        }
        EXPECT_EQ(result({u"get"_s, kApp, u"Main"_s, u"ZPFormat"_s}), r.getOut) << r.name;
        EXPECT_EQ(result({u"save"_s, kApp, u"Main"_s, u"ZPFormat"_s, u"0078"_s}), r.saveOut) << r.name;
        EXPECT_EQ(result({u"delete"_s, kApp, u"Main"_s, u"ZPFormat"_s}), r.deleteOut) << r.name;
        EXPECT_EQ(readBytes(path), r.folderMode.toInt() != 0 ? content : QByteArray("<unreadable>")) << r.name;
    }
}

TEST(SettingsStoreConcurrency, TwoProcessesWritingDifferentKeys)
{
    TestEnv env;
    const QString path = vb::settingsFilePath(kApp);
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
