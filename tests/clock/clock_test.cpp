// tamo-clock as a process with its own settings and runtime folders (TestEnv), TZ=Asia/Tokyo and
// UTF-8: run once (format shown, lines, usage errors, exit codes; rows in data/), and following
// with its clock frozen by --at, so that it prints only at start and after reloads: its handle and
// socket, the restart message, the settings watch, the ways it ends. In-process: --at, JSON, wakes.

#include "clock/ClockOptions.h"
#include "clock/ClockText.h"
#include "clock/FollowHost.h"
#include "clock/HostCore.h"
#include "editor/ZPSettings.h"
#include "engine/Reports.h"
#include "runtime/DateFormat.h"
#include "runtime/DatagramSocket.h"
#include "runtime/RuntimeFolder.h"
#include "runtime/SettingsStore.h"
#include "runtime/WindowMessage.h"
#include "support/Common.h"
#include "support/Rows.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <ctime>

using namespace clk;
using namespace Qt::StringLiterals;

namespace {

constexpr int kStartMs = 10000; // a loaded machine
constexpr int kReloadMs = 1000; // the restart request promises "at once"
constexpr int kQuietMs = 300;   // for a line that must not come
const QString kProgram = QStringLiteral(TAMO_CLOCK_PROGRAM);
const QStringList kFrozen{u"--follow"_s, u"--at"_s, u"2001-03-29T13:05:09"_s};

QProcessEnvironment clockEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TZ"_s, u"Asia/Tokyo"_s), environment.insert(u"LANG"_s, u"C.UTF-8"_s), environment.remove(u"LC_ALL"_s);
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
    ~Host() override { kill(), waitForFinished(5000); }
    qint32 pid() const { return pid_; } // kept after the end, unlike processId()
    // The next line without its LF, or nullopt when none comes within `ms`.
    std::optional<QByteArray> nextLine(int ms)
    {
        const QDeadlineTimer deadline(ms);
        while (!canReadLine() && !deadline.hasExpired() && waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) { }
        return canReadLine() ? std::optional(readLine().chopped(1)) : std::nullopt;
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
    bool end(int signalNumber) { return ::kill(pid_, signalNumber) == 0 && waitForFinished(5000); } // signals, then waits
    QByteArray err() { return err_ += readAllStandardError(); } // all of standard error so far

private:
    qint32 pid_ = 0;
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

QString restartRecv() { return vb::SettingsStore::fromEnvironment().GetSetting(kApp, QString::fromUtf16(zp::kSectionPlugIn), QString::fromUtf16(zp::kKeyRestartRecv), u"<absent>"_s); }
QString socketPath(qint32 pid) { return vb::windowSocketPath(vb::runtimeFolderPath(), pid); }

struct Text final : zp::FormatSource {
    explicit Text(QString t) : text(std::move(t)) { }
    QString formatText() const override { return text; }
    QString text;
};

} // namespace

TEST(ClockOnce, ShowsTheGivenStoredOrBuiltInFormat)
{
    const auto lines = [](const QString& field) { return field.toUtf8().replace("\\n", "\n"); };
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/once.tsv"), 5)) {
        TestEnv env;
        QFile file(vb::SettingsStore::fromEnvironment().filePath(kApp));
        ASSERT_TRUE(r[2] == u"-" || (QDir().mkpath(QFileInfo(file).absolutePath()) && file.open(QIODevice::WriteOnly) && file.write(lines(r[2])) > 0 && file.flush()));
        const QByteArray err = lines(r[5]).replace("<file>", QFile::encodeName(file.fileName())).replace("<report KTime 13>", report(u"KTime", 13));
        const QStringList args = QStringList{u"--at"_s, u"2001-03-29T13:05:09"_s} + (r[3].isEmpty() ? QStringList() : r[3].split(u' '));
        EXPECT_EQ(run(args), "exit 0, out [" + lines(r[4]).toStdString() + "], err [" + err.toStdString() + "]") << r[0].toStdString() << ": " << r[1].toStdString();
    }
}

// waybar and the panels that read Pango markup show nothing for a line that does not parse.
TEST(ClockOnce, EscapesTextAndTooltipForEachReader)
{
    TestEnv env;
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/markup.tsv"), 3)) {
        const QStringList args = QStringList{u"--at"_s, u"2001-03-29T13:05:09"_s} + r[2].split(u' ');
        EXPECT_EQ(run(args), "exit 0, out [" + r[3].toStdString() + "\n], err []") << r[0].toStdString() << ": " << r[1].toStdString();
    }
}

TEST(ClockOnce, HelpVersionAndUsageErrors)
{
    TestEnv env;
    EXPECT_EQ(run({u"--version"_s}), "exit 0, out [tamo-clock 1.33.2485\n], err []");
    for (const QStringList& args : {QStringList{u"--help"_s}, {u"-h"_s}, {u"--format"_s, u"x"_s, u"--help"_s}}) {
        const std::string help = run(args);
        EXPECT_TRUE(help.starts_with("exit 0, out [Usage: tamo-clock [--format TEXT] [--tooltip TEXT | --calendar-tooltip] "
                                     "[--at WHEN] [--time-key] [--json | --pango] [--follow]\n"
                                     "       tamo-clock --calendar [YYYY-MM] [--at WHEN]\n"
                                     "       tamo-clock --holidays YEAR\n") && help.ends_with("\n], err []")) << help;
        for (const char* option : {"--version", "--format", "--tooltip", "--at", "--time-key", "--json", "--pango", "--follow",
                                   "--calendar-tooltip", "--calendar", "--holidays"})
            EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/usage_errors.tsv"), 2)) {
        const std::string error = run(r[1].split(u' '));
        EXPECT_TRUE(error.starts_with("exit 2, out [], err [tamo-clock: ") && error.ends_with("\n]")
                    && std::count(error.begin(), error.end(), '\n') == 1 && error.find(r[2].toStdString()) != std::string::npos)
            << r[0].toStdString() << ": " << error;
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
    vb::SettingsStore::fromEnvironment().SaveSetting(kApp, QString::fromUtf16(zp::kSectionMain), QString::fromUtf16(zp::kKeyFormat), u"%m%月"_s);
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt) << "not enabled";
    vb::SettingsStore::fromEnvironment().SaveSetting(kApp, QString::fromUtf16(zp::kSectionPlugIn), QString::fromUtf16(zp::kKeyEnable), u"1"_s);
    EXPECT_EQ(host.nextLine(kReloadMs), "3月");

    // Written and kept open: the watch reports a file only when it is closed.
    QFile file(vb::SettingsStore::fromEnvironment().filePath(kApp));
    const QByteArray ini = "[Plug in]\nTamoZP=1\nRestartMsgRecv=" + QByteArray::number(host.pid()) + "\n[Main]\nZPFormat=%yyyy%年\n";
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(ini) > 0 && file.flush());
    for (const vb::WindowMessage& m : {vb::WindowMessage{0x0202, 0, 0}, {0x0203, 1, 0}, {0x0203, 0, -1}})
        vb::PostMessage(host.pid(), m.msg, m.wParam, m.lParam);
    EXPECT_EQ(host.nextLine(kQuietMs), std::nullopt) << "not the restart message";
    zp::RequestRestart(vb::SettingsStore::fromEnvironment());
    EXPECT_EQ(host.nextLine(kReloadMs), "2001年");
    EXPECT_EQ(host.err(), "");
}

// The one-shot rows show the escaping; this, that the host hands its tooltip to the line.
TEST(ClockFollow, JsonLinesCarryTheTooltip)
{
    TestEnv env;
    Host host(kFrozen + QStringList{u"--json"_s, u"--tooltip"_s, u"%yyyy%年 <%m%>"_s});
    EXPECT_EQ(host.nextLine(kStartMs), R"({"text": "13:05", "tooltip": "2001年 &lt;3&gt;"})") << host.err().toStdString();
}

// The calendar goes out as the markup it is, not escaped again.
TEST(ClockFollow, JsonLinesCarryTheCalendar)
{
    TestEnv env;
    Host host({u"--follow"_s, u"--at"_s, u"2026-05-06T00:00"_s, u"--json"_s, u"--calendar-tooltip"_s});
    const QJsonObject line = QJsonDocument::fromJson(host.nextLine(kStartMs).value_or("")).object();
    EXPECT_EQ(line.value(u"text"_s).toString(), u"0:00"_s) << host.err().toStdString();
    EXPECT_TRUE(line.value(u"tooltip"_s).toString().startsWith(u"<span font_family=\"monospace\" lang=\"ja\">令和8年(2026年) 5月\n"_s));
}

TEST(ClockFollow, EndsInOrder)
{
    // signal 0: the reader of its output goes away.
    const struct { const char* name; int signal; bool storeUnusable; } rows[] = {
        {"SIGTERM", SIGTERM, false}, {"SIGHUP", SIGHUP, false}, {"reader gone", 0, false}, {"store unusable", SIGINT, true}};
    for (const auto& row : rows) {
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
        EXPECT_TRUE(host.exitStatus() == QProcess::NormalExit && host.exitCode() == 0) << row.name;
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
        // A socket left behind, as by a host that was killed, is one bound and closed.
        ASSERT_TRUE(stale ? vb::bindDatagramSocket(path).failure == vb::BoundSocket::None : QFile(path).open(QIODevice::WriteOnly));
        if (stale) {
            EXPECT_EQ(host.nextLine(kStartMs), "13:05") << host.err().toStdString();
        }
        ASSERT_TRUE(stale ? host.end(SIGTERM) : host.waitForFinished(kStartMs)) << stale;
        EXPECT_EQ(host.exitCode(), stale ? 0 : 1) << stale;
        EXPECT_EQ(host.readAllStandardOutput(), "") << stale;
        EXPECT_EQ(host.err(), stale ? "" : "tamo-clock: cannot bind " + QFile::encodeName(path) + ": Address already in use\n");
        EXPECT_EQ(restartRecv(), stale ? u"0"_s : u"<absent>"_s) << stale;
        EXPECT_EQ(QFileInfo::exists(path), !stale) << stale << ": only a stale socket goes";
    }
}

TEST(ClockInstant, ReadsOnlyRealLocalInstants)
{
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/instants.tsv"), 2)) {
        const std::optional<vb::DateValue> at = parseInstant(r[1]);
        EXPECT_EQ(at ? vb::Format(*at, u"yyyy-mm-dd hh:nn:ss") : u"-"_s, r[2]) << r[0].toStdString() << ": " << r[1].toStdString();
    }
}

// Beyond what the round trip below shows: the short escapes, and broken surrogates replaced.
TEST(ClockJson, EscapesAndBrokenSurrogates)
{
    EXPECT_EQ(jsonString(u"\"\\/\n\t"_s + QChar(1) + QChar(0x2028)), R"("\"\\/\n\t\u0001\u2028")");
    EXPECT_EQ(jsonString(QString(QChar(0xDF15)) + QChar(0xD83C) + u'x'), "\"\xEF\xBF\xBD\xEF\xBF\xBDx\"");
    for (const LineForm form : {LineForm::Plain, LineForm::Pango})
        EXPECT_EQ(outputLine(QString(QChar(0xD800)) + u'a', form), "\xEF\xBF\xBD" "a\n");
}

// Every character, in the text and the tooltip: valid JSON that reads back as the markup that
// shows the character itself.
TEST(ClockJson, EveryCharacterRoundTripsThroughAJsonReader)
{
    for (char32_t c = 0; c <= 0x10FFFF; c += (c < 0xFFFF ? 1 : 0x1000)) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const QString character = QString::fromUcs4(&c, 1);
        const QString markup = c == u'&' ? u"&amp;"_s : c == u'<' ? u"&lt;"_s : c == u'>' ? u"&gt;"_s : character;
        const QByteArray line = outputLine(u'[' + character + u']', LineForm::Json, u'(' + character + u')');
        QJsonParseError error{};
        const QJsonObject object = QJsonDocument::fromJson(line, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << "U+" << std::hex << unsigned(c);
        ASSERT_EQ(object.value(u"text").toString(), u'[' + markup + u']') << "U+" << std::hex << unsigned(c);
        ASSERT_EQ(object.value(u"tooltip").toString(), u'(' + markup + u')') << "U+" << std::hex << unsigned(c);
        ASSERT_TRUE(object.size() == 2 && line.endsWith("}\n") && line.count('\n') == 1);
    }
}

TEST(ClockHost, NextKeyChangeIsTheNextSecondOrLocalMinute)
{
    EXPECT_TRUE(keyHasSeconds(u"0:0:0"));
    EXPECT_FALSE(keyHasSeconds(u"13:5"));
    const QByteArray zone = qgetenv("TZ");
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/next_key_change.tsv"), 4)) {
        qputenv("TZ", r[1].toUtf8());
        ::tzset();
        EXPECT_EQ(nextKeyChange(r[2].toLongLong(), r[3] == u"seconds"), r[4].toLongLong()) << r[0].toStdString();
    }
    zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
    ::tzset();
}
