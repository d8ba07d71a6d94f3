#include "runtime/NumberFormat.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>

using namespace vb;

namespace {

struct Row {
    const char* name;
    qint64 value;
    const char16_t* code;
    const char16_t* expected;
};

void expectRows(std::initializer_list<Row> rows)
{
    std::set<std::string> names;
    for (const Row& r : rows) {
        EXPECT_TRUE(names.insert(r.name).second) << "duplicate row name " << r.name;
        EXPECT_EQ(FormatNumber(r.value, QStringView(r.code)).toStdString(),
                  QStringView(r.expected).toString().toStdString())
            << r.name;
    }
}

} // namespace

TEST(NumberFormat, TheVersionCodes)
{
    expectRows({
        {"00 pads", 3, u"00", u"03"},
        {"00 two digits", 33, u"00", u"33"},
        {"00 more digits than places", 123, u"00", u"123"},
        {"00 zero", 0, u"00", u"00"},
        {"\\.00 pads", 3, u"\\.00", u".03"},
        {"\\.00 two digits", 33, u"\\.00", u".33"},
        {"\\.00 more digits than places", 123, u"\\.00", u".123"},
        {"\\.0000 pads", 3, u"\\.0000", u".0003"},
        {"\\.0000 the revision", 2485, u"\\.0000", u".2485"},
        {"\\.0000 more digits", 123456, u"\\.0000", u".123456"},
    });
}

TEST(NumberFormat, Placeholders)
{
    expectRows({
        {"# zero shows nothing", 0, u"#", u""},
        {"0 zero", 0, u"0", u"0"},
        {"# one digit", 5, u"#", u"5"},
        {"# many digits", 12345, u"#", u"12345"},
        {"## one digit", 5, u"##", u"5"},
        {"0# pads to the leftmost 0", 5, u"0#", u"05"},
        {"#0", 5, u"#0", u"5"},
        {"#0# pads from its 0", 5, u"#0#", u"05"},
        {"#0# zero", 0, u"#0#", u"00"},
        {"literal between placeholders", 12345, u"0-0", u"1234-5"},
        {"literal between padded placeholders", 5, u"0-0", u"0-5"},
        {"# before a literal shows nothing", 5, u"#-0", u"-5"},
        {"literals around", 3, u"(000)", u"(003)"},
        {"largest", std::numeric_limits<qint64>::max(), u"0", u"9223372036854775807"},
    });
}

TEST(NumberFormat, DecimalPoint)
{
    expectRows({
        {"0.00", 3, u"0.00", u"3.00"},
        {"#.##", 3, u"#.##", u"3."},
        {"#.## zero", 0, u"#.##", u"."},
        {"0.0#", 12, u"0.0#", u"12.0"},
        {"no integer placeholder", 7, u".00", u"7.00"},
        {"no integer placeholder, zero", 0, u".00", u".00"},
        {"second point is literal", 7, u"0.0.0", u"7.0.0"},
    });
}

TEST(NumberFormat, LiteralsAndEscapes)
{
    expectRows({
        {"escaped placeholder", 7, u"\\#0", u"#7"},
        {"quoted placeholders", 7, u"\"#0.\"0", u"#0.7"},
        {"unclosed quote", 3, u"0\"ab", u"3ab"},
        {"backslash at the end", 7, u"0\\", u"7"},
        {"double backslash", 7, u"\\\\0", u"\\7"},
        {"Japanese", 3, u"第0週", u"第3週"},
        {"no placeholder: digits go last", 7, u"abc", u"abc7"},
        {"no placeholder, zero", 0, u"abc", u"abc"},
        {"empty code", 42, u"", u"42"},
        {"thousands separator is a literal", 1234567, u"#,##0", u"1234,567"},
        {"percent is a literal", 7, u"0%", u"7%"},
    });
}

TEST(NumberFormat, NegativeNumbers)
{
    expectRows({
        {"sign first", -3, u"00", u"-03"},
        {"sign before literals", -3, u"\\.00", u"-.03"},
        {"sign with #", -5, u"#", u"-5"},
        {"smallest", std::numeric_limits<qint64>::min(), u"0", u"-9223372036854775808"},
    });
}
