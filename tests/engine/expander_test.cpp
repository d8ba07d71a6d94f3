// The expander: literals, tokens, the time key against the date format. The fuzz target's
// kept inputs are replayed by make test (fuzz-smoke).

#include "engine/ZPModule.h"
#include "runtime/Clock.h"
#include "runtime/DateFormat.h"
#include "support/FakeMessageBox.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace zp;

namespace {

// 2001-03-29 (a Thursday, moon age 4) 13:05:09.
class Expander : public testing::Test {
protected:
    void SetUp() override { vb::setFixedNow(vb::DateValue(2001, 3, 29, 13, 5, 9)); }
    void TearDown() override { vb::setFixedNow(std::nullopt); }
    FakeMessageBox boxes;
};

// `expected` is null where the text depends on the machine.
struct Row { const char* name; const char16_t* format; const char16_t* expected; const char16_t* timeKey; };

void check(std::initializer_list<Row> rows)
{
    for (const Row& r : rows) {
        QString key = QStringLiteral("stale");
        const QString text = FromZPFToShowClk(QString::fromUtf16(r.format), key);
        if (r.expected) {
            EXPECT_EQ(text, QString::fromUtf16(r.expected)) << r.name;
        }
        EXPECT_EQ(key, QString::fromUtf16(r.timeKey)) << r.name;
    }
}

} // namespace

TEST_F(Expander, LiteralsEscapesAndTokens)
{
    check({
        {"empty", u"", u"", u"13:5"},
        {"plain text copied whole", u"今日は😀abc", u"今日は😀abc", u"13:5"},
        {"trailing opening percent", u"abc%", u"abc", u"13:5"},
        {"escaped token", u"\\%h\\%", u"%h%", u"13:5"},
        {"trailing backslash", u"a\\", u"a", u"13:5"},
        {"empty pairs, literal, opening", u"%%%%h%", u"h", u"13:5"},
        {"literal ZPErr", u"ZPErr", u"ZPErr", u"13:5"},
        {"literals between tokens", u"%h:nn%/%d% %aaa%", u"13:05/29 木", u"13:5"},
        {"one-character tokens side by side", u"%h%%n%%s%", u"1359", u"13:5:9"},
        {"after surrogate pairs", u"😀%h%😀%nn%", u"😀13😀05", u"13:5"},
        {"percent right after an escape", u"\\\\%h%", u"\\13", u"13:5"},
        {"twelve-hour", u"%tt_h:nn% %t%", u"1:05 1", u"13:5"},
        {"ttttt is a t token showing seconds", u"%ttttt%", u"1t", u"13:5:9"},
        {"T goes to the date format", u"%T%", u"T", u"13:5"},
        {"extended hour above the boundary", u"%kk5h:nn%", u"13:05", u"13:5"},
        {"moon age ignores the rest", u"%o% %oyyyy%", u"4 4", u"13:5"},
        {"moon glyph", u"%rr%", u" )", u"13:5"},
        {"resource token without a pool", u"%RX%", u"0", u"13:5"},
        // Seconds in the key: a lower-case s anywhere, or a seconds field, but not a pool's S.
        {"lower-case s in an o token", u"%os%", u"4", u"13:5:9"},
        {"c and TTTTT show seconds", u"%c% %TTTTT%", u"2001/03/29 13:05:09 13:05:09", u"13:5:9"},
        {"resource S is no seconds", u"%RS%", nullptr, u"13:5"},
        {"quoted s is no field", u"%\"S\"%", u"S", u"13:5"},
    });
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(Expander, UnclosedTokenGivesTheSentinelWithoutAReport)
{
    check({
        {"literal then unclosed", u"abc%d", u"ZPErr", u"13:5"},
        {"after a good token", u"%h%x%nn", u"ZPErr", u"13:5"},
        {"key keeps the seconds form", u"%ss%%h", u"ZPErr", u"13:5:9"},
        {"unclosed after a surrogate pair", u"😀%h", u"ZPErr", u"13:5"},
    });
    EXPECT_TRUE(boxes.shown.isEmpty());
}

// The key is built without the date format, yet is its "h:n" or "h:n:s", and written into a
// key that shares its buffer with a copy, it leaves the copy alone.
TEST_F(Expander, TimeKeyIsTheDateFormatsHourAndMinute)
{
    QString key = QStringLiteral("12:34:56");
    key.detach();
    const QString copy = key;
    for (int hour = 0; hour < 24; ++hour) {
        for (const int minute : {0, 9, 10, 59}) {
            for (const int second : {0, 9, 10, 59}) {
                const vb::DateValue instant(2001, 3, 29, hour, minute, second);
                vb::setFixedNow(instant);
                FromZPFToShowClk(QStringLiteral("%h%"), key);
                ASSERT_EQ(key, vb::Format(instant, u"h:n")) << hour << ':' << minute << ':' << second;
                FromZPFToShowClk(QStringLiteral("%h%%ss%"), key);
                ASSERT_EQ(key, vb::Format(instant, u"h:n:s")) << hour << ':' << minute << ':' << second;
            }
        }
    }
    EXPECT_EQ(copy, u"12:34:56");
}

TEST_F(Expander, OneInstantForTheWholeExpansion)
{
    // 23:59:59 on the last day of an era: every token, the moon age included, sees that day.
    vb::setFixedNow(vb::DateValue(2019, 4, 30, 23, 59, 59));
    QString key;
    EXPECT_EQ(FromZPFToShowClk(QStringLiteral("%ggg%%e% %m%/%d% %o% %h:nn:ss%"), key),
              QStringLiteral("平成31 4/30 %1 23:59:59").arg((11 * ((2019 - 5) % 19) + 4 + 30 + 21) % 30));
    EXPECT_EQ(key, u"23:59:59");
}

TEST_F(Expander, AReportingTokenStillExpandsAndLongFormatsExpandCompletely)
{
    QString key;
    EXPECT_EQ(FromZPFToShowClk(QStringLiteral("[%kkXh:nn%]"), key), u"[13:05]");
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown[0].prompt.contains(u"場所:KTime-ZPModule"));

    const QString literal(100000, u'x');
    EXPECT_EQ(FromZPFToShowClk(literal, key), literal);
    EXPECT_EQ(FromZPFToShowClk(QStringLiteral("%h%").repeated(1000), key), QStringLiteral("13").repeated(1000));
}
