// tamo-clock --follow as a process, with its clock frozen by --at so that it prints only at
// start and after reloads: publishing and withdrawing its handle, the restart message, the
// settings file watch, and the ways it ends.

#include "ClockProcess.h"
#include "support/TestEnv.h"

#include "editor/ZPSettings.h"
#include "runtime/RuntimeFolder.h"
#include "runtime/SettingsStore.h"
#include "runtime/WindowMessage.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// How long a reload may take to show: the restart request promises "at once".
constexpr int kReloadMs = 1000;
// How long a started host may take to print its first line on a loaded machine.
constexpr int kStartMs = 10000;
// How long to wait for a line that must not come.
constexpr int kQuietMs = 300;

const QStringList kFrozen{QStringLiteral("--follow"), QStringLiteral("--at"),
                          QStringLiteral("2001-03-29T13:05:09")};

QString app() { return QString::fromUtf16(zp::kAppName); }

void store(const char16_t* section, const char16_t* key, const QString& value)
{
    vb::SaveSetting(app(), QString::fromUtf16(section), QString::fromUtf16(key), value);
}

QString restartRecv()
{
    return vb::GetSetting(app(), QString::fromUtf16(zp::kSectionPlugIn),
                          QString::fromUtf16(zp::kKeyRestartRecv), QStringLiteral("<absent>"));
}

QString socketPath(qint64 pid)
{
    return vb::windowSocketPath(vb::runtimeFolderPath(), static_cast<qint32>(pid));
}

bool isSocket(const QString& path)
{
    struct stat st{};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

class TextSource final : public zp::FormatSource {
public:
    explicit TextSource(QString text) : text_(std::move(text)) { }
    QString formatText() const override { return text_; }

private:
    QString text_;
};

// A socket file left behind at `path`, as by a host that was killed.
bool leaveStaleSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

TEST(ClockFollow, PublishesItsHandleAndReloadsOnTheRestartRequest)
{
    TestEnv env;
    FollowingClock host(kFrozen);
    ASSERT_EQ(host.nextLine(kStartMs), "13:05") << host.errorOutput().toStdString();
    EXPECT_EQ(restartRecv(), QString::number(host.pid()));
    EXPECT_TRUE(isSocket(socketPath(host.pid())));

    ASSERT_TRUE(zp::SetZP(TextSource(QStringLiteral("%yyyy%年%m%月%d%日 %h:nn%"))));
    zp::RequestRestart();
    EXPECT_TRUE(host.waitForLine("2001年3月29日 13:05", kReloadMs));

    // The window's disable path: the flag "0" brings the built-in clock back.
    zp::DisableZP();
    zp::RequestRestart();
    EXPECT_EQ(host.nextLine(kReloadMs), "13:05");

    // A restart with nothing changed prints nothing: a line only for a new text.
    zp::RequestRestart();
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt);
    EXPECT_EQ(host.errorOutput(), "");
}

TEST(ClockFollow, TheRestartMessageAloneReloadsAndOtherMessagesDoNot)
{
    TestEnv env;
    FollowingClock host(kFrozen);
    ASSERT_EQ(host.nextLine(kStartMs), "13:05") << host.errorOutput().toStdString();
    const qint32 handle = static_cast<qint32>(host.pid());

    // Rewrite the file in place and keep it open: the folder watch reports a file only when it
    // is closed, so until then only a message can make the host look.
    QFile file(vb::settingsFilePath(app()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Plug in]\nTamoZP=1\nRestartMsgRecv=" + QByteArray::number(handle)
               + "\n[Main]\nZPFormat=%yyyy%年\n");
    ASSERT_TRUE(file.flush());

    const vb::WindowMessage others[] = {{0x0202, 0, 0}, {0x0203, 1, 0}, {0x0203, 0, -1}, {0, 0, 0}};
    for (const vb::WindowMessage& m : others)
        vb::PostMessage(handle, m.msg, m.wParam, m.lParam);
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt) << "only 0x0203, 0, 0 reloads";

    vb::PostMessage(handle, zp::kRestartMessage, 0, 0);
    EXPECT_EQ(host.nextLine(kReloadMs), "2001年");

    file.close(); // now the watch sees it, rereads, and finds nothing new to print
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt);
}

TEST(ClockFollow, AChangedSettingsFileAloneReloads)
{
    TestEnv env;
    FollowingClock host(kFrozen);
    ASSERT_EQ(host.nextLine(kStartMs), "13:05") << host.errorOutput().toStdString();

    struct Step {
        const char* name;
        const char16_t* section;
        const char16_t* key;
        QString value;
        std::optional<QByteArray> line;
    };
    const Step steps[] = {
        {"format while disabled", zp::kSectionMain, zp::kKeyFormat, QStringLiteral("%m%月"), std::nullopt},
        {"enabled", zp::kSectionPlugIn, zp::kKeyEnable, QStringLiteral("1"), "3月"},
        {"new format", zp::kSectionMain, zp::kKeyFormat, QStringLiteral("%ggg% %o%"), "平成 4"},
        {"unrelated key", u"Other", u"Key", QStringLiteral("x"), std::nullopt},
        {"disabled", zp::kSectionPlugIn, zp::kKeyEnable, QStringLiteral("0"), "13:05"},
    };
    for (const Step& step : steps) {
        store(step.section, step.key, step.value);
        EXPECT_EQ(host.nextLine(step.line ? kReloadMs : kQuietMs), step.line) << step.name;
    }

    // A file that no longer parses: the stored-format reader cannot help, the built-in clock
    // stays, and the host says why on standard error and keeps running.
    store(zp::kSectionPlugIn, zp::kKeyEnable, QStringLiteral("1"));
    EXPECT_EQ(host.nextLine(kReloadMs), "平成 4");
    QFile file(vb::settingsFilePath(app()));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("junk\n");
    file.close();
    EXPECT_EQ(host.nextLine(kReloadMs), "13:05");
    EXPECT_TRUE(host.errorOutput().contains("tamo-clock: cannot read the stored settings")) << host.errorOutput().toStdString();

    // Removed: nothing is stored, the built-in clock (already shown) stays.
    ASSERT_TRUE(QFile::remove(vb::settingsFilePath(app())));
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt);
    store(zp::kSectionMain, zp::kKeyFormat, QStringLiteral("%d%日"));
    store(zp::kSectionPlugIn, zp::kKeyEnable, QStringLiteral("1"));
    EXPECT_EQ(host.nextLine(kReloadMs), "29日");
}

TEST(ClockFollow, WatchesTheSettingsFolderAgainWhenItIsReplaced)
{
    TestEnv env;
    FollowingClock host(kFrozen);
    ASSERT_EQ(host.nextLine(kStartMs), "13:05") << host.errorOutput().toStdString();
    const QString folder = QFileInfo(vb::settingsFilePath(app())).absolutePath();
    ASSERT_TRUE(QDir().rename(folder, folder + QStringLiteral("-old")));
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt) << "no settings: the built-in clock stays";

    // A new folder: the host watches it from its next wake on, here the restart message.
    store(zp::kSectionMain, zp::kKeyFormat, QStringLiteral("%m%月"));
    store(zp::kSectionPlugIn, zp::kKeyEnable, QStringLiteral("1"));
    // The handle went away with the old folder: post to the host directly.
    vb::PostMessage(static_cast<qint32>(host.pid()), zp::kRestartMessage, 0, 0);
    EXPECT_EQ(host.nextLine(kReloadMs), "3月");
    // From then on the file alone is enough again.
    store(zp::kSectionMain, zp::kKeyFormat, QStringLiteral("%d%日"));
    EXPECT_EQ(host.nextLine(kReloadMs), "29日");
    // And the old folder is no longer watched.
    QFile old(folder + QStringLiteral("-old/") + QFileInfo(vb::settingsFilePath(app())).fileName());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
    old.write("[Plug in]\nTamoZP=1\n[Main]\nZPFormat=old\n");
    old.close();
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt);
}

TEST(ClockFollow, FormatGivenWinsAndJsonLines)
{
    TestEnv env;
    store(zp::kSectionPlugIn, zp::kKeyEnable, QStringLiteral("1"));
    store(zp::kSectionMain, zp::kKeyFormat, QStringLiteral("%yyyy%"));
    FollowingClock host(kFrozen + QStringList{QStringLiteral("--json"), QStringLiteral("--format"),
                                             QStringLiteral("\"%h%\"\\\\")});
    const auto line = host.nextLine(kStartMs);
    ASSERT_TRUE(line.has_value()) << host.errorOutput().toStdString();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(*line, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << line->toStdString();
    EXPECT_EQ(doc.object().value(u"text").toString(), QStringLiteral("\"13\"\\"));

    store(zp::kSectionMain, zp::kKeyFormat, QStringLiteral("%m%"));
    zp::RequestRestart();
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt) << "--format wins over a reload";
}

TEST(ClockFollow, EndsInOrderAndWithdrawsItsHandle)
{
    struct Row {
        const char* name;
        std::function<void(FollowingClock&)> end;
    };
    const Row rows[] = {
        {"SIGTERM", [](FollowingClock& h) { h.signal(SIGTERM); }},
        {"SIGINT", [](FollowingClock& h) { h.signal(SIGINT); }},
        {"SIGHUP", [](FollowingClock& h) { h.signal(SIGHUP); }},
    };
    for (const Row& row : rows) {
        TestEnv env;
        FollowingClock host(kFrozen);
        ASSERT_EQ(host.nextLine(kStartMs), "13:05") << row.name;
        const qint64 pid = host.pid();
        ASSERT_EQ(restartRecv(), QString::number(pid)) << row.name;
        row.end(host);
        ASSERT_TRUE(host.waitForExit(5000)) << row.name;
        EXPECT_EQ(host.process().exitStatus(), QProcess::NormalExit) << row.name;
        EXPECT_EQ(host.process().exitCode(), 0) << row.name;
        EXPECT_EQ(restartRecv(), u"0") << row.name;
        EXPECT_FALSE(QFileInfo::exists(socketPath(pid))) << row.name;
        EXPECT_EQ(host.errorOutput(), "") << row.name;
    }
}

TEST(ClockFollow, EndsWhenItsReaderGoesAway)
{
    TestEnv env;
    // Standard output is a FIFO that this test reads and then closes, as a status bar that
    // quits closes its pipe. Opened for reading first, so that the host's end opens at once.
    const QString fifo = env.root() + QStringLiteral("/out");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    QProcess host;
    host.setProcessEnvironment(clockEnvironment());
    host.setStandardOutputFile(fifo);
    host.start(clockProgram(), kFrozen);
    ASSERT_TRUE(host.waitForStarted(kStartMs));

    QByteArray out;
    const QDeadlineTimer deadline(kStartMs);
    while (!out.contains('\n') && !deadline.hasExpired()) {
        pollfd pfd{reader, POLLIN, 0};
        ::poll(&pfd, 1, 50);
        char buffer[64];
        const ssize_t n = ::read(reader, buffer, sizeof buffer);
        if (n > 0)
            out.append(buffer, n);
    }
    ASSERT_EQ(out, "13:05\n");
    EXPECT_EQ(restartRecv(), QString::number(host.processId()));

    ::close(reader);
    ASSERT_TRUE(host.waitForFinished(5000)) << "the host notices without printing again";
    EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(host.exitCode(), 0);
    EXPECT_EQ(restartRecv(), u"0");
    EXPECT_FALSE(QFileInfo::exists(socketPath(host.processId())));
    EXPECT_EQ(host.readAllStandardError(), "");
}

TEST(ClockFollow, ASecondHostKeepsTheHandleWhenTheFirstEnds)
{
    TestEnv env;
    FollowingClock first(kFrozen);
    ASSERT_EQ(first.nextLine(kStartMs), "13:05");
    FollowingClock second(kFrozen);
    ASSERT_EQ(second.nextLine(kStartMs), "13:05");
    EXPECT_EQ(restartRecv(), QString::number(second.pid()));

    first.signal(SIGTERM);
    ASSERT_TRUE(first.waitForExit(5000));
    EXPECT_EQ(restartRecv(), QString::number(second.pid())) << "not the first host's to clear";
    EXPECT_FALSE(QFileInfo::exists(socketPath(first.pid())));
    EXPECT_TRUE(isSocket(socketPath(second.pid())));

    // The first host is gone, but the second still reloads: by the message and by the file.
    ASSERT_TRUE(zp::SetZP(TextSource(QStringLiteral("%nn%"))));
    zp::RequestRestart();
    EXPECT_TRUE(second.waitForLine("05", kReloadMs));

    // A handle stored by someone else stays too.
    store(zp::kSectionPlugIn, zp::kKeyRestartRecv, QStringLiteral("4242"));
    second.signal(SIGTERM);
    ASSERT_TRUE(second.waitForExit(5000));
    EXPECT_EQ(restartRecv(), u"4242");
}

TEST(ClockFollow, AStaleSocketIsReplacedAndAnythingElseRefused)
{
    struct Row {
        const char* name;
        std::function<bool(const QString&)> plant;
        bool runs;
    };
    const Row rows[] = {
        {"stale socket", leaveStaleSocket, true},
        {"folder", [](const QString& p) { return QDir().mkdir(p); }, false},
        {"regular file", [](const QString& p) { QFile f(p); return f.open(QIODevice::WriteOnly); }, false},
    };
    for (const Row& row : rows) {
        TestEnv env;
        const QString folder = vb::runtimeFolder();
        ASSERT_FALSE(folder.isEmpty());
        // The shell waits until the socket path of its own pid is taken, then becomes the host
        // under that same pid.
        FollowingClock host(
            {QStringLiteral("-c"),
             QStringLiteral("while [ ! -e \"$1/window-$$\" ]; do sleep 0.01; done; exec \"$0\" \"$2\" \"$3\" \"$4\""),
             clockProgram(), folder, kFrozen[0], kFrozen[1], kFrozen[2]},
            clockEnvironment(), QStringLiteral("/bin/sh"));
        const QString path = vb::windowSocketPath(folder, static_cast<qint32>(host.pid()));
        ASSERT_TRUE(row.plant(path)) << row.name;
        if (row.runs) {
            ASSERT_EQ(host.nextLine(kStartMs), "13:05") << row.name << host.errorOutput().toStdString();
            ASSERT_TRUE(zp::SetZP(TextSource(QStringLiteral("%d%"))));
            vb::PostMessage(static_cast<qint32>(host.pid()), zp::kRestartMessage, 0, 0);
            EXPECT_TRUE(host.waitForLine("29", kReloadMs)) << row.name;
            host.signal(SIGTERM);
            ASSERT_TRUE(host.waitForExit(5000));
            EXPECT_FALSE(QFileInfo::exists(path)) << row.name;
        } else {
            ASSERT_TRUE(host.waitForExit(kStartMs)) << row.name;
            EXPECT_EQ(host.process().exitCode(), 1) << row.name;
            EXPECT_EQ(host.nextLine(0), std::nullopt) << row.name;
            const QByteArray err = host.errorOutput();
            EXPECT_TRUE(err.startsWith("tamo-clock: cannot bind ")) << row.name << ": " << err.toStdString();
            EXPECT_EQ(err.count('\n'), 1) << row.name;
            EXPECT_TRUE(QFileInfo::exists(path)) << row.name << ": what was there stays";
            EXPECT_EQ(restartRecv(), u"<absent>") << row.name;
        }
    }
}

TEST(ClockFollow, AnUnusableRuntimeFolderEndsWithOneLine)
{
    struct Row {
        const char* name;
        std::function<bool(const QString&)> plant; // given the path of D
    };
    const Row rows[] = {
        {"folder open to others",
         [](const QString& d) { return QDir().mkdir(d) && QFile::setPermissions(d, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther); }},
        {"regular file", [](const QString& d) { QFile f(d); return f.open(QIODevice::WriteOnly); }},
        {"symbolic link to a good folder",
         [](const QString& d) { return QDir().mkdir(d + QStringLiteral("-real")) && QFile::setPermissions(d + QStringLiteral("-real"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) && QFile::link(d + QStringLiteral("-real"), d); }},
    };
    for (const Row& row : rows) {
        TestEnv env;
        ASSERT_TRUE(row.plant(vb::runtimeFolderPath())) << row.name;
        FollowingClock host(kFrozen);
        ASSERT_TRUE(host.waitForExit(kStartMs)) << row.name;
        EXPECT_EQ(host.process().exitStatus(), QProcess::NormalExit) << row.name;
        EXPECT_EQ(host.process().exitCode(), 1) << row.name;
        EXPECT_EQ(host.nextLine(0), std::nullopt) << row.name;
        const QByteArray err = host.errorOutput();
        EXPECT_TRUE(err.startsWith("tamo-clock: ")) << row.name << ": " << err.toStdString();
        EXPECT_EQ(err.count('\n'), 1) << row.name << ": " << err.toStdString();
        EXPECT_EQ(restartRecv(), u"<absent>") << row.name;
    }
}

TEST(ClockFollow, AStoreErrorIsReportedAndTheHostGoesOn)
{
    TestEnv env;
    // The settings folder lies under a regular file: every store operation fails.
    QFile blocker(env.root() + QStringLiteral("/not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcessEnvironment environment = clockEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), blocker.fileName() + QStringLiteral("/config"));

    FollowingClock host(kFrozen, environment);
    ASSERT_EQ(host.nextLine(kStartMs), "13:05") << host.errorOutput().toStdString();
    EXPECT_TRUE(host.errorOutput().contains("tamo-clock: cannot store RestartMsgRecv: "))
        << host.errorOutput().toStdString();

    // The message still reaches it.
    vb::PostMessage(static_cast<qint32>(host.pid()), zp::kRestartMessage, 0, 0);
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt);
    EXPECT_EQ(host.process().state(), QProcess::Running);

    host.signal(SIGTERM);
    ASSERT_TRUE(host.waitForExit(5000));
    EXPECT_EQ(host.process().exitCode(), 0);
    EXPECT_TRUE(host.errorOutput().contains("tamo-clock: cannot clear RestartMsgRecv: "))
        << host.errorOutput().toStdString();
    EXPECT_FALSE(QFileInfo::exists(socketPath(host.pid())));
}
