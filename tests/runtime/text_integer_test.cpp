#include "runtime/Error.h"
#include "runtime/Integer.h"
#include "runtime/Text.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

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
    EXPECT_EQ(Mid(s, 6), u"");
    EXPECT_EQ(Mid(s, 99, 3), u"");
    EXPECT_EQ(Mid(s, 5, 10), u"d");
    EXPECT_EQ(Left(s, 0), u"");
    EXPECT_EQ(Left(s, 9), s);
    EXPECT_EQ(InStr(4, s, QStringLiteral("%")), 4);
    EXPECT_EQ(InStr(5, s, QStringLiteral("%")), 0);
    EXPECT_EQ(InStr(1, QStringLiteral("aS"), QStringLiteral("s")), 0) << "case-sensitive";
    EXPECT_EQ(Len(QStringLiteral("月😀")), 3) << "UTF-16 units";
    EXPECT_EQ(Trim(QStringLiteral("  a b  ")), u"a b");
    EXPECT_EQ(Trim(QStringLiteral("\u3000a\t")), u"\u3000a\t");
    EXPECT_EQ(ChrW(34), u"\"");
    for (const auto& bad : std::initializer_list<std::function<void()>>{
             [&] { Mid(s, 0); }, [&] { Mid(s, 1, -1); }, [&] { Mid(s, 99, -1); }, [&] { Left(s, -1); },
             [&] { InStr(0, s, QStringLiteral("a")); }, [] { ChrW(-1); }, [] { ChrW(0x10000); }})
        EXPECT_EQ(errorOf(bad), InvalidArgument);
}

TEST(CheckedInteger, Limits)
{
    EXPECT_EQ((Int16(32766) + Int16(1)).value(), 32767);
    EXPECT_EQ((Int16(-32767) - Int16(1)).value(), -32768);
    EXPECT_EQ((Int16(181) * Int16(181)).value(), 32761);
    EXPECT_EQ(errorOf([] { Int16(32767) + Int16(1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int16(-32768) - Int16(1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int16(-32768) * Int16(-1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int16(182) * Int16(181); }), Overflow);
    EXPECT_EQ((Int32(INT32_MAX - 1) + Int32(1)).value(), INT32_MAX);
    EXPECT_EQ(errorOf([] { Int32(INT32_MAX) + Int32(1); }), Overflow);
    EXPECT_EQ(errorOf([] { Int32(INT32_MIN) * Int32(-1); }), Overflow);
}

TEST(Conversion, TextToInteger)
{
    // A value is meaningful when its error is 0.
    const struct { const char16_t* text; qint32 value16, error16, value32, error32; } rows[] = {
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
        {u".5", 0, 0, 0, 0},
        {u"1.", 1, 0, 1, 0},
        {u"&hff", 255, 0, 255, 0},
        {u"&HFFFF", -1, 0, 65535, 0},
        {u"&H10000", 0, Overflow, 65536, 0},
        {u"&HFFFFFFFF", 0, Overflow, -1, 0},
        {u"&O17", 15, 0, 15, 0},
        {u"&O8", 0, TypeMismatch, 0, TypeMismatch},
        {u"", 0, TypeMismatch, 0, TypeMismatch},
        {u"   ", 0, TypeMismatch, 0, TypeMismatch},
        {u"1 2", 0, TypeMismatch, 0, TypeMismatch},
        {u"-", 0, TypeMismatch, 0, TypeMismatch},
        {u".", 0, TypeMismatch, 0, TypeMismatch},
        {u"&H", 0, TypeMismatch, 0, TypeMismatch},
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
    EXPECT_EQ(CStr(Int16(-32768)), u"-32768");
    EXPECT_EQ(CStr(std::numeric_limits<qint64>::min()), u"-9223372036854775808");
}
