#include "engine/Reports.h"
#include "engine/ZPModule.h"

#include "support/FakeMessageBox.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace zp;

// The closed form holds for every year the runtime's dates cover; no step may overflow.
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

TEST(Reports, TextsAndBoxes)
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
    EXPECT_EQ(engineReportText(QStringLiteral("X"), vb::Error{5, QString()}).split(QStringLiteral("\r\n")).value(2), u"")
        << "an empty description keeps its line";

    FakeMessageBox boxes;
    windowReport(QStringLiteral("frmMain!SetZP"), error);
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].title, u"エラー - TamoZP");
    EXPECT_EQ(boxes.shown[0].style, 4112);
    EXPECT_EQ(boxes.shown[0].prompt, windowReportText(QStringLiteral("frmMain!SetZP"), error));
}
