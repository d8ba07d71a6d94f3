#include "runtime/Error.h"
#include "runtime/Integer.h"
#include "runtime/Text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace vb;

namespace {

qint32 errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.number;
    }
    return 0;
}

} // namespace

TEST(Text, MidLeftInStr)
{
    const QString s = QStringLiteral("abc%d");
    EXPECT_EQ(Mid(s, 1, 1), u"a");
    EXPECT_EQ(Mid(s, 4), u"%d");
    EXPECT_EQ(Mid(s, 6), u"");
    EXPECT_EQ(Mid(s, 99, 3), u"");
    EXPECT_EQ(Mid(s, 2, 0), u"");
    EXPECT_EQ(Mid(s, 5, 10), u"d");
    EXPECT_EQ(Left(s, 0), u"");
    EXPECT_EQ(Left(s, 9), s);
    EXPECT_EQ(InStr(1, s, QStringLiteral("%")), 4);
    EXPECT_EQ(InStr(4, s, QStringLiteral("%")), 4);
    EXPECT_EQ(InStr(5, s, QStringLiteral("%")), 0);
    EXPECT_EQ(InStr(99, s, QStringLiteral("%")), 0);
    EXPECT_EQ(InStr(1, QStringLiteral("aS"), QStringLiteral("s")), 0) << "case-sensitive";
    EXPECT_EQ(Len(QStringLiteral("月😀")), 3) << "UTF-16 units";
}

TEST(Text, InvalidArgumentsRaiseFive)
{
    const QString s = QStringLiteral("abc");
    EXPECT_EQ(errorOf([&] { Mid(s, 0); }), InvalidArgument);
    EXPECT_EQ(errorOf([&] { Mid(s, 1, -1); }), InvalidArgument);
    EXPECT_EQ(errorOf([&] { Mid(s, 99, -1); }), InvalidArgument);
    EXPECT_EQ(errorOf([&] { Left(s, -1); }), InvalidArgument);
    EXPECT_EQ(errorOf([&] { InStr(0, s, QStringLiteral("a")); }), InvalidArgument);
    EXPECT_EQ(errorOf([&] { ChrW(-1); }), InvalidArgument);
    EXPECT_EQ(errorOf([&] { ChrW(0x10000); }), InvalidArgument);
}

TEST(Text, TrimStripsOnlyAsciiSpaces)
{
    EXPECT_EQ(Trim(QStringLiteral("  a b  ")), u"a b");
    EXPECT_EQ(Trim(QStringLiteral("    ")), u"");
    EXPECT_EQ(Trim(QStringLiteral("\u3000a\t")), u"\u3000a\t");
    EXPECT_EQ(ChrW(34), u"\"");
    EXPECT_EQ(ChrW(37), u"%");
}

TEST(CheckedInteger, SixteenBitLimits)
{
    EXPECT_EQ((Int16(32766) + Int16(1)).value(), 32767);
    EXPECT_EQ((Int16(-32767) - Int16(1)).value(), -32768);
    EXPECT_EQ((Int16(-1) * Int16(-32767)).value(), 32767);
    EXPECT_EQ(errorOf([] { Int16(32767) + Int16(1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int16(-32768) - Int16(1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int16(-32768) * Int16(-1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int16(0) - Int16(-32768); }), Overflow);
    EXPECT_EQ(errorOf([] { Int16(182) * Int16(181); }), Overflow);
    EXPECT_EQ((Int16(181) * Int16(181)).value(), 32761);
}

TEST(CheckedInteger, ThirtyTwoBitLimits)
{
    EXPECT_EQ((Int32(INT32_MAX - 1) + Int32(1)).value(), INT32_MAX);
    EXPECT_EQ(errorOf([] { Int32(INT32_MAX) + Int32(1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int32(INT32_MIN) * Int32(-1); }), Overflow);
    EXPECT_EQ(Int32(Int16(-32768)).value(), -32768);
}

TEST(Conversion, TextToInteger)
{
    struct Row {
        const char16_t* text;
        qint32 value16; // meaningful when error16 == 0
        qint32 error16;
        qint32 value32;
        qint32 error32;
    };
    const Row rows[] = {
        {u"0", 0, 0, 0, 0},
        {u"  42  ", 42, 0, 42, 0},
        {u"-32768", -32768, 0, -32768, 0},
        {u"+32767", 32767, 0, 32767, 0},
        {u"32768", 0, Overflow, 32768, 0},
        {u"-2147483648", 0, Overflow, INT32_MIN, 0},
        {u"2147483648", 0, Overflow, 0, Overflow},
        {u"99999999999999999999", 0, Overflow, 0, Overflow},
        {u"2.5", 2, 0, 2, 0},
        {u"3.5", 4, 0, 4, 0},
        {u"-2.5", -2, 0, -2, 0},
        {u"2.51", 3, 0, 3, 0},
        {u"2.49", 2, 0, 2, 0},
        {u".5", 0, 0, 0, 0},
        {u"1.", 1, 0, 1, 0},
        {u"&H10", 16, 0, 16, 0},
        {u"&hff", 255, 0, 255, 0},
        {u"&HFFFF", -1, 0, 65535, 0},
        {u"&H10000", 0, Overflow, 65536, 0},
        {u"&HFFFFFFFF", 0, Overflow, -1, 0},
        {u"&O17", 15, 0, 15, 0},
        {u"&O8", 0, TypeMismatch, 0, TypeMismatch},
        {u"", 0, TypeMismatch, 0, TypeMismatch},
        {u"   ", 0, TypeMismatch, 0, TypeMismatch},
        {u"abc", 0, TypeMismatch, 0, TypeMismatch},
        {u"1 2", 0, TypeMismatch, 0, TypeMismatch},
        {u"-", 0, TypeMismatch, 0, TypeMismatch},
        {u".", 0, TypeMismatch, 0, TypeMismatch},
        {u"&H", 0, TypeMismatch, 0, TypeMismatch},
        {u"１２", 0, TypeMismatch, 0, TypeMismatch},
    };
    for (const Row& r : rows) {
        const QString text = QString::fromUtf16(r.text);
        SCOPED_TRACE(text.toStdString());
        qint32 v16 = 0;
        EXPECT_EQ(errorOf([&] { v16 = CInt(text).value(); }), r.error16);
        if (r.error16 == 0) {
            EXPECT_EQ(v16, r.value16);
        }
        qint32 v32 = 0;
        EXPECT_EQ(errorOf([&] { v32 = CLng(text).value(); }), r.error32);
        if (r.error32 == 0) {
            EXPECT_EQ(v32, r.value32);
        }
    }
}

TEST(Conversion, DoublesAndDecimalText)
{
    EXPECT_EQ(Int(-105.1), -106.0);
    EXPECT_EQ(Int(-6.0), -6.0);
    EXPECT_EQ(Int(2.9), 2.0);
    EXPECT_EQ(CInt(2.5).value(), 2);
    EXPECT_EQ(CInt(-3.5).value(), -4);
    EXPECT_EQ(CInt(-32768.0).value(), -32768);
    EXPECT_EQ(errorOf([] { CInt(32767.6); }), Overflow);
    EXPECT_EQ(errorOf([] { CInt(std::nan("")); }), Overflow);
    EXPECT_EQ(errorOf([] { CLng(3e9); }), Overflow);
    EXPECT_EQ(CStr(qint64(0)), u"0");
    EXPECT_EQ(CStr(qint64(-56)), u"-56");
    EXPECT_EQ(CStr(Int16(-32768)), u"-32768");
    EXPECT_EQ(CStr(std::numeric_limits<qint64>::min()), u"-9223372036854775808");
}
