// The tokens one by one: hours, the moon, the resource pools over the stand-in meters of
// tests/rsrc32, and the reports they raise.

#include "engine/Reports.h"
#include "engine/ResourceMeter.h"
#include "engine/ZPModule.h"
#include "support/FakeMessageBox.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace zp;
using vb::DateValue;

namespace {

// A Friday, the 15th.
DateValue at(int hour, int minute) { return DateValue(2024, 3, 15, hour, minute, 0); }

struct Row { const char* name; const char16_t* token; DateValue instant; const char16_t* expected; };

// The stand-in meter answers 85 for kind 0, -1 for kind 1 and 150 for kind 2.
const QString kFake = QStringLiteral(TAMO_FAKE_METER);

class FreeSysResourceTest : public testing::Test {
protected:
    void TearDown() override { setResourceMeterLibrary(QString()); }
    FakeMessageBox boxes;
};

} // namespace

TEST(HourTokens, EveryHourMatchesTheTwelveHourAndExtendedHourRules)
{
    FakeMessageBox boxes;
    for (int hour = 0; hour < 24; ++hour) {
        const DateValue instant = at(hour, 7);
        const QString twelve = QString::number(hour % 12); // midnight and noon read 0, never 12
        EXPECT_EQ(APTime(instant, QStringLiteral("tt_h:nn")), twelve + QStringLiteral(":07")) << hour;
        EXPECT_EQ(APTime(instant, QStringLiteral("tt_hh")), twelve.rightJustified(2, u'0')) << hour;
        for (int boundary = 0; boundary <= 9; ++boundary) {
            const QString extended = QString::number(hour < boundary ? hour + 24 : hour);
            const QString kk = QStringLiteral("kk") + QString::number(boundary);
            EXPECT_EQ(KTime(instant, kk + QStringLiteral("h:nn")), extended + QStringLiteral(":07"))
                << hour << " " << boundary;
            EXPECT_EQ(KTime(instant, kk + QStringLiteral("hh")), extended.rightJustified(2, u'0'))
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
        EXPECT_EQ(APTime(r.instant, QString::fromUtf16(r.token)), QString::fromUtf16(r.expected)) << r.name;
    for (const Row& r : kRows)
        EXPECT_EQ(KTime(r.instant, QString::fromUtf16(r.token)), QString::fromUtf16(r.expected)) << r.name;
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
        EXPECT_EQ(KTime(r.instant, QString::fromUtf16(r.token)), QString::fromUtf16(r.expected)) << r.name;
        ASSERT_EQ(boxes.shown.size(), &r - rows + 1) << r.name;
        EXPECT_TRUE(boxes.shown.back().prompt.startsWith(u"エラー番号:13\r\n場所:KTime-ZPModule1.33.2485\r\n")) << r.name;
    }
}

// No step may overflow in any year the runtime's dates cover.
TEST(MoonAge, ClosedFormForEveryYear)
{
    FakeMessageBox boxes;
    for (int y = 100; y <= 9999; ++y) {
        for (int m : {1, 2, 6, 12}) {
            for (int d : {1, 15, 28}) {
                const int expected = (11 * (((y - 5) % 19 + 19) % 19) + m + d + 21) % 30;
                ASSERT_EQ(MoonAge(QString::asprintf("%02d-%02d-%04d", m, d, y)), expected) << y << '-' << m << '-' << d;
            }
        }
    }
    EXPECT_EQ(MoonAge(QStringLiteral("2001/03/29")), 4);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST(MoonAge, TextThatIsNoDateGivesZeroAfterTwoReports)
{
    FakeMessageBox boxes;
    EXPECT_EQ(MoonAge(QStringLiteral("not a date")), 0);
    ASSERT_EQ(boxes.shown.size(), 2);
    for (const ShownBox& box : boxes.shown)
        EXPECT_TRUE(box.prompt.startsWith(u"エラー番号:13\r\n場所:MoonAge-ZPModule1.33.2485\r\n")) << box.prompt.toStdString();
}

TEST(MoonGraphic, RangesAndBounds)
{
    const std::pair<qint16, const char16_t*> rows[] = {
        {0, u"*-"},  {3, u"*-"},  {4, u" )"},  {6, u" )"},  {7, u"|)"},  {10, u"|)"},  {11, u"○"},  {20, u"○"},  {21, u"(|"},
        {24, u"(|"}, {25, u"( "}, {27, u"( "}, {28, u"-*"}, {30, u"-*"}, {31, u"??"}, {32767, u"??"}, {-1, u""}, {-32768, u""},
    };
    for (const auto& [age, glyph] : rows)
        EXPECT_EQ(MoonGraphic(age), QString::fromUtf16(glyph)) << age;
}

TEST(Reports, Texts)
{
    const vb::Error error{6, QStringLiteral("オーバーフローしました。")};
    EXPECT_EQ(engineReportText(QStringLiteral("KTime"), error),
              QStringLiteral("エラー番号:6\r\n場所:KTime-ZPModule1.33.2485\r\nオーバーフローしました。\r\n上記の説明と、"
                             "エラーの発生したときの簡単な状況を書いて、\r\n\"Tamo Zephyr Panel サポート\" "
                             "<support@tamo-zp.example.org> まで連絡してください。"));
    EXPECT_TRUE(windowReportText(QStringLiteral("frmMain_Load"), error).startsWith(u"エラー番号:6\r\n場所:frmMain_Load - TamoZP133\r\n"));
    const vb::Version v{1, 3, 7};
    EXPECT_TRUE(engineReportText(QStringLiteral("P"), error, v).contains(u"場所:P-ZPModule1.03.0007\r\n"));
    EXPECT_TRUE(windowReportText(QStringLiteral("P"), error, v).contains(u"場所:P - TamoZP13\r\n"));
}

TEST_F(FreeSysResourceTest, TheFirstTwoCharactersSelectThePool)
{
    setResourceMeterLibrary(kFake);
    for (const char16_t* token : {u"R", u"Rs", u"rS", u""})
        EXPECT_EQ(FreeSysResource(QString::fromUtf16(token)), u"0") << QString::fromUtf16(token).toStdString();
    EXPECT_EQ(resourceMeter().bindAttempts(), 0) << "a token that selects no pool binds nothing";

    // The meter's answer as it is; the rest of the token is ignored.
    for (const auto& [token, expected] : {std::pair{u"RS", u"85"}, {u"RG:nn", u"-1"}, {u"RUU", u"150"}})
        EXPECT_EQ(FreeSysResource(QString::fromUtf16(token)), QString::fromUtf16(expected))
            << QString::fromUtf16(token).toStdString();
    EXPECT_EQ(resourceMeter().bindAttempts(), 1);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(FreeSysResourceTest, MissingMeterReadsZeroSilentlyUntilItAppears)
{
    QTemporaryDir dir;
    setResourceMeterLibrary(dir.filePath(QStringLiteral("librsrc32.so")));
    EXPECT_EQ(FreeSysResource(QStringLiteral("RS")) + FreeSysResource(QStringLiteral("RU")), u"00");
    EXPECT_TRUE(boxes.shown.isEmpty()) << "a missing meter is no error";
    ASSERT_TRUE(QFile::copy(kFake, dir.filePath(QStringLiteral("librsrc32.so"))));
    EXPECT_EQ(FreeSysResource(QStringLiteral("RU")), u"150") << "the meter that appeared is bound";
}

TEST_F(FreeSysResourceTest, MeterWithoutTheEntryReportsOncePerTokenAndReadsZero)
{
    setResourceMeterLibrary(QStringLiteral(TAMO_METER_WITHOUT_ENTRY));
    EXPECT_EQ(FreeSysResource(QStringLiteral("RS")), u"0");
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown[0].prompt.startsWith(u"エラー番号:453\r\n場所:FreeSysResource-ZPModule1.33.2485\r\n"));
    EXPECT_EQ(FreeSysResource(QStringLiteral("RU")), u"0");
    EXPECT_EQ(boxes.shown.size(), 2) << "still unbound: the next token tries, and reports, again";
}
