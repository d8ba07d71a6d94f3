// tamo-clock run once, as a process: what it expands, its output, its exit status, its usage
// errors and the engine reports on standard error.

#include "ClockProcess.h"
#include "support/TestEnv.h"

#include "editor/ZPSettings.h"
#include "engine/Reports.h"
#include "runtime/SettingsStore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace {

QStringList args(std::initializer_list<const char16_t*> list)
{
    QStringList result;
    for (const char16_t* a : list)
        result.append(QString::fromUtf16(a));
    return result;
}

void store(const char16_t* section, const char16_t* key, const QString& value)
{
    vb::SaveSetting(QString::fromUtf16(zp::kAppName), QString::fromUtf16(section),
                    QString::fromUtf16(key), value);
}

// The engine report as the standard-error box writes it: title line, five lines, LF each.
QByteArray reportOnStandardError(const char16_t* place, qint32 number)
{
    const QString text = zp::reportTitle() + u'\n'
        + zp::engineReportText(QString::fromUtf16(place), vb::Error{number, vb::errorDescription(number)})
              .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        + u'\n';
    return text.toUtf8();
}

std::string show(const ClockRun& run)
{
    return "exit " + std::to_string(run.exitCode) + ", out [" + run.out.toStdString() + "], err ["
        + run.err.toStdString() + "]";
}

} // namespace

TEST(ClockOnce, ExpandsTheGivenFormat)
{
    TestEnv env;
    struct Row {
        const char* name;
        QStringList args;
        QByteArray out;
    };
    const Row rows[] = {
        {"moon, glyph and 12-hour clock",
         args({u"--at", u"2001-03-29T13:05:09", u"--format", u"%o% %rr% %tt_h:nn%"}), "4  ) 1:05\n"},
        {"space before the time", args({u"--at", u"2001-03-29 13:05:09", u"--format", u"%h:nn:ss%"}),
         "13:05:09\n"},
        {"built-in clock", args({u"--at", u"2001-03-29T13:05:09"}), "13:05\n"},
        {"built-in clock at midnight", args({u"--at", u"2001-03-29T00:00"}), "0:00\n"},
        {"literal only", args({u"--format", u"abc"}), "abc\n"},
        {"empty format", args({u"--format="}), "\n"},
        {"escapes", args({u"--format", u"\\%h\\% a\\\\b"}), "%h% a\\b\n"},
        {"unclosed token", args({u"--at", u"2001-03-29T13:05", u"--format", u"abc%d"}), "ZPErr\n"},
        {"trailing percent", args({u"--at", u"2001-03-29T13:05", u"--format", u"abc%"}), "abc\n"},
        {"Japanese and emoji literals", args({u"--at", u"2001-03-29T13:05", u"--format", u"月🌕%h%時"}),
         "月🌕13時\n"},
        {"era before the change", args({u"--at", u"2019-04-30T23:59:59", u"--format", u"%ggg%"}),
         "平成\n"},
        {"era after the change", args({u"--at", u"2019-05-01T00:00", u"--format", u"%ggg%"}), "令和\n"},
        {"extended hour", args({u"--at", u"2001-03-30T04:59", u"--format", u"%kk5h:nn%"}), "28:59\n"},
        {"year 100", args({u"--at", u"0100-01-01T00:00", u"--format", u"%m%/%d% %h%"}), "1/1 0\n"},
        {"time key, minutes",
         args({u"--at", u"2001-03-29T13:05:09", u"--format", u"%h:nn%", u"--time-key"}),
         "13:05\n13:5\n"},
        {"time key, seconds",
         args({u"--time-key", u"--at", u"2001-03-29T13:05:09", u"--format", u"%h:nn:ss%"}),
         "13:05:09\n13:5:9\n"},
        {"time key, seconds in upper case",
         args({u"--time-key", u"--at", u"2001-03-29T13:05:09", u"--format", u"%SS%"}), "09\n13:5:9\n"},
        {"time key of a malformed format",
         args({u"--time-key", u"--at", u"2001-03-29T13:05:09", u"--format", u"%h%%d"}), "ZPErr\n13:5\n"},
        {"last --format wins", args({u"--format", u"a", u"--format", u"b"}), "b\n"},
    };
    for (const Row& row : rows) {
        const ClockRun run = runClock(row.args);
        EXPECT_EQ(run.exitCode, 0) << row.name << ": " << show(run);
        EXPECT_EQ(run.out, row.out) << row.name << ": " << show(run);
        EXPECT_EQ(run.err, "") << row.name << ": " << show(run);
    }
}

TEST(ClockOnce, JsonLinesAreValidJson)
{
    TestEnv env;
    struct Row {
        const char* name;
        QString format;
        QString text;
    };
    const Row rows[] = {
        {"plain", QStringLiteral("%h:nn%"), QStringLiteral("13:05")},
        {"quotes and backslashes", QStringLiteral("\"q\" \\\\ %h%"), QStringLiteral("\"q\" \\ 13")},
        {"tab and a control character", QStringLiteral("a\tb") + QChar(1) + u'c',
         QStringLiteral("a\tb") + QChar(1) + u'c'},
        {"line break", QStringLiteral("a\nb"), QStringLiteral("a\nb")},
        {"Japanese", QStringLiteral("%ggg%%yyyy%年 月齢%o%"), QStringLiteral("平成2001年 月齢4")},
        {"emoji", QStringLiteral("🌕 %rr%"), QStringLiteral("🌕  )")},
        {"malformed", QStringLiteral("%h"), QStringLiteral("ZPErr")},
    };
    for (const Row& row : rows) {
        const ClockRun run = runClock(
            {QStringLiteral("--json"), QStringLiteral("--at"), QStringLiteral("2001-03-29T13:05:09"),
             QStringLiteral("--format"), row.format});
        ASSERT_EQ(run.exitCode, 0) << row.name << ": " << show(run);
        ASSERT_TRUE(run.out.endsWith('\n')) << row.name;
        ASSERT_EQ(run.out.count('\n'), 1) << row.name << ": one line";
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(run.out, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << row.name << ": " << show(run);
        EXPECT_EQ(doc.object().value(u"text").toString(), row.text) << row.name << ": " << show(run);
        EXPECT_TRUE(run.out.startsWith("{\"text\": \"")) << row.name;
    }

    // With --time-key the key follows on its own line.
    const ClockRun keyed = runClock(args({u"--json", u"--time-key", u"--at", u"2001-03-29T13:05:09"}));
    EXPECT_EQ(keyed.out, "{\"text\": \"13:05\"}\n13:5\n");
}

TEST(ClockOnce, ShowsTheStoredFormatOnlyWhenEnabled)
{
    struct Row {
        const char* name;
        std::optional<QString> flag;
        std::optional<QString> format;
        QStringList extra;
        QByteArray out;
    };
    const Row rows[] = {
        {"nothing stored", std::nullopt, std::nullopt, {}, "13:05\n"},
        {"enabled", QStringLiteral("1"), QStringLiteral("%yyyy%年%m%月"), {}, "2001年3月\n"},
        {"disabled", QStringLiteral("0"), QStringLiteral("%yyyy%年"), {}, "13:05\n"},
        {"no flag", std::nullopt, QStringLiteral("%yyyy%年"), {}, "13:05\n"},
        {"flag not exactly 1", QStringLiteral(" 1"), QStringLiteral("%yyyy%年"), {}, "13:05\n"},
        {"enabled without a format", QStringLiteral("1"), std::nullopt, {}, "\n"},
        {"stored format with spaces", QStringLiteral("1"), QStringLiteral("  %h%  "), {}, "  13  \n"},
        {"stored malformed format", QStringLiteral("1"), QStringLiteral("%h"), {}, "ZPErr\n"},
        {"stored lone surrogate", QStringLiteral("1"), QString(QChar(0xD800)) + QStringLiteral("%h%"),
         {}, "\xEF\xBF\xBD" "13\n"},
        {"--format wins", QStringLiteral("1"), QStringLiteral("%yyyy%"), args({u"--format", u"%nn%"}),
         "05\n"},
    };
    for (const Row& row : rows) {
        TestEnv env;
        if (row.flag)
            store(zp::kSectionPlugIn, zp::kKeyEnable, *row.flag);
        if (row.format)
            store(zp::kSectionMain, zp::kKeyFormat, *row.format);
        const ClockRun run = runClock(args({u"--at", u"2001-03-29T13:05:09"}) + row.extra);
        EXPECT_EQ(run.exitCode, 0) << row.name << ": " << show(run);
        EXPECT_EQ(run.out, row.out) << row.name << ": " << show(run);
        EXPECT_EQ(run.err, "") << row.name << ": " << show(run);
    }
}

TEST(ClockOnce, AnUnreadableStoreGivesTheBuiltInClock)
{
    TestEnv env;
    const QString file = vb::settingsFilePath(QString::fromUtf16(zp::kAppName));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
    QFile junk(file);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("[Plug in]\nTamoZP=1\nthis line does not parse\n[Main]\nZPFormat=%yyyy%\n");
    junk.close();

    const ClockRun run = runClock(args({u"--at", u"2001-03-29T13:05:09"}));
    EXPECT_EQ(run.exitCode, 0) << show(run);
    EXPECT_EQ(run.out, "13:05\n") << show(run);
    EXPECT_TRUE(run.err.startsWith("tamo-clock: cannot read the stored settings: ")) << show(run);
    EXPECT_EQ(run.err.count('\n'), 1) << show(run);
    EXPECT_TRUE(run.err.contains(QFile::encodeName(file))) << "the report names the file: " << show(run);
}

TEST(ClockOnce, EngineReportsGoToStandardErrorAndTheExpansionGoesOn)
{
    TestEnv env;
    struct Row {
        const char* name;
        const char16_t* format;
        QByteArray out;
        QByteArray err;
    };
    const Row rows[] = {
        {"boundary that is no number", u"%kkXh:nn%", "13:05\n", reportOnStandardError(u"KTime", 13)},
        {"token too short", u"[%k%]", "[13]\n", reportOnStandardError(u"KTime", 13)},
        {"two reports, in order", u"%kkX% %kk%|", "13 13|\n",
         reportOnStandardError(u"KTime", 13) + reportOnStandardError(u"KTime", 13)},
    };
    for (const Row& row : rows) {
        const ClockRun run = runClock({QStringLiteral("--at"), QStringLiteral("2001-03-29T13:05:09"),
                                       QStringLiteral("--format"), QString::fromUtf16(row.format)});
        EXPECT_EQ(run.exitCode, 0) << row.name << ": " << show(run);
        EXPECT_EQ(run.out, row.out) << row.name << ": " << show(run);
        EXPECT_EQ(run.err, row.err) << row.name << ": " << show(run);
    }
}

TEST(ClockOnce, UsageErrorsExitWithTwoAndOneLine)
{
    TestEnv env;
    const QStringList rows[] = {
        args({u"--bogus"}),
        args({u"-q"}),
        args({u"--format"}),
        args({u"--at"}),
        args({u"--at", u"yesterday"}),
        args({u"--at", u"2001-02-29T12:00"}),
        args({u"--at", u"0099-12-31T23:59"}),
        args({u"--at", u"2001-03-29"}),
        args({u"extra"}),
        args({u"--format", u"%h%", u"extra"}),
        args({u"--follow", u"--time-key"}),
        args({u"--json=1"}),
    };
    for (const QStringList& row : rows) {
        const ClockRun run = runClock(row);
        const std::string name = row.join(u' ').toStdString();
        EXPECT_TRUE(run.normalExit) << name;
        EXPECT_EQ(run.exitCode, 2) << name << ": " << show(run);
        EXPECT_EQ(run.out, "") << name;
        EXPECT_TRUE(run.err.startsWith("tamo-clock: ")) << name << ": " << show(run);
        EXPECT_TRUE(run.err.endsWith('\n')) << name;
        EXPECT_EQ(run.err.count('\n'), 1) << name << ": " << show(run);
        EXPECT_GT(run.err.size(), 14) << name << ": says what is wrong";
    }
}

TEST(ClockOnce, HelpAndVersion)
{
    TestEnv env;
    const ClockRun version = runClock(args({u"--version"}));
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "tamo-clock 1.33.2485\n");
    EXPECT_EQ(version.err, "");

    for (const char16_t* option : {u"--help", u"-h"}) {
        const ClockRun help = runClock(args({option}));
        EXPECT_EQ(help.exitCode, 0) << show(help);
        EXPECT_TRUE(help.out.startsWith("Usage: ")) << show(help);
        for (const char* name : {"--format", "--at", "--time-key", "--json", "--follow"})
            EXPECT_TRUE(help.out.contains(name)) << name;
        EXPECT_EQ(help.err, "");
    }
}
