// The engine: the expander (data/expander.tsv) and its time key against the date format, then
// the tokens one by one: hours (data/hour_tokens.tsv), the moon, the resource pools over the
// stand-in meters of tests/rsrc32, and the reports they raise. The fuzz target's kept inputs
// are replayed by make test (fuzz-smoke).

#include "engine/Reports.h"
#include "engine/ResourceMeter.h"
#include "engine/ZPModule.h"
#include "runtime/Clock.h"
#include "runtime/DateFormat.h"
#include "support/FakeMessageBox.h"
#include "support/QtPrinters.h"
#include "support/Rows.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace zp;
using vb::DateValue;

namespace {

class Expander : public testing::Test {
protected:
    void SetUp() override { vb::setFixedNow(DateValue(2001, 3, 29, 13, 5, 9)); } // a Thursday, moon age 4
    void TearDown() override { vb::setFixedNow(std::nullopt); }
    FakeMessageBox boxes;
};

DateValue at(int hour, int minute) { return DateValue(2024, 3, 15, hour, minute, 0); } // a Friday
const QString kFake = QStringLiteral(TAMO_FAKE_METER); // 85 for kind 0, -1 for 1, 150 for 2

bool reportsAt(const ShownBox& box, int number, const char16_t* place)
{
    return box.prompt.startsWith(QStringLiteral("エラー番号:%1\r\n場所:%2-ZPModule1.33.2485\r\n").arg(number).arg(place));
}

} // namespace

TEST_F(Expander, LiteralsEscapesTokensAndUnclosedTokens)
{
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/expander.tsv"), 4)) {
        QString key = QStringLiteral("stale");
        const QString text = FromZPFToShowClk(r[2], key);
        EXPECT_TRUE(r[3] == u"*" || text == r[3]) << r[0].toStdString() << ": " << r[1].toStdString() << " gave " << text.toStdString();
        EXPECT_EQ(key, r[4]) << r[0].toStdString() << ": " << r[1].toStdString();
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
}

// The key is built without the date format, yet is its "h:n" or "h:n:s", and written into a
// key that shares its buffer with a copy, it leaves the copy alone.
TEST_F(Expander, TimeKeyIsTheDateFormatsHourAndMinute)
{
    QString key = QStringLiteral("12:34:56");
    key.detach();
    const QString copy = key;
    constexpr int parts[] = {0, 9, 10, 59}; // the minutes and seconds tried with every hour
    for (int i = 0; i < 24 * 16; ++i) {
        const DateValue instant(2001, 3, 29, i / 16, parts[i / 4 % 4], parts[i % 4]);
        vb::setFixedNow(instant);
        ASSERT_EQ(FromZPFToShowClk(QStringLiteral("%h%"), key) + u'|' + key, vb::Format(instant, u"h|h:n")) << instant.hour();
        ASSERT_EQ(FromZPFToShowClk(QStringLiteral("%ss%"), key) + u'|' + key, vb::Format(instant, u"ss|h:n:s")) << instant.hour();
    }
    EXPECT_EQ(copy, u"12:34:56");
}

TEST_F(Expander, OneInstantForAllTokensAndLongFormats)
{
    // 23:59:59 on the last day of an era: every token, the moon age included, sees that day.
    vb::setFixedNow(DateValue(2019, 4, 30, 23, 59, 59));
    QString key;
    EXPECT_EQ(FromZPFToShowClk(QStringLiteral("%ggg%%e% %m%/%d% %o% %h:nn:ss%"), key), u"平成31 4/30 25 23:59:59");
    EXPECT_EQ(key, u"23:59:59");
    // A token that reports still expands: ClockOnce's "reports, in order".
    vb::setFixedNow(DateValue(2001, 3, 29, 13, 5, 9));
    const QString literal(100000, u'x');
    EXPECT_EQ(FromZPFToShowClk(literal, key), literal);
    EXPECT_EQ(FromZPFToShowClk(QStringLiteral("%h%").repeated(1000), key), QStringLiteral("13").repeated(1000));
}

TEST(HourTokens, HoursPositionsTheRestAndBoundaries)
{
    FakeMessageBox boxes;
    qsizetype reports = 0;
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/hour_tokens.tsv"), 6)) {
        const DateValue instant = at(r[4].left(2).toInt(), r[4].right(2).toInt());
        EXPECT_EQ(r[2] == u"KTime" ? KTime(instant, r[3]) : APTime(instant, r[3]), r[5]) << r[0].toStdString() << ": " << r[1].toStdString();
        ASSERT_EQ(boxes.shown.size(), reports += r[6].toInt()) << r[0].toStdString();
        EXPECT_TRUE(r[6] == u"0" || reportsAt(boxes.shown.back(), 13, u"KTime")) << r[0].toStdString();
    }
}

TEST(Moon, AgesGlyphsAndTextsThatAreNoDate)
{
    FakeMessageBox boxes;
    // 2019 gives the most negative sum before the remainder; 0105-12-31 the oldest age.
    for (const auto& [date, age] : {std::pair{u"01-01-2019", 23}, {u"12-31-2019", 4}, {u"2001/03/29", 4},
                                    {u"01-01-0100", 23}, {u"12-31-0105", 29}, {u"12-31-9999", 4}})
        EXPECT_EQ(MoonAge(QString::fromUtf16(date)), age) << QString::fromUtf16(date).toStdString();
    // No step may overflow in any year the runtime's dates cover.
    for (int y = 100; y <= 9999; ++y) {
        for (const char* monthDay : {"01-01", "12-31"}) {
            const qint16 age = MoonAge(QString::asprintf("%s-%04d", monthDay, y));
            ASSERT_TRUE(age >= 0 && age <= 29 && boxes.shown.isEmpty()) << monthDay << '-' << y << ": " << age;
        }
    }
    EXPECT_EQ(MoonAge(QStringLiteral("not a date")), 0);
    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_TRUE(reportsAt(boxes.shown[0], 13, u"MoonAge") && reportsAt(boxes.shown[1], 13, u"MoonAge"));
    // The glyphs: the first range that holds the age decides.
    const std::pair<qint16, const char16_t*> glyphs[] = {
        {0, u"*-"},  {3, u"*-"},  {4, u" )"},  {6, u" )"},  {7, u"|)"},  {10, u"|)"},  {11, u"○"},  {20, u"○"},  {21, u"(|"},
        {24, u"(|"}, {25, u"( "}, {27, u"( "}, {28, u"-*"}, {30, u"-*"}, {31, u"??"}, {32767, u"??"}, {-1, u""}, {-32768, u""},
    };
    for (const auto& [age, glyph] : glyphs)
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

// The first two characters select the pool and the meter's answer shows as it is; a token that
// selects no pool binds nothing. A missing meter reads 0 silently until it appears; one without
// the entry reports at every token, as it stays unbound.
TEST(FreeSysResource, PoolsAndMissingMeters)
{
    FakeMessageBox boxes;
    struct Reset { ~Reset() { setResourceMeterLibrary(QString()); } } reset;
    setResourceMeterLibrary(kFake);
    for (const auto& [token, expected] : {std::pair{u"R", u"0"}, {u"Rs", u"0"}, {u"rS", u"0"}, {u"", u"0"}, {u"RS", u"85"}, {u"RG:nn", u"-1"}, {u"RUU", u"150"}}) {
        EXPECT_EQ(FreeSysResource(QString::fromUtf16(token)), QString::fromUtf16(expected)) << QString::fromUtf16(token).toStdString();
        EXPECT_EQ(resourceMeter().bindAttempts(), expected[0] != u'0') << QString::fromUtf16(token).toStdString();
    }
    QTemporaryDir dir;
    setResourceMeterLibrary(dir.filePath(QStringLiteral("librsrc32.so")));
    EXPECT_EQ(FreeSysResource(QStringLiteral("RS")) + FreeSysResource(QStringLiteral("RU")), u"00");
    EXPECT_TRUE(boxes.shown.isEmpty()) << "a missing meter is no error";
    ASSERT_TRUE(QFile::copy(kFake, dir.filePath(QStringLiteral("librsrc32.so"))));
    EXPECT_EQ(FreeSysResource(QStringLiteral("RU")), u"150") << "the meter that appeared is bound";
    setResourceMeterLibrary(QStringLiteral(TAMO_METER_WITHOUT_ENTRY));
    EXPECT_EQ(FreeSysResource(QStringLiteral("RS")) + FreeSysResource(QStringLiteral("RU")), u"00");
    ASSERT_EQ(boxes.shown.size(), 2) << "still unbound: the next token tries, and reports, again";
    EXPECT_TRUE(reportsAt(boxes.shown[0], 453, u"FreeSysResource"));
}
