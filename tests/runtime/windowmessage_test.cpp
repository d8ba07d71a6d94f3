// The runtime folder D and the window post: a post reaches a bound socket, else is silent and
// never waits.

#include "runtime/RuntimeFolder.h"
#include "runtime/WindowMessage.h"
#include "support/QtPrinters.h"
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

namespace {

void setMode(const QString& path, mode_t mode) { ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0); }

const QByteArray kRestart("\x03\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 12);

} // namespace

TEST(RuntimeFolder, PathAndNames)
{
    TestEnv env;
    const QString tmp = u"/tmp/tamo-"_s + QString::number(geteuid());
    const std::pair<const char*, QString> rows[] = {
        {"/run/user/1000", u"/run/user/1000/tamo"_s},
        {"/run/user/1000/", u"/run/user/1000/tamo"_s},
        {"/", u"/tamo"_s},
        {"run/user", tmp},
        {"", tmp},
        {nullptr, tmp},
    };
    for (const auto& [xdg, path] : rows) {
        xdg ? qputenv("XDG_RUNTIME_DIR", xdg) : qunsetenv("XDG_RUNTIME_DIR");
        EXPECT_EQ(vb::runtimeFolderPath(), path) << (xdg ? xdg : "unset");
    }
    EXPECT_EQ(vb::windowSocketPath(u"/d"_s, 4242), u"/d/window-4242"_s);
    EXPECT_EQ(vb::windowSocketPath(u"/d"_s, INT32_MIN), u"/d/window--2147483648"_s);
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
    EXPECT_EQ(vb::runtimeFolder(vb::FolderCreation::ExistingOnly), d);

    const std::tuple<const char*, std::function<void()>, const char*> rows[] = {
        {"group-readable", [&] { setMode(d, 0750); }, "mode is 0750, not 0700"},
        {"sticky", [&] { setMode(d, 01700); }, "mode is 1700, not 0700"},
        {"owned by someone else", [&] { ASSERT_EQ(::chown(QFile::encodeName(d).constData(), 65534, 65534), 0); }, "not owned by this user"},
        {"a symbolic link to a good folder", [&] {
             QDir().mkpath(env.root() + u"/elsewhere"_s);
             setMode(env.root() + u"/elsewhere"_s, 0700);
             QDir(d).removeRecursively();
             QFile::link(env.root() + u"/elsewhere"_s, d);
         },
         "is a symbolic link"},
        {"a regular file", [&] {
             QDir(d).removeRecursively();
             ASSERT_TRUE(QFile(d).open(QIODevice::WriteOnly));
         },
         "Not a directory"},
    };
    for (const auto& [name, spoil, reason] : rows) {
        QDir(d).removeRecursively();
        QFile::remove(d);
        ASSERT_EQ(vb::runtimeFolder(), d) << name;
        spoil();
        for (const auto creation : {vb::FolderCreation::CreateIfMissing, vb::FolderCreation::ExistingOnly}) {
            why.clear();
            EXPECT_EQ(vb::runtimeFolder(creation, &why), QString()) << name;
            EXPECT_EQ(why, d + u": "_s + QString::fromLatin1(reason)) << name;
        }
    }
    // A folder that was refused is not repaired.
    QFile::remove(d);
    ASSERT_EQ(vb::runtimeFolder(), d);
    setMode(d, 0755);
    EXPECT_EQ(vb::runtimeFolder(), QString());
    EXPECT_TRUE(QFileInfo(d).permissions().testFlag(QFile::ReadOther));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(env.root() + u"/no/such"_s));
    EXPECT_EQ(vb::runtimeFolder(vb::FolderCreation::CreateIfMissing, &why), QString());
    EXPECT_EQ(why, env.root() + u"/no/such/tamo: No such file or directory"_s);
}

TEST(WindowMessage, Bytes)
{
    const std::pair<vb::WindowMessage, QByteArray> rows[] = {
        {{0x0203, 0, 0}, kRestart},
        {{-1, 1, INT32_MIN}, QByteArray("\xFF\xFF\xFF\xFF\x01\x00\x00\x00\x00\x00\x00\x80", 12)},
    };
    for (const auto& [message, bytes] : rows) {
        EXPECT_EQ(vb::encodeWindowMessage(message), bytes);
        EXPECT_EQ(vb::decodeWindowMessage(bytes), message);
    }
    EXPECT_EQ(vb::decodeWindowMessage(kRestart.left(11)), std::nullopt);
    EXPECT_EQ(vb::decodeWindowMessage(kRestart + '\0'), std::nullopt);
}

TEST(PostMessage, ReachesTheBoundSocket)
{
    TestEnv env;
    for (const qint32 handle : {4242, INT32_MAX, INT32_MIN}) {
        WindowReceiver window(handle);
        ASSERT_TRUE(window.bound()) << handle;
        WindowReceiver other(1);
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
    // With `bind`, a receiver binds window-4242 before `arrange`.
    const struct { const char* name; bool bind; std::function<void()> arrange; } rows[] = {
        {"no socket for that handle", false, [] {}},
        {"a regular file at the socket's path", false, [&] { ASSERT_TRUE(QFile(d + u"/window-4242"_s).open(QIODevice::WriteOnly)); }},
        {"D with the wrong mode", true, [&] { setMode(d, 0755); }},
        {"D gone", true, [&] { QDir(d).removeRecursively(); }},
        {"D too long for a socket address", true, [&] {
             const QString deep = env.root() + u"/"_s + QString(120, u'x');
             QDir().mkpath(deep + u"/tamo"_s);
             setMode(deep + u"/tamo"_s, 0700);
             qputenv("XDG_RUNTIME_DIR", QFile::encodeName(deep));
         }},
    };
    for (const auto& r : rows) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(env.runtimeDir()));
        QDir(d).removeRecursively();
        ASSERT_EQ(vb::runtimeFolder(), d);
        std::optional<WindowReceiver> window;
        if (r.bind) {
            ASSERT_TRUE(window.emplace(4242).bound()) << r.name;
        }
        r.arrange();
        const bool dExisted = QFileInfo::exists(d);
        QElapsedTimer timer;
        timer.start();
        vb::PostMessage(4242, 0x0203, 0, 0);
        EXPECT_LT(timer.elapsed(), 1000) << r.name;
        EXPECT_EQ(QFileInfo::exists(d), dExisted) << r.name << ": a post creates nothing";
        if (window) {
            EXPECT_EQ(window->receive(200), std::nullopt) << r.name;
        }
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
