#include "engine/Reports.h"
#include "engine/ZPModule.h"

#include "runtime/Integer.h"

#include "support/FakeMessageBox.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace zp;

TEST(MoonAge, KnownDates)
{
    struct Row {
        const char16_t* date;
        qint16 age;
        const char16_t* glyph;
    };
    const Row rows[] = {
        {u"03-29-2001", 4, u" )"},  {u"01-06-2000", 28, u"-*"}, {u"12-31-1999", 22, u"(|"},
        {u"01-01-2005", 18, u"○"},  {u"01-01-2004", 7, u"|)"},  {u"01-01-1900", 27, u"( "},
        {u"01-01-2001", 4, u" )"},  {u"03-29-2020", 4, u" )"},  {u"2001/03/29", 4, u" )"},
        {u"2001-03-29", 4, u" )"},
    };
    FakeMessageBox boxes;
    for (const Row& r : rows) {
        const QString date = QString::fromUtf16(r.date);
        SCOPED_TRACE(date.toStdString());
        const qint16 age = MoonAge(date);
        EXPECT_EQ(age, r.age);
        EXPECT_EQ(MoonGraphic(age), QString::fromUtf16(r.glyph));
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
}

// The closed form holds for every year the runtime's dates cover; no step may overflow.
TEST(MoonAge, ClosedFormForEveryYear)
{
    FakeMessageBox boxes;
    const int months[] = {1, 2, 6, 12};
    const int days[] = {1, 15, 28};
    for (int y = 100; y <= 9999; ++y) {
        for (int m : months) {
            for (int d : days) {
                const int expected = (11 * (((y - 5) % 19 + 19) % 19) + m + d + 21) % 30;
                ASSERT_EQ(MoonAge(QString::asprintf("%02d-%02d-%04d", m, d, y)), expected)
                    << y << '-' << m << '-' << d;
            }
        }
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST(MoonAge, TextThatIsNoDateGivesZeroAfterTwoReports)
{
    FakeMessageBox boxes;
    EXPECT_EQ(MoonAge(QStringLiteral("not a date")), 0);
    ASSERT_EQ(boxes.shown.size(), 2);
    for (const ShownBox& box : boxes.shown) {
        EXPECT_TRUE(box.prompt.startsWith(QStringLiteral("エラー番号:13\r\n場所:MoonAge-ZPModule1.33.2485\r\n")))
            << box.prompt.toStdString();
        EXPECT_EQ(box.title, u"エラー - TamoZP");
        EXPECT_EQ(box.style, 4112);
    }
}

TEST(MoonGraphic, RangesAndBounds)
{
    struct Row {
        qint16 age;
        const char16_t* glyph;
    };
    const Row rows[] = {
        {0, u"*-"},  {3, u"*-"},  {4, u" )"},  {6, u" )"},  {7, u"|)"},  {10, u"|)"},
        {11, u"○"},  {20, u"○"},  {21, u"(|"}, {24, u"(|"}, {25, u"( "}, {27, u"( "},
        {28, u"-*"}, {30, u"-*"}, {31, u"??"}, {32767, u"??"}, {-1, u""}, {-32768, u""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(MoonGraphic(r.age), QString::fromUtf16(r.glyph)) << r.age;
    EXPECT_EQ(MoonGraphic(15).size(), 1) << "the full moon is one character";
}

TEST(Reports, EngineAndWindowTexts)
{
    const vb::Error error{6, QStringLiteral("オーバーフローしました。")};
    const QString tail = QStringLiteral(
        "\r\n上記の説明と、エラーの発生したときの簡単な状況を書いて、"
        "\r\n\"Tamo Zephyr Panel サポート\" <support@tamo-zp.example.org> まで連絡してください。");
    EXPECT_EQ(engineReportText(QStringLiteral("KTime"), error),
              QStringLiteral("エラー番号:6\r\n場所:KTime-ZPModule1.33.2485\r\nオーバーフローしました。") + tail);
    EXPECT_EQ(windowReportText(QStringLiteral("frmMain_Load"), error),
              QStringLiteral("エラー番号:6\r\n場所:frmMain_Load - TamoZP133\r\nオーバーフローしました。") + tail);
    // Versions with short minor and revision numbers, and a place kept exactly as passed.
    const vb::Version v{1, 3, 7};
    EXPECT_TRUE(engineReportText(QStringLiteral(" P "), error, v).contains(u"場所: P -ZPModule1.03.0007\r\n"));
    EXPECT_TRUE(windowReportText(QStringLiteral(" P "), error, v).contains(u"場所: P  - TamoZP13\r\n"));
    // An empty description still gives five lines.
    EXPECT_EQ(engineReportText(QStringLiteral("X"), vb::Error{5, QString()}).split(QStringLiteral("\r\n")).size(), 5);
    EXPECT_EQ(engineReportText(QStringLiteral("X"), vb::Error{5, QString()}).split(QStringLiteral("\r\n"))[2], u"");
}

TEST(Reports, ShownAsCriticalSystemModalBoxes)
{
    FakeMessageBox boxes;
    engineReport(QStringLiteral("GetZPF"), vb::Error{75, QStringLiteral("d")});
    windowReport(QStringLiteral("frmMain!SetZP"), vb::Error{70, QStringLiteral("d")});
    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_EQ(boxes.shown[0].title, u"エラー - TamoZP");
    EXPECT_EQ(boxes.shown[0].style, 4112);
    EXPECT_TRUE(boxes.shown[0].prompt.contains(u"場所:GetZPF-ZPModule"));
    EXPECT_EQ(boxes.shown[1].title, u"エラー - TamoZP");
    EXPECT_EQ(boxes.shown[1].style, 4112);
    EXPECT_TRUE(boxes.shown[1].prompt.contains(u"場所:frmMain!SetZP - TamoZP133"));
}
