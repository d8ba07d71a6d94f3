// Text functions, checked integers, conversions and the number format.

#include "runtime/Error.h"
#include "runtime/Integer.h"
#include "runtime/NumberFormat.h"
#include "runtime/Text.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace vb;

namespace {

template <class F>
qint32 errorOf(F f) try { f(); return 0; } catch (const Error& e) { return e.number; }

} // namespace

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
        EXPECT_EQ(errorOf(bad), InvalidArgument);
}

TEST(CheckedInteger, Limits)
{
    EXPECT_EQ((Int16(32766) + Int16(1)).value(), 32767);
    EXPECT_EQ((Int16(181) * Int16(181)).value(), 32761);
    EXPECT_EQ(errorOf([] { Int16(32767) + Int16(1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int16(-32768) - Int16(1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int16(-32768) * Int16(-1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int16(182) * Int16(181); }), Overflow);
    EXPECT_EQ(errorOf([] { Int32(INT32_MAX) + Int32(1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int32(INT32_MIN) * Int32(-1); }), Overflow);
    EXPECT_EQ(CStr(Int16(-32768)), u"-32768");
    EXPECT_EQ(CStr(std::numeric_limits<qint64>::min()), u"-9223372036854775808");
}

TEST(Conversion, TextToInteger)
{
    // A value is meaningful when its error is 0.
    const struct { const char16_t* text; qint32 value16, error16, value32, error32; } rows[] = {
        {u"  42  ", 42, 0, 42, 0},
        {u"-32768", -32768, 0, -32768, 0},
        {u"32768", 0, Overflow, 32768, 0},
        {u"-2147483648", 0, Overflow, INT32_MIN, 0},
        {u"2147483648", 0, Overflow, 0, Overflow},
        {u"2.5", 2, 0, 2, 0},
        {u"3.5", 4, 0, 4, 0},
        {u"2.51", 3, 0, 3, 0},
        {u"&hff", 255, 0, 255, 0},
        {u"&HFFFF", -1, 0, 65535, 0},
        {u"&HFFFFFFFF", 0, Overflow, -1, 0},
        {u"&O17", 15, 0, 15, 0},
        {u"", 0, TypeMismatch, 0, TypeMismatch},
        {u"1 2", 0, TypeMismatch, 0, TypeMismatch},
        {u"１２", 0, TypeMismatch, 0, TypeMismatch},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(QString::fromUtf16(r.text).toStdString());
        qint32 v16 = 0, v32 = 0;
        EXPECT_EQ(errorOf([&] { v16 = CInt(r.text).value(); }), r.error16);
        EXPECT_EQ(v16, r.error16 == 0 ? r.value16 : 0);
        EXPECT_EQ(errorOf([&] { v32 = CLng(r.text).value(); }), r.error32);
        EXPECT_EQ(v32, r.error32 == 0 ? r.value32 : 0);
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
