#include "engine/ZPModule.h"

#include "support/FakeMessageBox.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using vb::DateValue;

namespace {

// A Friday, the 15th.
DateValue at(int hour, int minute) { return DateValue(2024, 3, 15, hour, minute, 0); }

struct Row { const char* name; const char16_t* token; DateValue instant; const char16_t* expected; };

} // namespace

// Every hour of the day against the rules written out independently.
TEST(HourTokens, EveryHourMatchesTheTwelveHourAndExtendedHourRules)
{
    FakeMessageBox boxes;
    for (int hour = 0; hour < 24; ++hour) {
        const DateValue instant = at(hour, 7);
        const QString twelve = QString::number(hour % 12); // midnight and noon read 0, never 12
        EXPECT_EQ(zp::APTime(instant, QStringLiteral("tt_h:nn")), twelve + QStringLiteral(":07")) << hour;
        EXPECT_EQ(zp::APTime(instant, QStringLiteral("tt_hh")), twelve.rightJustified(2, u'0')) << hour;
        for (int boundary = 0; boundary <= 9; ++boundary) {
            const QString extended = QString::number(hour < boundary ? hour + 24 : hour);
            const QString kk = QStringLiteral("kk") + QString::number(boundary);
            EXPECT_EQ(zp::KTime(instant, kk + QStringLiteral("h:nn")), extended + QStringLiteral(":07"))
                << hour << " " << boundary;
            EXPECT_EQ(zp::KTime(instant, kk + QStringLiteral("hh")), extended.rightJustified(2, u'0'))
                << hour << " " << boundary;
        }
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
}

// Positions 2 and 3 of a "t" token are ignored, 2 and 4 of a "k" token; "hh" at 4 and 5 asks for
// two digits; the rest is a date format of its own, of the same instant.
TEST(HourTokens, FixedPositionsAndTheRest)
{
    const Row apRows[] = {
        {"t alone at noon", u"t", at(12, 0), u"0"},
        {"tXhh:nn: positions 2 and 3 are ignored, 4 and 5 hold h and a colon", u"tXhh:nn", at(13, 5), u"1:05"},
        {"hh is case-sensitive: HH starts the rest at 5", u"tt_HH:nn", at(13, 5), u"113:05"},
        {"rest does not see the hour code: mm is the month", u"tt_h:mm", at(13, 5), u"1:03"},
    };
    const Row kRows[] = {
        {"kk1: the extended hour alone", u"kk1", at(0, 30), u"24"},
        {"positions 2 and 4 are ignored", u"kX5Q:nn", at(4, 0), u"28:00"},
        {"rest keeps the calendar day", u"kk5h d", at(2, 0), u"26 15"},
    };
    FakeMessageBox boxes;
    for (const Row& r : apRows)
        EXPECT_EQ(zp::APTime(r.instant, QString::fromUtf16(r.token)), QString::fromUtf16(r.expected)) << r.name;
    for (const Row& r : kRows)
        EXPECT_EQ(zp::KTime(r.instant, QString::fromUtf16(r.token)), QString::fromUtf16(r.expected)) << r.name;
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST(KTime, ABoundaryThatIsNoNumberReportsEachTimeAndReadsTheTwentyFourHourClock)
{
    const Row rows[] = {
        {"third character missing", u"k", at(0, 30), u"0"},
        {"kkXh:nn after midnight", u"kkXh:nn", at(0, 30), u"0:30"},
        {"a sign alone is no number", u"kk-h:nn", at(0, 30), u"0:30"},
        {"the same token reports again", u"kk-h:nn", at(0, 30), u"0:30"},
    };
    FakeMessageBox boxes;
    for (const Row& r : rows) {
        EXPECT_EQ(zp::KTime(r.instant, QString::fromUtf16(r.token)), QString::fromUtf16(r.expected)) << r.name;
        ASSERT_EQ(boxes.shown.size(), &r - rows + 1) << r.name;
        EXPECT_TRUE(boxes.shown.back().prompt.startsWith(u"エラー番号:13\r\n場所:KTime-ZPModule1.33.2485\r\n")) << r.name;
    }
}
