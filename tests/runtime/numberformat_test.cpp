#include "runtime/NumberFormat.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>

using namespace vb;

TEST(NumberFormat, Codes)
{
    const struct { const char* name; qint64 value; const char16_t* code; const char16_t* expected; } rows[] = {
        {"00 pads", 3, u"00", u"03"},
        {"more digits than places", 123, u"00", u"123"},
        {"the revision", 2485, u"\\.0000", u".2485"},
        {"\\.0000 pads", 3, u"\\.0000", u".0003"},
        {"# zero shows nothing", 0, u"#", u""},
        {"0 zero", 0, u"0", u"0"},
        {"## one digit", 5, u"##", u"5"},
        {"0# pads to the leftmost 0", 5, u"0#", u"05"},
        {"#0", 5, u"#0", u"5"},
        {"#0# pads from its 0", 5, u"#0#", u"05"},
        {"literal between placeholders", 12345, u"0-0", u"1234-5"},
        {"literal between padded placeholders", 5, u"0-0", u"0-5"},
        {"# before a literal shows nothing", 5, u"#-0", u"-5"},
        {"largest", std::numeric_limits<qint64>::max(), u"0", u"9223372036854775807"},
        {"0.00", 3, u"0.00", u"3.00"},
        {"#.## zero", 0, u"#.##", u"."},
        {"0.0#", 12, u"0.0#", u"12.0"},
        {"no integer placeholder", 7, u".00", u"7.00"},
        {"no integer placeholder, zero", 0, u".00", u".00"},
        {"second point is literal", 7, u"0.0.0", u"7.0.0"},
        {"quoted placeholders", 7, u"\"#0.\"0", u"#0.7"},
        {"unclosed quote", 3, u"0\"ab", u"3ab"},
        {"backslashes", 7, u"\\\\0\\", u"\\7"},
        {"no placeholder: digits go last", 7, u"abc", u"abc7"},
        {"empty code", 42, u"", u"42"},
        {"thousands separator is a literal", 1234567, u"#,##0", u"1234,567"},
        {"sign first", -3, u"\\.00", u"-.03"},
        {"smallest", std::numeric_limits<qint64>::min(), u"0", u"-9223372036854775808"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FormatNumber(r.value, r.code), QString::fromUtf16(r.expected)) << r.name;
}
