// tamo-clock as a process, with its own settings and runtime folders (TestEnv), TZ=Asia/Tokyo
// and a UTF-8 locale: run once (the format it shows, its lines, usage errors, exit codes), and
// following (--follow) with its clock frozen by --at, so that it prints only at start and after
// reloads: its handle and socket, the restart message, the settings watch, the ways it ends.

#include "editor/ZPSettings.h"
#include "engine/Reports.h"
#include "runtime/DatagramSocket.h"
#include "runtime/RuntimeFolder.h"
#include "runtime/SettingsStore.h"
#include "runtime/WindowMessage.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr int kStartMs = 10000; // a loaded machine
constexpr int kReloadMs = 1000; // the restart request promises "at once"
constexpr int kQuietMs = 300;   // for a line that must not come
const QString kProgram = QStringLiteral(TAMO_CLOCK_PROGRAM);
const QStringList kFrozen{u"--follow"_s, u"--at"_s, u"2001-03-29T13:05:09"_s};
const QString kApp = QString::fromUtf16(zp::kAppName);

// QProcess wants an application object.
struct Application : testing::Environment {
    int argc = 1;
    char name[12] = "clock_test";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    void SetUp() override { app = std::make_unique<QCoreApplication>(argc, argv); }
    void TearDown() override { app.reset(); }
};
testing::Environment* const application = testing::AddGlobalTestEnvironment(new Application);

QProcessEnvironment clockEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TZ"_s, u"Asia/Tokyo"_s);
    environment.insert(u"LANG"_s, u"C.UTF-8"_s);
    environment.remove(u"LC_ALL"_s);
    return environment;
}

// A started process (tamo-clock unless `program`), its standard output given to `reader`
// when there is one; killed if it still runs at the end.
class Host : public QProcess {
public:
    explicit Host(const QStringList& args, const QProcessEnvironment& environment = clockEnvironment(),
                  const QString& program = kProgram, QProcess* reader = nullptr)
    {
        setProcessEnvironment(environment);
        if (reader)
            setStandardOutputProcess(reader);
        start(program, args);
        waitForStarted(kStartMs);
        pid_ = static_cast<qint32>(processId());
    }
    ~Host() override
    {
        if (state() != NotRunning) {
            kill();
            waitForFinished(5000);
        }
    }
    qint32 pid() const { return pid_; } // kept after the end, unlike processId()
    // The next line without its LF, or nullopt when none comes within `ms`.
    std::optional<QByteArray> nextLine(int ms)
    {
        const QDeadlineTimer deadline(ms);
        for (;;) {
            out_ += readAllStandardOutput();
            if (const qsizetype end = out_.indexOf('\n'); end >= 0) {
                const QByteArray line = out_.left(end);
                out_.remove(0, end + 1);
                return line;
            }
            if (deadline.hasExpired() || state() == NotRunning)
                return std::nullopt;
            waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        }
    }
    // Reads lines until `expected` comes: SetZP stores in two writes, either may show first.
    bool waitForLine(const QByteArray& expected, int ms)
    {
        const QDeadlineTimer deadline(ms);
        while (const auto line = nextLine(static_cast<int>(deadline.remainingTime())))
            if (*line == expected)
                return true;
        return false;
    }
    bool end(int signalNumber) // signals, then waits for the end
    {
        ::kill(pid_, signalNumber);
        return waitForFinished(5000);
    }
    QByteArray err() // all of standard error so far
    {
        err_ += readAllStandardError();
        return err_;
    }

private:
    qint32 pid_ = 0;
    QByteArray out_;
    QByteArray err_;
};

// "exit <status>, out [<standard output>], err [<standard error>]" of tamo-clock run to its end.
std::string run(const QStringList& args)
{
    Host process(args);
    const bool ended = process.waitForFinished(kStartMs) && process.exitStatus() == QProcess::NormalExit;
    return "exit " + std::to_string(ended ? process.exitCode() : -1) + ", out ["
        + process.readAllStandardOutput().toStdString() + "], err [" + process.err().toStdString() + "]";
}

// The engine report as written on standard error: title, then five lines.
QByteArray report(const char16_t* place, qint32 number)
{
    const vb::Error error{number, vb::errorDescription(number)};
    QString text = zp::reportTitle() + u'\n' + zp::engineReportText(QString::fromUtf16(place), error) + u'\n';
    return text.replace(u"\r\n"_s, u"\n"_s).toUtf8();
}

void store(const char16_t* section, const char16_t* key, const QString& value)
{
    vb::SettingsStore::fromEnvironment().SaveSetting(kApp, QString::fromUtf16(section), QString::fromUtf16(key), value);
}

QString restartRecv()
{
    return vb::SettingsStore::fromEnvironment().GetSetting(kApp, QString::fromUtf16(zp::kSectionPlugIn),
                          QString::fromUtf16(zp::kKeyRestartRecv), u"<absent>"_s);
}

QString socketPath(qint32 pid) { return vb::windowSocketPath(vb::runtimeFolderPath(), pid); }

struct Text final : zp::FormatSource {
    QString text;
    explicit Text(QString t) : text(std::move(t)) { }
    QString formatText() const override { return text; }
};

bool plantFile(const QString& path) { return QFile(path).open(QIODevice::WriteOnly); }

// A socket file left behind, as by a host that was killed: bound, then closed.
bool plantSocket(const QString& path) { return vb::bindDatagramSocket(path).failure == vb::BoundSocket::None; }

} // namespace

TEST(ClockOnce, ShowsTheGivenStoredOrBuiltInFormat)
{
    // ini: the settings file, or none; err: standard error, "<file>" standing for its path.
    struct Row {
        const char* name;
        const char* ini;
        QStringList args;
        std::string out;
        std::string err = {};
    };
    const auto at = [](const QStringList& more = {}) { return QStringList{u"--at"_s, u"2001-03-29T13:05:09"_s} + more; };
    const Row rows[] = {
        {"moon, glyph, 12-hour clock", nullptr, at({u"--format"_s, u"%o% %rr% %tt_h:nn%"_s}), "4  ) 1:05\n"},
        {"built-in, nothing stored", nullptr, at(), "13:05\n"},
        {"stored and enabled", "[Plug in]\nTamoZP=1\n[Main]\nZPFormat=%yyyy%年%m%月\n", at(), "2001年3月\n"},
        {"stored, flag 0", "[Plug in]\nTamoZP=0\n[Main]\nZPFormat=%yyyy%年\n", at(), "13:05\n"},
        {"enabled, no format", "[Plug in]\nTamoZP=1\n", at(), "\n"},
        {"--format wins", "[Plug in]\nTamoZP=1\n[Main]\nZPFormat=%yyyy%\n", at({u"--format"_s, u"%nn%"_s}), "05\n"},
        {"format with a dash", nullptr, at({u"--format=--%h%"_s}), "--13\n"},
        {"unreadable store", "[Plug in]\nTamoZP=1\njunk\n[Main]\nZPFormat=%yyyy%\n", at(), "13:05\n",
         "tamo-clock: cannot read the stored settings: " + vb::errorDescription(75).toStdString() + " <file>:3\n"},
        {"stored lone surrogate", "[Plug in]\nTamoZP=1\n[Main]\nZPFormat=\\ud800%h%\n", at(), "\xEF\xBF\xBD" "13\n"},
        {"reports, in order", nullptr, at({u"--format"_s, u"%kkX% %kk%|"_s}), "13 13|\n",
         (report(u"KTime", 13) + report(u"KTime", 13)).toStdString()},
        {"time key", nullptr, at({u"--time-key"_s, u"--format"_s, u"%h:nn:ss%"_s}), "13:05:09\n13:5:9\n"},
        {"JSON and time key", nullptr, at({u"--json"_s, u"--time-key"_s}), "{\"text\": \"13:05\"}\n13:5\n"},
    };
    for (const Row& row : rows) {
        TestEnv env;
        QFile file(vb::SettingsStore::fromEnvironment().filePath(kApp));
        ASSERT_TRUE(!row.ini || (QDir().mkpath(QFileInfo(file).absolutePath()) && file.open(QIODevice::WriteOnly)
                                 && file.write(row.ini) > 0 && file.flush()));
        const QByteArray err = QByteArray::fromStdString(row.err).replace("<file>", QFile::encodeName(file.fileName()));
        EXPECT_EQ(run(row.args), "exit 0, out [" + row.out + "], err [" + err.toStdString() + "]") << row.name;
    }
}

TEST(ClockOnce, HelpVersionAndUsageErrors)
{
    TestEnv env;
    EXPECT_EQ(run({u"--version"_s}), "exit 0, out [tamo-clock 1.33.2485\n], err []");
    for (const QStringList& args : {QStringList{u"--help"_s}, {u"-h"_s}, {u"--format"_s, u"x"_s, u"--help"_s}}) {
        const std::string help = run(args);
        EXPECT_TRUE(help.starts_with("exit 0, out [Usage: tamo-clock [--format TEXT] [--at WHEN] [--time-key] "
                                     "[--json] [--follow]\n") && help.ends_with("\n], err []")) << help;
        for (const char* option : {"--version", "--format", "--at", "--time-key", "--json", "--follow"})
            EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    // Each: status 2, nothing on standard output, one line on standard error naming the problem.
    const std::pair<QStringList, const char*> errors[] = {
        {{u"--bogus"_s}, "bogus"},
        {{u"--format"_s}, "--format"},
        {{u"--at"_s, u"yesterday"_s}, "yesterday"},
        {{u"--at"_s, u"2001-02-29T12:00"_s}, "2001-02-29T12:00"},
        {{u"--format"_s, u"%h%"_s, u"extra"_s}, "extra"},
        {{u"--follow"_s, u"--time-key"_s}, "--time-key cannot be used with --follow"},
    };
    for (const auto& [args, mentions] : errors) {
        const std::string error = run(args);
        EXPECT_TRUE(error.starts_with("exit 2, out [], err [tamo-clock: ") && error.ends_with("\n]")
                    && std::count(error.begin(), error.end(), '\n') == 1 && error.find(mentions) != std::string::npos)
            << error;
    }
}

TEST(ClockFollow, ReloadsOnTheRestartRequestOrAChangedFileAlone)
{
    TestEnv env;
    Host host(kFrozen);
    ASSERT_EQ(host.nextLine(kStartMs), "13:05") << host.err().toStdString();
    ASSERT_TRUE(zp::SetZP(vb::SettingsStore::fromEnvironment(), Text(u"%yyyy%年%m%月%d%日 %h:nn%"_s)));
    zp::RequestRestart(vb::SettingsStore::fromEnvironment());
    EXPECT_TRUE(host.waitForLine("2001年3月29日 13:05", kReloadMs));
    zp::DisableZP(vb::SettingsStore::fromEnvironment());
    EXPECT_EQ(host.nextLine(kReloadMs), "13:05");
    store(zp::kSectionMain, zp::kKeyFormat, u"%m%月"_s);
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt) << "not enabled";
    store(zp::kSectionPlugIn, zp::kKeyEnable, u"1"_s);
    EXPECT_EQ(host.nextLine(kReloadMs), "3月");

    // Written and kept open: the watch reports a file only when it is closed.
    QFile file(vb::SettingsStore::fromEnvironment().filePath(kApp));
    const QByteArray ini = "[Plug in]\nTamoZP=1\nRestartMsgRecv=" + QByteArray::number(host.pid())
        + "\n[Main]\nZPFormat=%yyyy%年\n";
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(ini) > 0 && file.flush());
    for (const vb::WindowMessage& m : {vb::WindowMessage{0x0202, 0, 0}, {0x0203, 1, 0}, {0x0203, 0, -1}})
        vb::PostMessage(host.pid(), m.msg, m.wParam, m.lParam);
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt) << "not the restart message";
    zp::RequestRestart(vb::SettingsStore::fromEnvironment());
    EXPECT_EQ(host.nextLine(kReloadMs), "2001年");
    EXPECT_EQ(host.err(), "");
}

TEST(ClockFollow, EndsInOrder)
{
    struct Row {
        const char* name;
        int signal; // 0: the reader of its output goes away
        bool storeUnusable;
    };
    for (const Row& row : {Row{"SIGTERM", SIGTERM, false}, {"SIGHUP", SIGHUP, false},
                           {"reader gone", 0, false}, {"store unusable", SIGINT, true}}) {
        TestEnv env;
        QProcessEnvironment environment = clockEnvironment();
        if (row.storeUnusable)
            environment.insert(u"XDG_CONFIG_HOME"_s, u"/dev/null/config"_s);
        QProcess head;
        Host host(kFrozen, environment, kProgram, row.signal ? nullptr : &head);
        if (row.signal) {
            ASSERT_EQ(host.nextLine(kStartMs), "13:05") << row.name << host.err().toStdString();
            EXPECT_EQ(restartRecv(), row.storeUnusable ? u"<absent>"_s : QString::number(host.pid()));
            ASSERT_TRUE(host.end(row.signal)) << row.name;
        } else {
            head.start(u"head"_s, {u"-n1"_s});
            ASSERT_TRUE(head.waitForFinished(kStartMs));
            EXPECT_EQ(head.readAllStandardOutput(), "13:05\n");
            ASSERT_TRUE(host.waitForFinished(5000)) << "it notices without printing again";
        }
        EXPECT_EQ(host.exitStatus(), QProcess::NormalExit) << row.name;
        EXPECT_EQ(host.exitCode(), 0) << row.name;
        EXPECT_EQ(restartRecv(), row.storeUnusable ? u"<absent>"_s : u"0"_s) << row.name;
        EXPECT_FALSE(QFileInfo::exists(socketPath(host.pid()))) << row.name;
        const QByteArray err = host.err();
        EXPECT_EQ(err.isEmpty(), !row.storeUnusable) << row.name << ": " << err.toStdString();
        EXPECT_EQ(err.startsWith("tamo-clock: cannot store RestartMsgRecv: ")
                      && err.contains("\ntamo-clock: cannot clear RestartMsgRecv: "), row.storeUnusable);
    }
}

TEST(ClockFollow, ASecondHostKeepsTheHandleWhenTheFirstEnds)
{
    TestEnv env;
    Host first(kFrozen);
    ASSERT_EQ(first.nextLine(kStartMs), "13:05");
    Host second(kFrozen);
    ASSERT_EQ(second.nextLine(kStartMs), "13:05");
    ASSERT_EQ(restartRecv(), QString::number(second.pid()));
    ASSERT_TRUE(first.end(SIGTERM));
    EXPECT_EQ(restartRecv(), QString::number(second.pid()));
    EXPECT_FALSE(QFileInfo::exists(socketPath(first.pid())));
    EXPECT_TRUE(QFileInfo::exists(socketPath(second.pid())));
}

// A socket file left behind is taken over; any other file at the socket's path stops the start.
TEST(ClockFollow, StartsOverAStaleSocketOnly)
{
    for (const bool stale : {true, false}) {
        TestEnv env;
        const QString d = vb::runtimeFolder();
        // The shell waits for the file planted at D/window-<pid>, then becomes the host.
        const QString wait = u"d=$1; shift; while [ ! -e \"$d/window-$$\" ]; do sleep 0.01; done; exec \"$0\" \"$@\""_s;
        Host host(QStringList{u"-c"_s, wait, kProgram, d} + kFrozen, clockEnvironment(), u"/bin/sh"_s);
        const QString path = vb::windowSocketPath(d, host.pid());
        ASSERT_TRUE(stale ? plantSocket(path) : plantFile(path));
        if (stale) {
            EXPECT_EQ(host.nextLine(kStartMs), "13:05") << host.err().toStdString();
        }
        ASSERT_TRUE(stale ? host.end(SIGTERM) : host.waitForFinished(kStartMs)) << stale;
        EXPECT_EQ(host.exitCode(), stale ? 0 : 1) << stale;
        EXPECT_EQ(host.readAllStandardOutput(), "") << stale;
        const QByteArray err = host.err();
        EXPECT_EQ(err.count('\n'), stale ? 0 : 1) << stale << ": " << err.toStdString();
        EXPECT_EQ(err.startsWith("tamo-clock: "), !stale) << stale;
        EXPECT_EQ(restartRecv(), stale ? u"0"_s : u"<absent>"_s) << stale;
        EXPECT_EQ(QFileInfo::exists(path), !stale) << stale << ": only a stale socket goes";
    }
}
