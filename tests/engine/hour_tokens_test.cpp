#include "engine/ZPModule.h"

#include "tests/support/FakeMessageBox.h"

#include <gtest/gtest.h>

#include <QStringList>

using vb::DateValue;

namespace {

// A Friday; the hour tokens care only for the time of day, and the rest for the date.
DateValue at(int hour, int minute, int second = 0)
{
    return DateValue(2024, 3, 15, hour, minute, second);
}

struct Row {
    const char* name;
    const char16_t* token;
    DateValue instant;
    const char16_t* expected;
};

QString promptLine(const ShownBox& box, int index)
{
    return box.prompt.split(QStringLiteral("\r\n")).value(index);
}

} // namespace

TEST(APTime, TwelveHourDialFixedPositionsAndRest)
{
    const Row rows[] = {
        // The dial runs 0 to 11: midnight and noon read 0, never 12.
        {"t at 00:30", u"t", at(0, 30), u"0"},
        {"t at 01:00", u"t", at(1, 0), u"1"},
        {"t at 11:59", u"t", at(11, 59), u"11"},
        {"t at 12:00", u"t", at(12, 0), u"0"},
        {"t at 13:05", u"t", at(13, 5), u"1"},
        {"t at 23:59", u"t", at(23, 59), u"11"},
        {"tt: empty rest appends nothing", u"tt", at(13, 5), u"1"},
        {"tt_h: empty rest appends nothing", u"tt_h", at(13, 5), u"1"},
        // Palette shapes and the typed two-digit form.
        {"tt_h:nn", u"tt_h:nn", at(13, 5), u"1:05"},
        {"tt_hh:nn", u"tt_hh:nn", at(13, 5), u"01:05"},
        {"tt_hh at 09:00", u"tt_hh", at(9, 0), u"09"},
        {"tt_hh:nn at midnight", u"tt_hh:nn", at(0, 0), u"00:00"},
        {"tt_hh:nn at noon", u"tt_hh:nn", at(12, 0), u"00:00"},
        {"tt_h:nn:ss", u"tt_h:nn:ss", at(21, 7, 9), u"9:07:09"},
        // Positions 2 and 3 are ignored, position 4 is skipped unless 4 and 5 are "hh".
        {"tX_h:nn reads as tt_h:nn", u"tX_h:nn", at(13, 5), u"1:05"},
        {"tt_Q:nn reads as tt_h:nn", u"tt_Q:nn", at(13, 5), u"1:05"},
        {"tthh:nn: positions 4 and 5 hold h and a colon", u"tthh:nn", at(13, 5), u"1:05"},
        {"hh is case-sensitive: HH starts the rest at 5", u"tt_HH:nn", at(13, 5), u"113:05"},
        // The rest is a date format of its own, of the same instant.
        {"rest shows the calendar day", u"tt_h d", at(13, 5), u"1 15"},
        {"rest does not see the hour code: mm is the month", u"tt_h:mm", at(13, 5), u"1:03"},
    };
    FakeMessageBox boxes;
    for (const Row& r : rows)
        EXPECT_EQ(zp::APTime(r.instant, QString::fromUtf16(r.token)), QString::fromUtf16(r.expected)) << r.name;
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST(KTime, ExtendedHourBelowTheBoundary)
{
    const Row rows[] = {
        {"kk1h:nn after midnight", u"kk1h:nn", at(0, 30), u"24:30"},
        {"kk1h:nn at the boundary", u"kk1h:nn", at(1, 0), u"1:00"},
        {"kk5hh:nn below the boundary", u"kk5hh:nn", at(4, 59), u"28:59"},
        {"kk5hh:nn at the boundary", u"kk5hh:nn", at(5, 0), u"05:00"},
        {"kk5hh after noon", u"kk5hh", at(23, 0), u"23"},
        {"kk0h:nn at midnight: boundary 0 never shifts", u"kk0h:nn", at(0, 0), u"0:00"},
        {"kk0h:nn at 23:59", u"kk0h:nn", at(23, 59), u"23:59"},
        {"kk9h at midnight", u"kk9h", at(0, 0), u"24"},
        {"kk9h at 08:59", u"kk9h", at(8, 59), u"32"},
        {"kk9h at 09:00", u"kk9h", at(9, 0), u"9"},
        {"kk1: the extended hour alone", u"kk1", at(0, 30), u"24"},
        {"kk1 in the afternoon", u"kk1", at(13, 0), u"13"},
        {"kk5h:nn:ss", u"kk5h:nn:ss", at(2, 3, 4), u"26:03:04"},
        {"position 2 is ignored", u"kX5h:nn", at(4, 0), u"28:00"},
        {"position 4 is not examined", u"kk5Q:nn", at(4, 0), u"28:00"},
        // The rest is not shifted with the hour: 02:00 on the 15th reads 26 of the 15th.
        {"rest keeps the calendar day", u"kk5h d", at(2, 0), u"26 15"},
    };
    FakeMessageBox boxes;
    for (const Row& r : rows)
        EXPECT_EQ(zp::KTime(r.instant, QString::fromUtf16(r.token)), QString::fromUtf16(r.expected)) << r.name;
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST(KTime, ABoundaryThatIsNoNumberReportsOnceAndReadsTheTwentyFourHourClock)
{
    const Row rows[] = {
        {"k: third character missing", u"k", at(0, 30), u"0"},
        {"kk: third character missing", u"kk", at(13, 5), u"13"},
        {"kkXh:nn after midnight", u"kkXh:nn", at(0, 30), u"0:30"},
        {"kkXh:nn in the afternoon", u"kkXh:nn", at(13, 5), u"13:05"},
        {"kkXhh:nn keeps the two-digit hour", u"kkXhh:nn", at(4, 5), u"04:05"},
        {"a blank is no number", u"kk h:nn", at(0, 30), u"0:30"},
        {"a sign alone is no number", u"kk-h:nn", at(0, 30), u"0:30"},
    };
    for (const Row& r : rows) {
        FakeMessageBox boxes;
        EXPECT_EQ(zp::KTime(r.instant, QString::fromUtf16(r.token)), QString::fromUtf16(r.expected)) << r.name;
        ASSERT_EQ(boxes.shown.size(), 1) << r.name;
        const ShownBox& box = boxes.shown.front();
        EXPECT_EQ(box.title, u"エラー - TamoZP") << r.name;
        EXPECT_EQ(box.style, 4112) << r.name;
        EXPECT_EQ(promptLine(box, 0), u"エラー番号:13") << r.name;
        EXPECT_EQ(promptLine(box, 1), u"場所:KTime-ZPModule1.33.2485") << r.name;
    }
}

TEST(KTime, EachExpansionReportsAgain)
{
    FakeMessageBox boxes;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(zp::KTime(at(1, 2), QStringLiteral("kkXh:nn")), u"1:02");
    EXPECT_EQ(boxes.shown.size(), 3);
}

// Every hour of the day against the rules written out independently.
TEST(HourTokens, EveryHourMatchesTheTwelveHourAndExtendedHourRules)
{
    FakeMessageBox boxes;
    for (int hour = 0; hour < 24; ++hour) {
        const DateValue instant = at(hour, 7);
        const QString twelve = QString::number(hour % 12);
        EXPECT_EQ(zp::APTime(instant, QStringLiteral("tt_h:nn")), twelve + QStringLiteral(":07")) << hour;
        EXPECT_EQ(zp::APTime(instant, QStringLiteral("tt_hh")), twelve.rightJustified(2, u'0')) << hour;
        for (int boundary = 0; boundary <= 9; ++boundary) {
            const int extended = hour < boundary ? hour + 24 : hour;
            const QString digit = QString::number(boundary);
            EXPECT_EQ(zp::KTime(instant, QStringLiteral("kk") + digit + QStringLiteral("h:nn")),
                      QString::number(extended) + QStringLiteral(":07"))
                << hour << " " << boundary;
            EXPECT_EQ(zp::KTime(instant, QStringLiteral("kk") + digit + QStringLiteral("hh")), QString::number(extended).rightJustified(2, u'0'))
                << hour << " " << boundary;
        }
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
}
