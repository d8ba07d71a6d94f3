// The command line, the JSON line and the host's timing rules, without a process.

#include "clock/ClockOptions.h"
#include "clock/ClockText.h"
#include "clock/FollowHost.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cstdlib>
#include <ctime>
#include <optional>

using namespace clk;

namespace {

QStringList argv(std::initializer_list<const char16_t*> args)
{
    QStringList list{QStringLiteral("tamo-clock")};
    for (const char16_t* a : args)
        list.append(QString::fromUtf16(a));
    return list;
}

// Sets TZ for one test and restores it.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) : old_(std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt)
    {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneScope()
    {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> old_;
};

} // namespace

TEST(ClockInstant, ReadsTheAcceptedShapes)
{
    struct Row {
        const char16_t* text;
        vb::DateValue expected;
    };
    const Row rows[] = {
        {u"2001-03-29T13:05:09", vb::DateValue(2001, 3, 29, 13, 5, 9)},
        {u"2001-03-29 13:05:09", vb::DateValue(2001, 3, 29, 13, 5, 9)},
        {u"2001-03-29T13:05", vb::DateValue(2001, 3, 29, 13, 5, 0)},
        {u"2001-03-29 00:00", vb::DateValue(2001, 3, 29, 0, 0, 0)},
        {u"0100-01-01T00:00:00", vb::DateValue(100, 1, 1)},
        {u"9999-12-31T23:59:59", vb::DateValue(9999, 12, 31, 23, 59, 59)},
        {u"2000-02-29T12:00", vb::DateValue(2000, 2, 29, 12, 0, 0)},
        {u"2019-04-30T23:59:59", vb::DateValue(2019, 4, 30, 23, 59, 59)},
    };
    for (const Row& row : rows) {
        const auto value = parseInstant(QString::fromUtf16(row.text));
        ASSERT_TRUE(value.has_value()) << QString::fromUtf16(row.text).toStdString();
        EXPECT_EQ(*value, row.expected) << QString::fromUtf16(row.text).toStdString();
    }
}

TEST(ClockInstant, RefusesWhatIsNoInstant)
{
    const char16_t* rows[] = {
        u"",
        u"2001-03-29",              // no time
        u"2001-03-29T13",           // no minutes
        u"2001-03-29T13:05:9",      // one-digit seconds
        u"2001-3-29T13:05",         // one-digit month
        u"2001-03-29t13:05",        // lower-case t
        u"2001-03-29_13:05",
        u"2001/03/29 13:05",
        u"2001-03-29T13:05:09Z",    // a zone
        u"2001-03-29T13:05:09.5",
        u" 2001-03-29T13:05",
        u"2001-13-01T00:00",        // month 13
        u"2001-00-10T00:00",
        u"2001-02-29T00:00",        // not a leap year
        u"1900-02-29T00:00",
        u"2001-04-31T00:00",
        u"2001-03-00T00:00",
        u"2001-03-29T24:00",
        u"2001-03-29T23:60",
        u"2001-03-29T23:59:60",     // no leap seconds
        u"0099-12-31T23:59:59",     // before year 100
        u"0000-01-01T00:00",
        u"10000-01-01T00:00",
        u"２００１-03-29T13:05",    // full-width digits
        u"2001-03-29T1a:05",
        u"+001-03-29T13:05",
    };
    for (const char16_t* text : rows)
        EXPECT_FALSE(parseInstant(QString::fromUtf16(text)).has_value())
            << QString::fromUtf16(text).toStdString();
}

TEST(ClockCommandLine, ReadsTheOptions)
{
    const ParsedCommandLine none = parseCommandLine(argv({}));
    EXPECT_EQ(none.command, Command::Run);
    EXPECT_FALSE(none.options.format.has_value());
    EXPECT_FALSE(none.options.at.has_value());
    EXPECT_FALSE(none.options.timeKey || none.options.json || none.options.follow);

    const ParsedCommandLine all = parseCommandLine(
        argv({u"--format", u"%h%年", u"--at", u"2001-03-29 13:05", u"--time-key", u"--json"}));
    ASSERT_EQ(all.command, Command::Run) << all.usageError.toStdString();
    EXPECT_EQ(all.options.format, QStringLiteral("%h%年"));
    EXPECT_EQ(all.options.at, vb::DateValue(2001, 3, 29, 13, 5, 0));
    EXPECT_TRUE(all.options.timeKey);
    EXPECT_TRUE(all.options.json);
    EXPECT_FALSE(all.options.follow);

    const ParsedCommandLine equals = parseCommandLine(argv({u"--format=", u"--follow"}));
    ASSERT_EQ(equals.command, Command::Run);
    EXPECT_EQ(equals.options.format, QString()) << "an empty format is a format";
    EXPECT_TRUE(equals.options.format.has_value());
    EXPECT_TRUE(equals.options.follow);

    // A format may begin with a dash when given with "=".
    const ParsedCommandLine dash = parseCommandLine(argv({u"--format=--%h%"}));
    EXPECT_EQ(dash.options.format, QStringLiteral("--%h%"));
}

TEST(ClockCommandLine, HelpAndVersion)
{
    struct Row {
        std::initializer_list<const char16_t*> args;
        Command command;
    };
    const Row rows[] = {
        {{u"--help"}, Command::Help},
        {{u"-h"}, Command::Help},
        {{u"--format", u"x", u"--help"}, Command::Help},
        {{u"--version"}, Command::Version},
    };
    for (const Row& row : rows)
        EXPECT_EQ(parseCommandLine(argv(row.args)).command, row.command);
    const ParsedCommandLine help = parseCommandLine(argv({u"--help"}));
    for (const char* option : {"--format", "--at", "--time-key", "--json", "--follow", "--version"})
        EXPECT_TRUE(help.helpText.contains(QLatin1StringView(option))) << option;
    EXPECT_EQ(versionLine(), u"tamo-clock 1.33.2485");
}

TEST(ClockCommandLine, UsageErrorsAreOneLineEach)
{
    struct Row {
        const char* name;
        std::initializer_list<const char16_t*> args;
        const char16_t* mentions;
    };
    const Row rows[] = {
        {"unknown option", {u"--bogus"}, u"bogus"},
        {"unknown short option", {u"-x"}, u"x"},
        {"missing format", {u"--format"}, u"--format"},
        {"missing instant", {u"--at"}, u"--at"},
        {"instant without time", {u"--at", u"2001-03-29"}, u"2001-03-29"},
        {"impossible day", {u"--at", u"2001-02-29T00:00"}, u"2001-02-29T00:00"},
        {"year before 100", {u"--at", u"0099-01-01T00:00"}, u"0099"},
        {"instant with a line break", {u"--at", u"2001\n"}, u"2001"},
        {"positional argument", {u"%h%"}, u"%h%"},
        {"value given to a flag", {u"--json=yes"}, u"json"},
        {"time key while following", {u"--follow", u"--time-key"}, u"--time-key"},
        {"two unknown options", {u"--a", u"--b"}, u"a"},
    };
    for (const Row& row : rows) {
        const ParsedCommandLine parsed = parseCommandLine(argv(row.args));
        EXPECT_EQ(parsed.command, Command::UsageError) << row.name;
        EXPECT_FALSE(parsed.usageError.isEmpty()) << row.name;
        EXPECT_FALSE(parsed.usageError.contains(u'\n')) << row.name;
        EXPECT_TRUE(parsed.usageError.contains(QString::fromUtf16(row.mentions)))
            << row.name << ": " << parsed.usageError.toStdString();
    }
}

TEST(ClockJson, EscapesWhatJsonRequires)
{
    struct Row {
        const char* name;
        QString text;
        QByteArray expected;
    };
    const Row rows[] = {
        {"plain", QStringLiteral("13:05"), R"("13:05")"},
        {"empty", QString(), R"("")"},
        {"quote", QStringLiteral("say \"hi\""), R"("say \"hi\"")"},
        {"backslash", QStringLiteral("a\\b"), R"("a\\b")"},
        {"short escapes", QStringLiteral("\n\r\t\b\f"), R"("\n\r\t\b\f")"},
        {"other controls", QString(QChar(1)) + QChar(0x1f) + QChar(0), R"("\u0001\u001f\u0000")"},
        {"DEL stays", QString(QChar(0x7f)), "\"\x7f\""},
        {"line separators", QString(QChar(0x2028)) + QChar(0x2029), R"("\u2028\u2029")"},
        {"slash stays", QStringLiteral("1/2"), R"("1/2")"},
        {"Japanese", QStringLiteral("令和元年 ○"), "\"令和元年 ○\""},
        {"emoji", QStringLiteral("🌕"), "\"🌕\""},
        {"lone high surrogate", QString(QChar(0xD83C)) + u'x', "\"\xEF\xBF\xBDx\""},
        {"lone low surrogate", QString(QChar(0xDF15)), "\"\xEF\xBF\xBD\""},
        {"reversed pair", QString(QChar(0xDF15)) + QChar(0xD83C), "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(jsonString(row.text), row.expected) << row.name;
}

TEST(ClockJson, EveryCodeUnitRoundTripsThroughAJsonReader)
{
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        // Planes above the first in steps, to keep the test short; each is a surrogate pair.
        if (c > 0xFFFF && (c & 0xFFF) != 0x123)
            continue;
        const QString text = QStringLiteral("<") + QString::fromUcs4(&c, 1) + QStringLiteral(">");
        const QByteArray line = outputLine(text, true);
        ASSERT_TRUE(line.endsWith('\n'));
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << "U+" << std::hex << unsigned(c);
        ASSERT_EQ(doc.object().value(u"text").toString(), text) << "U+" << std::hex << unsigned(c);
        ASSERT_EQ(doc.object().size(), 1);
    }
}

TEST(ClockOutput, LinesAreUtf8WithOneLineFeed)
{
    EXPECT_EQ(outputLine(QStringLiteral("13:05"), false), "13:05\n");
    EXPECT_EQ(outputLine(QString(), false), "\n");
    EXPECT_EQ(outputLine(QStringLiteral("平成31年"), false), "平成31年\n");
    EXPECT_EQ(outputLine(QString(QChar(0xD800)), false), "\xEF\xBF\xBD\n");
    EXPECT_EQ(outputLine(QStringLiteral("a\"b"), true), "{\"text\": \"a\\\"b\"}\n");
}

TEST(ClockHost, KeyForm)
{
    EXPECT_FALSE(keyHasSeconds(u"13:5"));
    EXPECT_FALSE(keyHasSeconds(u"0:0"));
    EXPECT_TRUE(keyHasSeconds(u"13:5:9"));
    EXPECT_TRUE(keyHasSeconds(u"0:0:0"));
    EXPECT_FALSE(keyHasSeconds(u""));
}

TEST(ClockHost, NextKeyChangeIsTheNextSecondOrLocalMinute)
{
    struct Row {
        const char* name;
        const char* zone;
        qint64 now;
        bool seconds;
        qint64 expected;
    };
    // 986011509 is 2001-03-31 04:05:09 UTC; 986050800 is 2001-04-01 00:00:00 in Tokyo.
    const Row rows[] = {
        {"seconds", "Asia/Tokyo", 986011509, true, 986011510},
        {"seconds at a whole minute", "Asia/Tokyo", 986011500, true, 986011501},
        {"minute", "Asia/Tokyo", 986011509, false, 986011560},
        {"minute from its first second", "Asia/Tokyo", 986011500, false, 986011560},
        {"minute from its last second", "Asia/Tokyo", 986011559, false, 986011560},
        {"minute in UTC", "UTC", 986011509, false, 986011560},
        {"half-hour zone", "Asia/Kolkata", 986011509, false, 986011560},
        // An offset of whole seconds: local minutes start 30 s into the UTC minute.
        {"offset with seconds", "<+0000030>-00:00:30", 986011509, false, 986011530},
        {"offset with seconds, just past", "<+0000030>-00:00:30", 986011530, false, 986011590},
        // Liberia kept -00:44:30 until 1972: the epoch was 23:15:30 local time.
        {"historic offset", "Africa/Monrovia", 0, false, 30},
        {"before 1970", "Asia/Tokyo", -1, false, 0},
        {"clock set to midnight", "Asia/Tokyo", 986050800, false, 986050860},
    };
    for (const Row& row : rows) {
        ZoneScope zone(row.zone);
        EXPECT_EQ(nextKeyChange(row.now, row.seconds), row.expected) << row.name;
    }
}

TEST(ClockHost, OnlyTheSettingsFileItselfCountsAsAChange)
{
    const QString file = QStringLiteral("Tamo for Windows NT%2F95.ini");
    EXPECT_TRUE(isSettingsFileEvent(file, file));
    // Reading the settings opens the lock file: counting it would reload for ever.
    EXPECT_FALSE(isSettingsFileEvent(QString(file + QStringLiteral(".lock")), file));
    EXPECT_FALSE(isSettingsFileEvent(QString(file + QStringLiteral(".Ab12Cd")), file));
    EXPECT_FALSE(isSettingsFileEvent(u"Other.ini", file));
    EXPECT_FALSE(isSettingsFileEvent(u"tamo for windows nt%2F95.ini", file));
}
