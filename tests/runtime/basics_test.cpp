// Report and resume, the program's end on an error no guard handles, text functions, checked
// integers, conversions (data/conversion.tsv) and the number format.

#include "runtime/Guard.h"
#include "runtime/Integer.h"
#include "runtime/NumberFormat.h"
#include "runtime/Program.h"
#include "runtime/Text.h"
#include "support/Common.h"
#include "support/QtPrinters.h"
#include "support/Rows.h"

#include <gtest/gtest.h>

#include <QList>

#include <cmath>
#include <functional>
#include <limits>

using namespace vb;

namespace {

QList<std::pair<QString, qint32>> g_reports;

void recordReport(const QString& place, const Error& e) { g_reports.append({place, e.number}); }

} // namespace

TEST(Guard, ReportsOrHandsOverAndResumesKeepingTheOldValue)
{
    Guard guard(QStringLiteral("Place"), recordReport);
    qint32 a = 7, b = 0;
    EXPECT_FALSE(guard([&] { a = CInt(QStringLiteral("x")).value(); }));
    EXPECT_TRUE(guard([&] { b = 3; }));
    EXPECT_EQ(a, 7) << "the failed assignment never happened";
    EXPECT_EQ(b, 3) << "the next step still ran";
    EXPECT_EQ(guard.error().number, TypeMismatch);
    // A test that fails takes the guarded branch.
    EXPECT_TRUE(guard.test([] { return Int16(32767) + Int16(1) == Int16(0); }));
    EXPECT_FALSE(guard.test([] { return false; }));
    EXPECT_EQ(g_reports, (QList<std::pair<QString, qint32>>{{QStringLiteral("Place"), TypeMismatch}, {QStringLiteral("Place"), Overflow}}));

    // A handler decides instead; once it exits, every later step is skipped.
    int steps = 0;
    Guard handled([](const Error& e) { return e.number == InvalidArgument ? OnError::Exit : OnError::ResumeNext; });
    handled([&] { ++steps; raiseError(Overflow); });
    EXPECT_FALSE(handled.exited());
    handled([&] { ++steps; raiseError(InvalidArgument); });
    EXPECT_TRUE(handled.exited());
    EXPECT_FALSE(handled([&] { ++steps; }) || handled.test([] { return true; }));
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(handled.failures(), 2);
}

TEST(ProgramDeathTest, UnhandledErrorEndsWithStatusOneAndTheRuntimeMessage)
{
    EXPECT_EQ(runtimeErrorMessage({6, errorDescription(6)}), QStringLiteral("実行時エラー '6':\r\n\r\nオーバーフローしました。"));
    setProgramTitle(QStringLiteral("tamo-test"));
    EXPECT_EXIT(runMain([]() -> int { raiseError(Overflow); }), testing::ExitedWithCode(1),
                "tamo-test\n実行時エラー '6':\n\nオーバーフローしました。");
}

TEST(Text, Functions)
{
    const QString s = QStringLiteral("abc%d");
    EXPECT_EQ(Mid(s, 1, 1), u"a");
    EXPECT_EQ(Mid(s, 4), u"%d");
    EXPECT_EQ(Mid(s, 99, 3), u"");
    EXPECT_EQ(InStr(4, s, QStringLiteral("%")), 4);
    EXPECT_EQ(InStr(5, s, QStringLiteral("%")), 0);
    EXPECT_EQ(InStr(1, QStringLiteral("aS"), QStringLiteral("s")), 0) << "case-sensitive";
    EXPECT_EQ(Len(QStringLiteral("月😀")), 3) << "UTF-16 units";
    EXPECT_EQ(Trim(QStringLiteral(" \u3000a\t ")), u"\u3000a\t") << "spaces only";
    for (const auto& bad : std::initializer_list<std::function<void()>>{
             [&] { Mid(s, 0); }, [&] { Mid(s, 1, -1); }, [&] { Mid(s, 99, -1); }, [&] { Left(s, -1); },
             [&] { InStr(0, s, QStringLiteral("a")); }, [] { ChrW(-1); }, [] { ChrW(0x10000); }})
        EXPECT_EQ(errorOf(bad).number, InvalidArgument);
}

TEST(CheckedInteger, Limits)
{
    EXPECT_EQ((Int16(32766) + Int16(1)).value(), 32767);
    EXPECT_EQ((Int16(181) * Int16(181)).value(), 32761);
    for (const auto& overflow : std::initializer_list<std::function<void()>>{
             [] { Int16(32767) + Int16(1); }, [] { Int16(-32768) - Int16(1); }, [] { Int16(-32768) * Int16(-1); },
             [] { Int16(182) * Int16(181); }, [] { Int32(INT32_MAX) + Int32(1); }, [] { Int32(INT32_MIN) * Int32(-1); },
             [] { CInt(32767.5); }, [] { CLng(std::nan("")); }})
        EXPECT_EQ(errorOf(overflow).number, Overflow);
    EXPECT_EQ(CStr(Int16(-32768)), u"-32768");
    EXPECT_EQ(CStr(std::numeric_limits<qint64>::min()), u"-9223372036854775808");
    EXPECT_EQ(CInt(-2.5).value() + CInt(3.5).value(), 2) << "half to even";
    EXPECT_EQ(Int(-105.1), -106.0);
}

TEST(Conversion, TextToInteger)
{
    for (const QStringList& r : dataRows(QStringLiteral(TAMO_DATA_DIR "/conversion.tsv"), 5)) {
        qint32 v16 = 0, v32 = 0;
        EXPECT_EQ(errorOf([&] { v16 = CInt(r[1]).value(); }).number, r[3].toInt()) << r[0].toStdString();
        EXPECT_EQ(errorOf([&] { v32 = CLng(r[1]).value(); }).number, r[5].toInt()) << r[0].toStdString();
        EXPECT_EQ(QStringList({QString::number(v16), QString::number(v32)}), QStringList({r[2], r[4]})) << r[0].toStdString();
    }
}

TEST(NumberFormat, Codes)
{
    // The codes the program uses: hours, and the minor and revision of a version.
    const struct { qint64 value; const char16_t* code; const char16_t* expected; } rows[] = {
        {3, u"00", u"03"}, {123, u"00", u"123"}, {3, u"\\.00", u".03"}, {33, u"\\.00", u".33"},
        {123, u"\\.00", u".123"}, {3, u"\\.0000", u".0003"}, {2485, u"\\.0000", u".2485"}, {-3, u"\\.00", u"-.03"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FormatNumber(r.value, r.code), QString::fromUtf16(r.expected)) << r.value << ' ' << QString::fromUtf16(r.code).toStdString();
}
