#include "engine/ZPModule.h"

#include "runtime/Clock.h"

#include "support/FakeMessageBox.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace zp;

namespace {

struct Row {
    const char* name;
    const char16_t* format;
    const char16_t* expected; // null: not compared
    const char16_t* timeKey;
};

// 2001-03-29 (a Thursday, moon age 4) 13:05:09.
const vb::DateValue kInstant(2001, 3, 29, 13, 5, 9);

class Expander : public testing::Test {
protected:
    void SetUp() override { vb::setFixedNow(kInstant); }
    void TearDown() override { vb::setFixedNow(std::nullopt); }

    void check(const Row* rows, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            const Row& r = rows[i];
            SCOPED_TRACE(r.name);
            QString key = QStringLiteral("stale");
            const QString text = FromZPFToShowClk(QString::fromUtf16(r.format), key);
            if (r.expected) { // null where the text depends on the machine
                EXPECT_EQ(text, QString::fromUtf16(r.expected));
            }
            EXPECT_EQ(key, QString::fromUtf16(r.timeKey));
        }
    }
    FakeMessageBox boxes;
};

} // namespace

TEST_F(Expander, LiteralsEscapesAndPercentSigns)
{
    const Row rows[] = {
        {"empty", u"", u"", u"13:5"},
        {"plain text", u"abc", u"abc", u"13:5"},
        {"japanese", u"今日は晴れ", u"今日は晴れ", u"13:5"},
        {"emoji pair copied whole", u"a😀b", u"a😀b", u"13:5"},
        {"empty pair", u"%%", u"", u"13:5"},
        {"two empty pairs", u"%%%%", u"", u"13:5"},
        {"odd percent signs", u"%%%", u"", u"13:5"},
        {"trailing opening percent", u"abc%", u"abc", u"13:5"},
        {"escaped token", u"\\%h\\%", u"%h%", u"13:5"},
        {"escape before percent then token", u"\\%h", u"%h", u"13:5"},
        {"trailing backslash", u"a\\", u"a", u"13:5"},
        {"doubled backslash", u"a\\\\b", u"a\\b", u"13:5"},
        {"escaped letter", u"\\n", u"n", u"13:5"},
        {"empty pair then literal", u"%%h", u"h", u"13:5"},
        {"empty pair, literal, opening", u"%%h%", u"h", u"13:5"},
        {"literal ZPErr", u"ZPErr", u"ZPErr", u"13:5"},
    };
    check(rows, std::size(rows));
}

TEST_F(Expander, Tokens)
{
    const Row rows[] = {
        {"hour and minutes", u"%h:nn%", u"13:05", u"13:5"},
        {"adjacent tokens", u"%h%%nn%", u"1305", u"13:5"},
        {"literal between tokens", u"%h%:%nn%", u"13:05", u"13:5"},
        {"date", u"%yyyy%/%m%/%d%", u"2001/3/29", u"13:5"},
        {"weekday", u"%aaa%", u"木", u"13:5"},
        {"seconds", u"%ss%", u"09", u"13:5:9"},
        {"twelve-hour", u"%tt_h:nn%", u"1:05", u"13:5"},
        {"twelve-hour alone", u"%t%", u"1", u"13:5"},
        {"ttttt is a t token showing seconds", u"%ttttt%", u"1t", u"13:5:9"},
        {"T goes to the date format", u"%T%", u"T", u"13:5"},
        {"extended hour above the boundary", u"%kk5h:nn%", u"13:05", u"13:5"},
        {"moon age", u"%o%", u"4", u"13:5"},
        {"moon age ignores the rest", u"%oyyyy%", u"4", u"13:5"},
        {"moon glyph", u"%rr%", u" )", u"13:5"},
        {"backslash inside a token", u"%a\\%b%", u"ab", u"13:5"},
        {"issue example", u"%o% %rr% %tt_h:nn%", u"4  ) 1:05", u"13:5"},
        {"resource token without s", u"%RX%", u"0", u"13:5"},
    };
    check(rows, std::size(rows));
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(Expander, TimeKeyTakesSecondsFromAnyTokenThatShowsThem)
{
    const Row rows[] = {
        {"lower-case s in an o token", u"%os%", u"4", u"13:5:9"},
        {"lower-case s in a t token", u"%tt_h:nn:ss%", u"1:05:09", u"13:5:9"},
        {"lower-case s in a resource token", u"%Rs%", u"0", u"13:5:9"},
        {"upper-case seconds", u"%SS%", u"09", u"13:5:9"},
        {"c shows seconds", u"%c%", u"2001/03/29 13:05:09", u"13:5:9"},
        {"TTTTT shows seconds", u"%TTTTT%", u"13:05:09", u"13:5:9"},
        {"resource S is no seconds", u"%RS%", nullptr, u"13:5"},
        {"quoted s is no field", u"%\"S\"%", u"S", u"13:5"},
        {"seconds token among others", u"%h%:%nn%:%ss% %yyyy%", u"13:05:09 2001", u"13:5:9"},
    };
    check(rows, std::size(rows));
}

TEST_F(Expander, UnclosedTokenGivesTheSentinelWithoutAReport)
{
    const Row rows[] = {
        {"literal then unclosed", u"abc%d", u"ZPErr", u"13:5"},
        {"unclosed at start", u"%h", u"ZPErr", u"13:5"},
        {"after a good token", u"%h%x%nn", u"ZPErr", u"13:5"},
        {"key keeps the seconds form", u"%ss%%h", u"ZPErr", u"13:5:9"},
        {"unclosed after an empty pair", u"%%%h", u"ZPErr", u"13:5"},
    };
    check(rows, std::size(rows));
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

TEST_F(Expander, KTimeReportDoesNotMakeTheFormatMalformed)
{
    QString key;
    EXPECT_EQ(FromZPFToShowClk(QStringLiteral("[%kkXh:nn%]"), key), u"[13:05]");
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown[0].prompt.contains(u"場所:KTime-ZPModule"));
}

TEST_F(Expander, LongFormatsExpandCompletely)
{
    QString key;
    const QString literal(100000, u'x');
    EXPECT_EQ(FromZPFToShowClk(literal, key), literal);
    QString tokens;
    for (int i = 0; i < 1000; ++i)
        tokens += QStringLiteral("%h%");
    EXPECT_EQ(FromZPFToShowClk(tokens, key), QString(QStringLiteral("13")).repeated(1000));
}
