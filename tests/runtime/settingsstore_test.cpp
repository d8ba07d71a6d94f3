// The settings store: paths, the file format read back by another process, byte-for-byte
// keeping of what the store does not touch, and its failures (unparsable files, permissions,
// locks, injected I/O faults, concurrent writers).

#include "runtime/Error.h"
#include "runtime/SettingsStore.h"
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
#include <iostream>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toUtf8().toStdString() << '"';
}

void PrintTo(const QByteArray& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kApp = u"Tamo for Windows NT/95"_s;

vb::Error errorOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const vb::Error& e) {
        return e;
    }
    return {};
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The names in the store's folder: anything beyond the file and its lock is a leftover.
QStringList folderEntries(const QString& iniPath)
{
    return QDir(QFileInfo(iniPath).path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                                     QDir::Name);
}

unsigned modeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

QStringList fileAndLock(const QString& iniPath)
{
    const QString name = QFileInfo(iniPath).fileName();
    return {name, name + u".lock"_s};
}

} // namespace

// ---- Paths ---------------------------------------------------------------------------------

TEST(SettingsStorePath, FileNameEscapesSlashAndPercent)
{
    TestEnv env;
    const QString folder = env.configHome() + u"/vb-program-settings/"_s;
    struct Row {
        QString app;
        QString file;
    };
    const Row rows[] = {
        {u"Tamo for Windows NT/95"_s, u"Tamo for Windows NT%2F95.ini"_s},
        {u"100%"_s, u"100%25.ini"_s},
        {u"a%2Fb"_s, u"a%252Fb.ini"_s},
        {u"/x//y/"_s, u"%2Fx%2F%2Fy%2F.ini"_s},
        {u"時計"_s, u"時計.ini"_s},
    };
    for (const Row& row : rows)
        EXPECT_EQ(vb::settingsFilePath(row.app), folder + row.file) << row.app.toStdString();
}

TEST(SettingsStorePath, ConfigHomeFromTheEnvironment)
{
    TestEnv env;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", "/home/someone");
    struct Row {
        const char* name;
        std::optional<QByteArray> xdg;
        QString folder;
    };
    const Row rows[] = {
        {"absolute", QByteArray("/srv/conf"), u"/srv/conf"_s},
        {"trailing slashes dropped", QByteArray("/srv/conf//"), u"/srv/conf"_s},
        {"relative is ignored", QByteArray("conf"), u"/home/someone/.config"_s},
        {"empty is ignored", QByteArray(""), u"/home/someone/.config"_s},
        {"unset", std::nullopt, u"/home/someone/.config"_s},
    };
    for (const Row& row : rows) {
        if (row.xdg)
            qputenv("XDG_CONFIG_HOME", *row.xdg);
        else
            qunsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(vb::settingsFilePath(u"A"_s), row.folder + u"/vb-program-settings/A.ini"_s) << row.name;
    }
    qputenv("HOME", oldHome);
}

// ---- Values across processes ---------------------------------------------------------------

struct ValueRow {
    const char* name;
    QString value;
};

const ValueRow kAwkwardValues[] = {
    {"empty", u""_s},
    {"leading spaces", u"  lead"_s},
    {"trailing spaces", u"trail  "_s},
    {"only spaces", u"   "_s},
    {"inner spaces", u"a  b"_s},
    {"tabs at the edges", u"\tx\t"_s},
    {"commas", u"a,b,,c"_s},
    {"semicolons", u";x;"_s},
    {"equals signs", u"=a=b="_s},
    {"hash", u"#x # y"_s},
    {"percent", u"%h:nn% 100%"_s},
    {"backslashes", u"\\\\server\\share\\"_s},
    {"escape look-alikes", u"\\s\\t\\u0041\\"_s},
    {"double quotes", u"\"quoted\" \""_s},
    {"brackets", u"[Main]"_s},
    {"japanese", u"令和%g%年　%m%月"_s},
    {"emoji", u"🌕 🌑"_s},
    {"leading BOM", u"\uFEFFx"_s},
    {"BOM only", u"\uFEFF"_s},
    {"lone high surrogate", QString(QChar(0xD800)) + u"x"_s},
    {"lone low surrogate at the end", u"x"_s + QChar(0xDC00)},
    {"reversed pair", QString(QChar(0xDC00)) + QChar(0xD800)},
    {"line breaks", u"a\nb\r\nc\r"_s},
    {"control characters", QString(QChar(0)) + QChar(1) + QChar(0x1F) + QChar(0x7F)},
    {"C1 and separators", QString(QChar(0x85)) + QChar(0x2028) + QChar(0x2029)},
    {"noncharacters", QString(QChar(0xFFFE)) + QChar(0xFFFF)},
};

TEST(SettingsStoreValues, WrittenHereReadElsewhere)
{
    TestEnv env;
    for (const ValueRow& row : kAwkwardValues) {
        vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, row.value);
        const ToolRun run = runSettingsTool({u"get"_s, kApp, u"Main"_s, u"ZPFormat"_s, u"0064"_s});
        ASSERT_EQ(run.exitCode, 0) << row.name << ": " << run.out.toStdString();
        EXPECT_EQ(fromHexUnits(run.out), row.value) << row.name;
    }
}

TEST(SettingsStoreValues, WrittenElsewhereReadHere)
{
    TestEnv env;
    for (const ValueRow& row : kAwkwardValues) {
        const ToolRun run =
            runSettingsTool({u"save"_s, kApp, u"Plug in"_s, u"Value"_s, QString::fromLatin1(toHexUnits(row.value))});
        ASSERT_EQ(run.exitCode, 0) << row.name << ": " << run.out.toStdString();
        const QString read = vb::GetSetting(kApp, u"Plug in"_s, u"Value"_s, u"default"_s);
        EXPECT_EQ(read, row.value) << row.name;
        EXPECT_FALSE(read.isNull()) << row.name;
    }
}

TEST(SettingsStoreValues, EveryOperationReadsTheDisk)
{
    TestEnv env;
    // Same size, written back to back: a cache keyed on size and time would miss the change.
    vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"aaaa"_s);
    ASSERT_EQ(runSettingsTool({u"save"_s, kApp, u"Main"_s, u"ZPFormat"_s, u"0062006200620062"_s}).exitCode, 0);
    EXPECT_EQ(vb::GetSetting(kApp, u"Main"_s, u"ZPFormat"_s), u"bbbb"_s);
    vb::SaveSetting(kApp, u"Main"_s, u"Other"_s, u"x"_s);
    EXPECT_EQ(fromHexUnits(runSettingsTool({u"get"_s, kApp, u"Main"_s, u"ZPFormat"_s}).out), u"bbbb"_s);
    ASSERT_EQ(runSettingsTool({u"delete"_s, kApp, u"Main"_s, u"ZPFormat"_s}).exitCode, 0);
    EXPECT_EQ(vb::GetSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"gone"_s), u"gone"_s);
}

TEST(SettingsStoreValues, FileTextOfValues)
{
    TestEnv env;
    struct Row {
        const char* name;
        QString value;
        QByteArray line;
    };
    const Row rows[] = {
        {"plain", u"%h:nn%"_s, "k=%h:nn%"},
        {"spaces only at the edges", u"  a b  "_s, "k=\\s\\sa b\\s\\s"},
        {"all spaces", u"   "_s, "k=\\s\\s\\s"},
        {"empty", u""_s, "k="},
        {"backslash", u"a\\b"_s, "k=a\\\\b"},
        {"controls", u"\t\n\r"_s + QChar(1), "k=\\t\\n\\r\\u0001"},
        {"BOM", u"\uFEFFx"_s, "k=\\uFEFFx"},
        {"lone surrogate", QString(QChar(0xDBFF)), "k=\\uDBFF"},
        {"raw UTF-8", u"月齢🌕"_s, "k=月齢🌕"},
        {"raw punctuation", u";#=,\"%[]"_s, "k=;#=,\"%[]"},
    };
    const QString path = vb::settingsFilePath(kApp);
    for (const Row& row : rows) {
        QFile::remove(path);
        vb::SaveSetting(kApp, u"S"_s, u"k"_s, row.value);
        EXPECT_EQ(readBytes(path), "[S]\n" + row.line + "\n") << row.name;
    }
}

TEST(SettingsStoreValues, FolderAndFileModes)
{
    TestEnv env;
    QDir(env.configHome()).removeRecursively();
    const mode_t oldMask = ::umask(0);
    vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"x"_s);
    ::umask(oldMask);
    const QString path = vb::settingsFilePath(kApp);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(QFileInfo(path).path()), 0700u);
    EXPECT_EQ(modeOf(env.configHome()), 0700u) << "missing parents are private too";
    ::chmod(QFile::encodeName(path).constData(), 0644);
    vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"y"_s);
    EXPECT_EQ(modeOf(path), 0600u) << "a rewrite makes the file private again";
}

TEST(SettingsStoreValues, ReadingCreatesNothing)
{
    TestEnv env;
    EXPECT_EQ(vb::GetSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"d"_s), u"d"_s);
    EXPECT_EQ(vb::GetSetting(kApp, u"Main"_s, u"ZPFormat"_s), QString());
    EXPECT_EQ(errorOf([] { vb::DeleteSetting(kApp, u"Main"_s, u"ZPFormat"_s); }).number, 5);
    EXPECT_FALSE(QFileInfo::exists(env.configHome() + u"/vb-program-settings"_s));
}

// ---- Keeping what the store does not touch --------------------------------------------------

TEST(SettingsStoreKeeping, OnlyTheChangedLineMoves)
{
    TestEnv env;
    const QByteArray head = "\xEF\xBB\xBF; Tamo's own settings\n"
                            "[Main]\n"
                            "Left = 120 \n";
    const QByteArray format = "ZPFormat=old\n";
    const QByteArray middle = "\n"
                              "  # the plug-in section\n"
                              "[Plug in]\r\n"
                              "Other = x\r\n"
                              "\n"
                              "[Window]\n";
    const QByteArray last = "Top=5"; // no final LF
    const QByteArray initial = head + format + middle + last;

    struct Row {
        const char* name;
        std::function<void()> change;
        QByteArray expected;
    };
    const Row rows[] = {
        {"replace a key", [] { vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"new"_s); },
         head + "ZPFormat=new\n" + middle + last},
        {"new key after the section's last key, before the next section's comment",
         [] { vb::SaveSetting(kApp, u"Main"_s, u"Added"_s, u"v"_s); },
         head + format + "Added=v\n" + middle + last},
        {"new key in a CR LF section", [] { vb::SaveSetting(kApp, u"Plug in"_s, u"TamoZP"_s, u"1"_s); },
         head + format + "\n  # the plug-in section\n[Plug in]\r\nOther = x\r\nTamoZP=1\n\n[Window]\n" + last},
        {"new key after a last line without LF",
         [] { vb::SaveSetting(kApp, u"Window"_s, u"Left"_s, u"1"_s); },
         head + format + middle + last + "\nLeft=1\n"},
        {"replace the last line, still without LF",
         [] { vb::SaveSetting(kApp, u"Window"_s, u"Top"_s, u"6"_s); }, head + format + middle + "Top=6"},
        {"new section at the end", [] { vb::SaveSetting(kApp, u"Extra"_s, u"k"_s, u"v"_s); },
         head + format + middle + last + "\n\n[Extra]\nk=v\n"},
        {"delete a key", [] { vb::DeleteSetting(kApp, u"Main"_s, u"Left"_s); },
         "\xEF\xBB\xBF; Tamo's own settings\n[Main]\n" + format + middle + last},
        {"delete the only key: the section stays",
         [] { vb::DeleteSetting(kApp, u"Plug in"_s, u"Other"_s); },
         head + format + "\n  # the plug-in section\n[Plug in]\r\n\n[Window]\n" + last},
        {"delete the last line", [] { vb::DeleteSetting(kApp, u"Window"_s, u"Top"_s); },
         head + format + middle},
        {"read", [] { EXPECT_EQ(vb::GetSetting(kApp, u"Main"_s, u"Left"_s), u"120"_s); }, initial},
    };
    const QString path = vb::settingsFilePath(kApp);
    for (const Row& row : rows) {
        writeBytes(path, initial);
        row.change();
        EXPECT_EQ(readBytes(path), row.expected) << row.name;
    }
}

TEST(SettingsStoreKeeping, ThroughASymbolicLink)
{
    TestEnv env;
    // Dotfile managers keep the real file elsewhere and link it in.
    const QString path = vb::settingsFilePath(kApp);
    const QString real = env.root() + u"/dotfiles/tamo.ini"_s;
    writeBytes(real, "[Main]\nZPFormat=old\n");
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(QFile::link(real, path));
    vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"new"_s);
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(readBytes(real), "[Main]\nZPFormat=new\n");
}

TEST(SettingsStoreKeeping, ParsedForms)
{
    TestEnv env;
    struct Row {
        const char* name;
        QByteArray file;
        QString section;
        QString expected; // "<default>" when the key should be absent
    };
    const Row rows[] = {
        {"byte-order mark", "\xEF\xBB\xBF[Main]\nk=x\n", u"Main"_s, u"x"_s},
        {"CR LF", "[Main]\r\nk=x\r\n", u"Main"_s, u"x"_s},
        {"blanks around = and at the end", "[Main]\n \t k \t=  x y \t\n", u"Main"_s, u"x y"_s},
        {"indented comments", "  ; c\n\t# c=1\n[Main]\nk=x\n", u"Main"_s, u"x"_s},
        {"key before any section", "k=top\n[Main]\nk=x\n", u"Main"_s, u"x"_s},
        {"raw tab inside", "[Main]\nk=a\tb\n", u"Main"_s, u"a\tb"_s},
        {"no final LF", "[Main]\nk=x", u"Main"_s, u"x"_s},
        {"empty value", "[Main]\nk=\n", u"Main"_s, u""_s},
        {"escapes in either case", "[Main]\nk=\\u00e9\\u00C9\\s\n", u"Main"_s, u"éÉ "_s},
        {"escaped pair", "[Main]\nk=\\uD83C\\uDF15\n", u"Main"_s, u"🌕"_s},
        {"section name as it stands", "[ Main ]\nk=x\n", u" Main "_s, u"x"_s},
        {"spaced section is another section", "[ Main ]\nk=x\n", u"Main"_s, u"<default>"_s},
        {"names compare exactly", "[main]\nK=x\n", u"Main"_s, u"<default>"_s},
        {"same key in two sections", "[A]\nk=1\n[Main]\nk=2\n", u"Main"_s, u"2"_s},
        {"brackets inside a section name", "[a]b]\nk=x\n", u"a]b"_s, u"x"_s},
    };
    const QString path = vb::settingsFilePath(kApp);
    for (const Row& row : rows) {
        writeBytes(path, row.file);
        const vb::Error e = errorOf([&] {
            EXPECT_EQ(vb::GetSetting(kApp, row.section, u"k"_s, u"<default>"_s), row.expected) << row.name;
        });
        EXPECT_EQ(e.number, 0) << row.name << ": " << e.description.toStdString();
    }
}

// ---- Failures -------------------------------------------------------------------------------

TEST(SettingsStoreFailures, UnparsableFileRaises75AndStaysAsItWas)
{
    TestEnv env;
    struct Row {
        const char* name;
        QByteArray file;
        int line;
    };
    const Row rows[] = {
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
    const QString path = vb::settingsFilePath(kApp);
    const std::pair<const char*, std::function<void()>> operations[] = {
        {"get", [] { vb::GetSetting(kApp, u"Main"_s, u"k"_s); }},
        {"get absent", [] { vb::GetSetting(kApp, u"Nowhere"_s, u"k"_s); }},
        {"save", [] { vb::SaveSetting(kApp, u"Main"_s, u"k"_s, u"new"_s); }},
        {"save elsewhere", [] { vb::SaveSetting(kApp, u"New"_s, u"n"_s, u"new"_s); }},
        {"delete", [] { vb::DeleteSetting(kApp, u"Main"_s, u"k"_s); }},
        {"delete absent", [] { vb::DeleteSetting(kApp, u"Main"_s, u"nope"_s); }},
    };
    for (const Row& row : rows) {
        writeBytes(path, row.file);
        for (const auto& [opName, operation] : operations) {
            const vb::Error e = errorOf(operation);
            EXPECT_EQ(e.number, 75) << row.name << " / " << opName;
            EXPECT_EQ(e.description, vb::errorDescription(75) + u' ' + path + u':' + QString::number(row.line))
                << row.name << " / " << opName;
            EXPECT_EQ(readBytes(path), row.file) << row.name << " / " << opName;
        }
        EXPECT_EQ(folderEntries(path), fileAndLock(path)) << row.name;
    }
}

TEST(SettingsStoreFailures, DeleteOfAbsentKeyRaises5)
{
    TestEnv env;
    const QString path = vb::settingsFilePath(kApp);
    struct Row {
        const char* name;
        std::optional<QByteArray> file;
        QString section;
    };
    const Row rows[] = {
        {"no folder", std::nullopt, u"Main"_s},
        {"empty file", QByteArray(""), u"Main"_s},
        {"no such section", QByteArray("[Plug in]\nk=1\n"), u"Main"_s},
        {"no such key", QByteArray("[Main]\nother=1\n"), u"Main"_s},
        {"key only in another section", QByteArray("[Plug in]\nk=1\n[Main]\n"), u"Main"_s},
    };
    for (const Row& row : rows) {
        QDir(env.configHome()).removeRecursively();
        if (row.file)
            writeBytes(path, *row.file);
        const vb::Error e = errorOf([&] { vb::DeleteSetting(kApp, row.section, u"k"_s); });
        EXPECT_EQ(e.number, 5) << row.name;
        EXPECT_EQ(e.description, vb::errorDescription(5) + u' ' + path) << row.name;
        if (row.file) {
            EXPECT_EQ(readBytes(path), *row.file) << row.name;
        }
    }
    // The same through another process.
    const ToolRun run = runSettingsTool({u"delete"_s, kApp, u"Main"_s, u"k"_s});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.startsWith("error 5 ")) << run.out.toStdString();
}

TEST(SettingsStoreFailures, NamesThatCannotBeWrittenRaise5)
{
    TestEnv env;
    struct Row {
        const char* name;
        QString app, section, key;
    };
    const Row rows[] = {
        {"empty application", u""_s, u"S"_s, u"k"_s},
        {"empty section", u"A"_s, u""_s, u"k"_s},
        {"empty key", u"A"_s, u"S"_s, u""_s},
        {"line break in a section", u"A"_s, u"S\nk=1"_s, u"k"_s},
        {"NUL in the application", u"A"_s + QChar(0), u"S"_s, u"k"_s},
        {"lone surrogate in a key", u"A"_s, u"S"_s, QString(QChar(0xD800))},
        {"= in a key", u"A"_s, u"S"_s, u"a=b"_s},
        {"key starting with [", u"A"_s, u"S"_s, u"[k"_s},
        {"key starting with ;", u"A"_s, u"S"_s, u";k"_s},
        {"key starting with #", u"A"_s, u"S"_s, u"#k"_s},
        {"key with a leading space", u"A"_s, u"S"_s, u" k"_s},
        {"key with a trailing tab", u"A"_s, u"S"_s, u"k\t"_s},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(errorOf([&] { vb::SaveSetting(row.app, row.section, row.key, u"v"_s); }).number, 5) << row.name;
        EXPECT_EQ(errorOf([&] { vb::GetSetting(row.app, row.section, row.key); }).number, 5) << row.name;
        EXPECT_EQ(errorOf([&] { vb::DeleteSetting(row.app, row.section, row.key); }).number, 5) << row.name;
    }
    EXPECT_FALSE(QFileInfo::exists(env.configHome() + u"/vb-program-settings"_s));
    // Names the rules allow.
    vb::SaveSetting(u"A"_s, u" [x] ; # = "_s, u"k;#["_s, u"v"_s);
    EXPECT_EQ(vb::GetSetting(u"A"_s, u" [x] ; # = "_s, u"k;#["_s), u"v"_s);
}

TEST(SettingsStoreFailures, BrokenPlacesRaise75)
{
    TestEnv env;
    const QString path = vb::settingsFilePath(kApp);
    struct Row {
        const char* name;
        std::function<void()> breakIt;
    };
    const Row rows[] = {
        {"a folder where the file should be", [&] { QDir().mkpath(path); }},
        {"a folder where the lock should be", [&] { QDir().mkpath(path + u".lock"_s); }},
        {"a file where the folder should be",
         [&] { writeBytes(env.configHome() + u"/vb-program-settings"_s, "x"); }},
        {"XDG_CONFIG_HOME under a regular file", [&] {
             writeBytes(env.root() + u"/plain"_s, "x");
             qputenv("XDG_CONFIG_HOME", QFile::encodeName(env.root() + u"/plain/config"_s));
         }},
    };
    for (const Row& row : rows) {
        QDir(env.configHome()).removeRecursively();
        QDir().mkpath(env.configHome());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(env.configHome()));
        row.breakIt();
        const QString file = vb::settingsFilePath(kApp);
        for (const auto& operation : std::initializer_list<std::function<void()>>{
                 [] { vb::SaveSetting(kApp, u"Main"_s, u"k"_s, u"v"_s); },
                 [] { vb::GetSetting(kApp, u"Main"_s, u"k"_s); },
                 [] { vb::DeleteSetting(kApp, u"Main"_s, u"k"_s); }}) {
            const vb::Error e = errorOf(operation);
            EXPECT_EQ(e.number, 75) << row.name;
            EXPECT_TRUE(e.description.contains(file)) << row.name << ": " << e.description.toStdString();
        }
    }
}

TEST(SettingsStoreFailures, InjectedErrnoGivesItsNumber)
{
    TestEnv env;
    struct Row {
        int err;
        int number;
    };
    const Row rows[] = {{EACCES, 70}, {EPERM, 70}, {EROFS, 70},     {ENOSPC, 61},
                        {EDQUOT, 61}, {EIO, 75},   {EMFILE, 75},    {ENAMETOOLONG, 75}};
    const QString path = vb::settingsFilePath(kApp);
    for (const Row& row : rows) {
        vb::injectSettingsFault(1, row.err);
        const vb::Error e = errorOf([] { vb::SaveSetting(kApp, u"Main"_s, u"k"_s, u"v"_s); });
        EXPECT_TRUE(vb::settingsFaultFired());
        EXPECT_EQ(e.number, row.number) << row.err;
        EXPECT_EQ(e.description, vb::errorDescription(row.number) + u' ' + path) << row.err;
    }
    vb::injectSettingsFault(0, 0);
    vb::SaveSetting(kApp, u"Main"_s, u"k"_s, u"v"_s);
    EXPECT_FALSE(vb::settingsFaultFired());
    EXPECT_GT(vb::settingsFallibleCalls(), 8) << "every step of a write is a fallible call";
}

// Each fallible call of an operation fails in turn, N = 1, 2, 3 ... until a run injects
// nothing: every run ends with the right result or the errno's error, and the file holds
// either the old or the new text, never a mix, with no temporary file left behind.
TEST(SettingsStoreFailures, EveryFallibleCallFailingInTurn)
{
    TestEnv env;
    const QString path = vb::settingsFilePath(kApp);
    const QByteArray initial = "; host\n[Plug in]\nRestartMsgRecv=77\n[Main]\nZPFormat=old\n";
    struct Row {
        const char* name;
        std::function<void()> operation;
        QByteArray after;
        int err;
        int number;
    };
    const auto save = [] { vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"new"_s); };
    const auto saveNew = [] { vb::SaveSetting(kApp, u"New"_s, u"k"_s, u"v"_s); };
    const auto remove = [] { vb::DeleteSetting(kApp, u"Plug in"_s, u"RestartMsgRecv"_s); };
    const auto get = [] { EXPECT_EQ(vb::GetSetting(kApp, u"Main"_s, u"ZPFormat"_s), u"old"_s); };
    const QByteArray saved = "; host\n[Plug in]\nRestartMsgRecv=77\n[Main]\nZPFormat=new\n";
    const QByteArray added = initial + "\n[New]\nk=v\n";
    const QByteArray removed = "; host\n[Plug in]\n[Main]\nZPFormat=old\n";
    const Row rows[] = {
        {"save, I/O error", save, saved, EIO, 75},
        {"save, disk full", save, saved, ENOSPC, 61},
        {"save, permission", save, saved, EACCES, 70},
        {"save a new section, disk full", saveNew, added, ENOSPC, 61},
        {"delete, I/O error", remove, removed, EIO, 75},
        {"delete, disk full", remove, removed, ENOSPC, 61},
        {"get, I/O error", get, initial, EIO, 75},
    };
    writeBytes(path, initial);
    vb::GetSetting(kApp, u"Main"_s, u"ZPFormat"_s); // creates the lock file
    for (const Row& row : rows) {
        int failures = 0;
        for (int n = 1;; ++n) {
            ASSERT_LT(n, 100) << row.name << ": the faults never ran out";
            writeBytes(path, initial);
            vb::injectSettingsFault(n, row.err);
            const vb::Error e = errorOf(row.operation);
            const bool fired = vb::settingsFaultFired();
            vb::injectSettingsFault(0, 0);
            const QByteArray now = readBytes(path);
            EXPECT_EQ(folderEntries(path), fileAndLock(path)) << row.name << " n=" << n;
            if (!fired) {
                EXPECT_EQ(e.number, 0) << row.name;
                EXPECT_EQ(now, row.after) << row.name;
                break;
            }
            ++failures;
            EXPECT_EQ(e.number, row.number) << row.name << " n=" << n;
            EXPECT_TRUE(now == initial || now == row.after) << row.name << " n=" << n << ": " << now.toStdString();
        }
        EXPECT_GE(failures, 3) << row.name;
    }
}

TEST(SettingsStoreFailures, LockHeldElsewhereBeyondTheWait)
{
    TestEnv env;
    const QString path = vb::settingsFilePath(kApp);
    vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"old"_s);
    const QByteArray before = readBytes(path);

    // Another process holds the lock until its standard input closes.
    QProcess holder;
    holder.start(u"flock"_s, {u"--exclusive"_s, path + u".lock"_s, u"-c"_s, u"echo held; exec cat"_s});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readLine(), "held\n");

    QElapsedTimer timer;
    timer.start();
    const vb::Error e = errorOf([] { vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"new"_s); });
    const qint64 waited = timer.elapsed();
    EXPECT_EQ(e.number, 75);
    EXPECT_EQ(e.description, vb::errorDescription(75) + u' ' + path + u".lock"_s);
    EXPECT_GE(waited, 1900) << "it waits about 2 s before giving up";
    EXPECT_LT(waited, 30000);
    EXPECT_EQ(errorOf([] { vb::GetSetting(kApp, u"Main"_s, u"ZPFormat"_s); }).number, 75);
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(folderEntries(path), fileAndLock(path));

    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(10000));
    // A lock abandoned after the wait must not stay held by this process.
    vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"new"_s);
    EXPECT_EQ(vb::GetSetting(kApp, u"Main"_s, u"ZPFormat"_s), u"new"_s);
}

TEST(SettingsStoreFailures, LockReleasedWithinTheWait)
{
    TestEnv env;
    const QString path = vb::settingsFilePath(kApp);
    vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"old"_s);
    const int fd = ::open(QFile::encodeName(path + u".lock"_s).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::thread release([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::close(fd);
    });
    QElapsedTimer timer;
    timer.start();
    const vb::Error e = errorOf([] { vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"new"_s); });
    const qint64 waited = timer.elapsed();
    release.join();
    EXPECT_EQ(e.number, 0) << e.description.toStdString();
    EXPECT_GE(waited, 250) << "it waited for the holder";
    EXPECT_EQ(vb::GetSetting(kApp, u"Main"_s, u"ZPFormat"_s), u"new"_s);
}

// Root ignores permission bits, so these run the store as uid 65534 in a root-owned tree.
TEST(SettingsStoreFailures, PermissionDeniedRaises70)
{
    TestEnv env;
    // A build tree under a private folder keeps uid 65534 from even starting the tool.
    if (QProcess::execute(u"setpriv"_s, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                                         u"test"_s, u"-x"_s, settingsToolPath()}) != 0)
        GTEST_SKIP() << "uid 65534 cannot run " << settingsToolPath().toStdString();
    const QString path = vb::settingsFilePath(kApp);
    const QString folder = QFileInfo(path).path();
    const auto open755 = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    const auto readable644 = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QFile::setPermissions(env.root(), open755);
    QFile::setPermissions(env.configHome(), open755);
    const QByteArray content = "[Main]\nZPFormat=%h%\n";

    struct Row {
        const char* name;
        std::function<void()> layout;
        QByteArray getResult; // the tool's output for get
        QByteArray saveResult;
        QByteArray deleteResult;
    };
    const QByteArray valueHex = toHexUnits(u"%h%"_s);
    const Row rows[] = {
        {"private folder of another user",
         [&] {
             writeBytes(path, content);
             QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
         },
         "error 70", "error 70", "error 70"},
        {"readable folder and file of another user",
         [&] {
             writeBytes(path, content);
             writeBytes(path + u".lock"_s, "");
             QFile::setPermissions(folder, open755);
             QFile::setPermissions(path, readable644);
             QFile::setPermissions(path + u".lock"_s, readable644);
         },
         valueHex, "error 70", "error 70"},
        {"no folder yet, config home of another user", [&] {}, "", "error 70", "error 5"},
    };
    for (const Row& row : rows) {
        QDir(folder).removeRecursively();
        row.layout();
        const auto result = [&](const QStringList& args) {
            const ToolRun run = runSettingsTool(args, true);
            // "error <number>" without the description, or the value read.
            return run.out.startsWith("error ") ? run.out.left(run.out.indexOf(' ', 6)) : run.out;
        };
        EXPECT_EQ(result({u"get"_s, kApp, u"Main"_s, u"ZPFormat"_s}), row.getResult) << row.name;
        EXPECT_EQ(result({u"save"_s, kApp, u"Main"_s, u"ZPFormat"_s, u"0078"_s}), row.saveResult) << row.name;
        EXPECT_EQ(result({u"delete"_s, kApp, u"Main"_s, u"ZPFormat"_s}), row.deleteResult) << row.name;
        if (QFileInfo::exists(path)) {
            EXPECT_EQ(readBytes(path), content) << row.name;
        }
    }
    const ToolRun described = runSettingsTool({u"save"_s, kApp, u"Main"_s, u"ZPFormat"_s, u"0078"_s}, true);
    EXPECT_EQ(QString::fromUtf8(described.out), u"error 70 "_s + vb::errorDescription(70) + u' ' + path);
}

// ---- Two writers at once --------------------------------------------------------------------

TEST(SettingsStoreConcurrency, TwoProcessesWritingDifferentKeys)
{
    TestEnv env;
    const QString path = vb::settingsFilePath(kApp);
    writeBytes(path, "; written by the host\n[Plug in]\nTamoZP=1\n");
    constexpr int kCount = 500;

    QProcess host;
    QProcess window;
    QStringList hostCommand = settingsToolCommand(
        {u"hammer"_s, kApp, u"Plug in"_s, u"RestartMsgRecv"_s, QString::number(kCount)});
    QStringList windowCommand =
        settingsToolCommand({u"hammer"_s, kApp, u"Main"_s, u"ZPFormat"_s, QString::number(kCount)});
    QElapsedTimer timer;
    timer.start();
    host.start(hostCommand.takeFirst(), hostCommand);
    window.start(windowCommand.takeFirst(), windowCommand);
    // A generous sanity bound: a lock that starves a writer fails its operation after 2 s.
    ASSERT_TRUE(host.waitForFinished(120000));
    ASSERT_TRUE(window.waitForFinished(120000));
    const qint64 total = timer.elapsed();
    const QByteArray hostOut = host.readAllStandardOutput().trimmed();
    const QByteArray windowOut = window.readAllStandardOutput().trimmed();
    EXPECT_EQ(host.exitCode(), 0) << hostOut.toStdString();
    EXPECT_EQ(window.exitCode(), 0) << windowOut.toStdString();
    std::cout << "[ figures  ] 2 x " << kCount << " writes (each read back): " << total
              << " ms in all; host " << hostOut.toStdString() << " ms, window "
              << windowOut.toStdString() << " ms\n";
    RecordProperty("total_ms", int(total));

    EXPECT_EQ(vb::GetSetting(kApp, u"Plug in"_s, u"RestartMsgRecv"_s), u"RestartMsgRecv-500"_s);
    EXPECT_EQ(vb::GetSetting(kApp, u"Main"_s, u"ZPFormat"_s), u"ZPFormat-500"_s);
    EXPECT_EQ(vb::GetSetting(kApp, u"Plug in"_s, u"TamoZP"_s), u"1"_s);
    EXPECT_TRUE(readBytes(path).startsWith("; written by the host\n[Plug in]\nTamoZP=1\n"));
    EXPECT_EQ(folderEntries(path), fileAndLock(path));
}
