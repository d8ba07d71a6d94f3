// The runtime folder D, the window message's bytes, and the window post over a datagram socket:
// silent when nobody can receive, never waiting. Posts that arrive: zpsettings_test's RequestRestart.

#include "runtime/DatagramSocket.h"
#include "runtime/RuntimeFolder.h"
#include "runtime/WindowMessage.h"
#include "support/Common.h"
#include "support/QtPrinters.h"
#include "support/TestEnv.h"
#include "support/WindowReceiver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

static void setMode(const QString& path, mode_t mode) { ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0); }

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

    const QString good = env.root() + u"/elsewhere"_s;
    QDir().mkpath(good), setMode(good, 0700);
    const std::tuple<const char*, std::function<void()>, const char*> rows[] = {
        {"owned by someone else", [&] { ASSERT_EQ(::chown(QFile::encodeName(d).constData(), 65534, 65534), 0); }, "not owned by this user"},
        {"a symbolic link to a good folder", [&] { QDir(d).removeRecursively(), QFile::link(good, d); }, "is a symbolic link"},
        {"a regular file", [&] { QDir(d).removeRecursively(), QFile(d).open(QIODevice::WriteOnly); }, "Not a directory"},
        {"group-readable", [&] { setMode(d, 0750); }, "mode is 0750, not 0700"},
    };
    for (const auto& [name, spoil, reason] : rows) {
        QFile::remove(d), QDir(d).removeRecursively();
        ASSERT_EQ(vb::runtimeFolder(), d) << name;
        spoil();
        for (const auto creation : {vb::FolderCreation::CreateIfMissing, vb::FolderCreation::ExistingOnly}) {
            EXPECT_EQ(vb::runtimeFolder(creation, &why), QString()) << name;
            EXPECT_EQ(why, d + u": "_s + QString::fromLatin1(reason)) << name;
        }
    }
    EXPECT_TRUE(QFileInfo(d).permissions().testFlag(QFile::ReadGroup)) << "a refused D is not repaired";
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(env.root() + u"/no/such"_s));
    EXPECT_EQ(vb::runtimeFolder(vb::FolderCreation::CreateIfMissing, &why), QString());
    EXPECT_EQ(why, env.root() + u"/no/such/tamo: No such file or directory"_s);
}

TEST(PostMessage, BytesAndAPostThatIsSilentWhenNobodyCanReceiveNeverWaitingAndCreatingNothing)
{
    const QByteArray odd("\xFF\xFF\xFF\xFF\x01\x00\x00\x00\x00\x00\x00\x80", 12);
    EXPECT_EQ(vb::encodeWindowMessage({0x0203, 0, 0}), kRestart);
    EXPECT_EQ(vb::encodeWindowMessage({-1, 1, INT32_MIN}), odd);
    EXPECT_EQ(vb::decodeWindowMessage(odd), vb::WindowMessage({-1, 1, INT32_MIN}));
    EXPECT_EQ(vb::decodeWindowMessage(kRestart.left(11)), std::nullopt);
    EXPECT_EQ(vb::decodeWindowMessage(kRestart + '\0'), std::nullopt);
    EXPECT_EQ(vb::windowSocketPath(u"/d"_s, INT32_MIN), u"/d/window--2147483648"_s);
    TestEnv env;
    const QString d = env.runtimeDir() + u"/tamo"_s;
    vb::PostMessage(4242, 0x0203, 0, 0); // no D
    EXPECT_FALSE(QFileInfo::exists(d)) << "a post creates nothing";
    WindowReceiver window(4242);
    ASSERT_TRUE(window.bound());
    vb::PostMessage(4243, 0x0203, 0, 0); // no socket for that handle
    // Far more than a datagram queue holds; a blocking send would hang here.
    for (int i = 0; i < 5000; ++i)
        vb::PostMessage(4242, 0x0203, 0, 0);
    int received = 0;
    while (window.receive(0))
        ++received;
    EXPECT_TRUE(received > 0 && received < 5000) << received << ": the queue should have filled up, or the test proves nothing";
    setMode(d, 0755);
    vb::PostMessage(4242, 0x0203, 0, 0);
    EXPECT_EQ(window.receive(200), std::nullopt) << "not through a D with the wrong mode";
    // A socket left behind and a file at the path: ClockFollow.StartsOverAStaleSocketOnly.
    const QString tooLong = u"/tmp/"_s + QString(108, u'x');
    EXPECT_EQ(vb::bindDatagramSocket(tooLong).failure, vb::BoundSocket::PathTooLong);
    EXPECT_FALSE(vb::sendDatagram(tooLong, kRestart));
}
