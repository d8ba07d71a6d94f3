// The runtime folder and the window post: where D is, when it is usable, the datagram's bytes,
// and that a post reaches a bound socket and is otherwise silent and never waits.

#include "runtime/RuntimeFolder.h"
#include "runtime/WindowMessage.h"
#include "support/TestEnv.h"
#include "support/WindowReceiver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toUtf8().toStdString() << '"';
}

namespace {

unsigned modeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

void setMode(const QString& path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

const QByteArray kRestart("\x03\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 12);

} // namespace

// ---- The folder ----------------------------------------------------------------------------

TEST(RuntimeFolder, PathFromTheEnvironment)
{
    TestEnv env;
    const QString tmp = u"/tmp/tamo-"_s + QString::number(geteuid());
    struct Row {
        const char* name;
        std::optional<QByteArray> xdg;
        QString path;
    };
    const Row rows[] = {
        {"absolute", QByteArray("/run/user/1000"), u"/run/user/1000/tamo"_s},
        {"trailing slash", QByteArray("/run/user/1000/"), u"/run/user/1000/tamo"_s},
        {"root", QByteArray("/"), u"/tamo"_s},
        {"relative", QByteArray("run/user"), tmp},
        {"empty", QByteArray(""), tmp},
        {"unset", std::nullopt, tmp},
    };
    for (const Row& row : rows) {
        if (row.xdg)
            qputenv("XDG_RUNTIME_DIR", *row.xdg);
        else
            qunsetenv("XDG_RUNTIME_DIR");
        EXPECT_EQ(vb::runtimeFolderPath(), row.path) << row.name;
    }
}

TEST(RuntimeFolder, CreatedPrivateAndRefusedOtherwise)
{
    TestEnv env;
    const QString d = env.runtimeDir() + u"/tamo"_s;
    QString why;
    EXPECT_EQ(vb::runtimeFolder(vb::FolderCreation::ExistingOnly, &why), QString());
    EXPECT_FALSE(QFileInfo::exists(d)) << "ExistingOnly creates nothing";
    EXPECT_TRUE(why.startsWith(d)) << why.toStdString();

    const mode_t oldMask = ::umask(0777); // even a hostile umask gives 0700
    EXPECT_EQ(vb::runtimeFolder(), d);
    ::umask(oldMask);
    EXPECT_EQ(modeOf(d), 0700u);
    EXPECT_EQ(vb::runtimeFolder(vb::FolderCreation::ExistingOnly), d);

    struct Row {
        const char* name;
        std::function<void()> spoil;
        const char* why;
    };
    const Row rows[] = {
        {"group-readable", [&] { setMode(d, 0750); }, "mode is 0750, not 0700"},
        {"sticky", [&] { setMode(d, 01700); }, "mode is 1700, not 0700"},
        {"owned by someone else",
         [&] { ASSERT_EQ(::chown(QFile::encodeName(d).constData(), 65534, 65534), 0); },
         "not owned by this user"},
        {"a symbolic link to a good folder", [&] {
             QDir().mkpath(env.root() + u"/elsewhere"_s);
             setMode(env.root() + u"/elsewhere"_s, 0700);
             QDir(d).removeRecursively();
             QFile::link(env.root() + u"/elsewhere"_s, d);
         },
         "is a symbolic link"},
        {"a regular file", [&] {
             QDir(d).removeRecursively();
             QFile f(d);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         },
         "Not a directory"},
    };
    for (const Row& row : rows) {
        QDir(d).removeRecursively();
        QFile::remove(d);
        ASSERT_EQ(vb::runtimeFolder(), d) << row.name;
        row.spoil();
        for (const auto creation : {vb::FolderCreation::CreateIfMissing, vb::FolderCreation::ExistingOnly}) {
            why.clear();
            EXPECT_EQ(vb::runtimeFolder(creation, &why), QString()) << row.name;
            EXPECT_EQ(why, d + u": "_s + QString::fromLatin1(row.why)) << row.name;
        }
    }
    // A folder that was refused is not repaired.
    QFile::remove(d);
    ASSERT_EQ(vb::runtimeFolder(), d);
    setMode(d, 0755);
    EXPECT_EQ(vb::runtimeFolder(), QString());
    EXPECT_EQ(modeOf(d), 0755u);
}

TEST(RuntimeFolder, MissingParentIsUnusable)
{
    TestEnv env;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(env.root() + u"/no/such"_s));
    QString why;
    EXPECT_EQ(vb::runtimeFolder(vb::FolderCreation::CreateIfMissing, &why), QString());
    EXPECT_EQ(why, env.root() + u"/no/such/tamo: No such file or directory"_s);
}

TEST(RuntimeFolder, Names)
{
    EXPECT_EQ(vb::windowSocketPath(u"/d"_s, 4242), u"/d/window-4242"_s);
    EXPECT_EQ(vb::windowSocketPath(u"/d"_s, -7), u"/d/window--7"_s);
    EXPECT_EQ(vb::windowSocketPath(u"/d"_s, INT32_MIN), u"/d/window--2147483648"_s);
    EXPECT_EQ(vb::instanceLockPath(u"/d"_s, u"TamoZP"_s), u"/d/TamoZP.lock"_s);
}

// ---- The datagram --------------------------------------------------------------------------

TEST(WindowMessage, Bytes)
{
    struct Row {
        vb::WindowMessage message;
        QByteArray bytes;
    };
    const Row rows[] = {
        {{0x0203, 0, 0}, kRestart},
        {{-1, 1, INT32_MIN}, QByteArray("\xFF\xFF\xFF\xFF\x01\x00\x00\x00\x00\x00\x00\x80", 12)},
        {{0x12345678, 0x7FFFFFFF, 256}, QByteArray("\x78\x56\x34\x12\xFF\xFF\xFF\x7F\x00\x01\x00\x00", 12)},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(vb::encodeWindowMessage(row.message), row.bytes);
        EXPECT_EQ(vb::decodeWindowMessage(row.bytes), row.message);
    }
    EXPECT_EQ(vb::decodeWindowMessage(QByteArray()), std::nullopt);
    EXPECT_EQ(vb::decodeWindowMessage(kRestart.left(11)), std::nullopt);
    EXPECT_EQ(vb::decodeWindowMessage(kRestart + '\0'), std::nullopt);
}

// ---- The post ------------------------------------------------------------------------------

TEST(PostMessage, ReachesTheBoundSocket)
{
    TestEnv env;
    for (const qint32 handle : {4242, -4242, 1, INT32_MAX, INT32_MIN}) {
        WindowReceiver window(handle);
        ASSERT_TRUE(window.bound()) << handle;
        WindowReceiver other(handle == 1 ? 2 : 1);
        vb::PostMessage(handle, 0x0203, 0, 0);
        EXPECT_EQ(window.receive(2000), kRestart) << handle;
        EXPECT_EQ(window.receive(0), std::nullopt) << handle << ": exactly one datagram";
        EXPECT_EQ(other.receive(0), std::nullopt) << handle << ": only to its own window";
        vb::PostMessage(handle, 7, -1, 9);
        EXPECT_EQ(window.receive(2000), vb::encodeWindowMessage({7, -1, 9})) << handle;
    }
}

TEST(PostMessage, SilentWhenNobodyCanReceive)
{
    TestEnv env;
    const QString d = env.runtimeDir() + u"/tamo"_s;
    struct Row {
        const char* name;
        bool bind; // a receiver binds window-4242 before `arrange`
        std::function<void()> arrange;
        bool reachable;
    };
    const Row rows[] = {
        {"no socket for that handle", false, [] {}, false},
        {"a regular file at the socket's path", false, [&] {
             QFile f(d + u"/window-4242"_s);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         },
         false},
        {"D with the wrong mode", true, [&] { setMode(d, 0755); }, false},
        {"D owned by someone else", true,
         [&] { ASSERT_EQ(::chown(QFile::encodeName(d).constData(), 65534, 65534), 0); }, false},
        {"D gone", true, [&] { QDir(d).removeRecursively(); }, false},
        {"D too long for a socket address", true, [&] {
             const QString deep = env.root() + u"/"_s + QString(120, u'x');
             QDir().mkpath(deep + u"/tamo"_s);
             setMode(deep + u"/tamo"_s, 0700);
             qputenv("XDG_RUNTIME_DIR", QFile::encodeName(deep));
         },
         false},
        {"control: everything in order", true, [] {}, true},
    };
    for (const Row& row : rows) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(env.runtimeDir()));
        QDir(d).removeRecursively();
        ASSERT_EQ(vb::runtimeFolder(), d);
        std::optional<WindowReceiver> window;
        if (row.bind) {
            window.emplace(4242);
            ASSERT_TRUE(window->bound()) << row.name;
        }
        row.arrange();
        const bool dExisted = QFileInfo::exists(d);
        QElapsedTimer timer;
        timer.start();
        vb::PostMessage(4242, 0x0203, 0, 0);
        EXPECT_LT(timer.elapsed(), 1000) << row.name;
        EXPECT_EQ(QFileInfo::exists(d), dExisted) << row.name << ": a post creates nothing";
        if (window) {
            EXPECT_EQ(window->receive(row.reachable ? 2000 : 200).has_value(), row.reachable) << row.name;
        }
        window.reset();
        ::chown(QFile::encodeName(d).constData(), geteuid(), getegid());
    }
}

TEST(PostMessage, NeverWaitsOnAFullQueue)
{
    TestEnv env;
    WindowReceiver window(4242);
    ASSERT_TRUE(window.bound());
    QElapsedTimer timer;
    timer.start();
    // Far more than a datagram queue holds; a blocking send would hang here.
    for (int i = 0; i < 5000; ++i)
        vb::PostMessage(4242, 0x0203, 0, 0);
    EXPECT_LT(timer.elapsed(), 20000);
    int received = 0;
    while (window.receive(0))
        ++received;
    EXPECT_GT(received, 0);
    EXPECT_LT(received, 5000) << "the queue should have filled up, or the test proves nothing";
}
