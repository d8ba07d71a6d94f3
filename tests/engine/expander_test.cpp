#include "engine/ZPModule.h"

#include "runtime/Clock.h"

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

TEST_F(Expander, LiteralsEscapesAndPercentSigns)
{
    check({
        {"empty", u"", u"", u"13:5"},
        {"plain text copied whole", u"今日は😀abc", u"今日は😀abc", u"13:5"},
        {"empty pairs", u"%%%%", u"", u"13:5"},
        {"odd percent signs", u"%%%", u"", u"13:5"},
        {"trailing opening percent", u"abc%", u"abc", u"13:5"},
        {"escaped token", u"\\%h\\%", u"%h%", u"13:5"},
        {"trailing backslash", u"a\\", u"a", u"13:5"},
        {"escaped backslash and letter", u"a\\\\b\\n", u"a\\bn", u"13:5"},
        {"empty pair, literal, opening", u"%%h%", u"h", u"13:5"},
        {"literal ZPErr", u"ZPErr", u"ZPErr", u"13:5"},
    });
}

TEST_F(Expander, Tokens)
{
    check({
        {"hour and minutes", u"%h:nn%", u"13:05", u"13:5"},
        {"adjacent tokens", u"%h%%nn%", u"1305", u"13:5"},
        {"literals between tokens", u"%yyyy%/%m%/%d% %aaa%", u"2001/3/29 木", u"13:5"},
        {"twelve-hour", u"%tt_h:nn% %t%", u"1:05 1", u"13:5"},
        {"ttttt is a t token showing seconds", u"%ttttt%", u"1t", u"13:5:9"},
        {"T goes to the date format", u"%T%", u"T", u"13:5"},
        {"extended hour above the boundary", u"%kk5h:nn%", u"13:05", u"13:5"},
        {"moon age ignores the rest", u"%o% %oyyyy%", u"4 4", u"13:5"},
        {"moon glyph", u"%rr%", u" )", u"13:5"},
        {"backslash inside a token", u"%a\\%b%", u"ab", u"13:5"},
        {"resource token without a pool", u"%RX%", u"0", u"13:5"},
        // Seconds in the key: a lower-case s anywhere, or a seconds field, but not a pool's S.
        {"seconds", u"%ss%", u"09", u"13:5:9"},
        {"lower-case s in an o token", u"%os%", u"4", u"13:5:9"},
        {"lower-case s in a resource token", u"%Rs%", u"0", u"13:5:9"},
        {"upper-case seconds", u"%SS%", u"09", u"13:5:9"},
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
        {"unclosed after an empty pair", u"%%%h", u"ZPErr", u"13:5"},
    });
    EXPECT_TRUE(boxes.shown.isEmpty());
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
