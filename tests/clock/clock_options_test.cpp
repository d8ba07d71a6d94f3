// The instant of --at, the JSON line and the host's next wake, without a process.

#include "clock/ClockOptions.h"
#include "clock/ClockText.h"
#include "clock/HostCore.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <ctime>

using namespace clk;
using namespace Qt::StringLiterals;

TEST(ClockInstant, ReadsOnlyRealLocalInstants)
{
    const std::pair<const char16_t*, vb::DateValue> accepted[] = {
        {u"2001-03-29T13:05:09", vb::DateValue(2001, 3, 29, 13, 5, 9)},
        {u"2001-03-29 13:05", vb::DateValue(2001, 3, 29, 13, 5, 0)},
        {u"0100-01-01T00:00:00", vb::DateValue(100, 1, 1)},
        {u"9999-12-31T23:59:59", vb::DateValue(9999, 12, 31, 23, 59, 59)},
        {u"2000-02-29T12:00", vb::DateValue(2000, 2, 29, 12, 0, 0)},
    };
    for (const auto& [text, expected] : accepted)
        EXPECT_EQ(parseInstant(QString::fromUtf16(text)), expected) << QString::fromUtf16(text).toStdString();
    for (const char16_t* text : {
             u"", u"2001-03-29", u"2001-03-29T13", u"2001-03-29T13:05:9", u"2001-3-29T13:05", // shape
             u"2001-03-29t13:05", u"2001/03/29 13:05", u"2001-03-29T13-05", u"2001-03-29T13:05-09",
             u"2001-03-29T13:05:09Z", u"2001-13-01T00:00", u"2001-00-10T00:00", u"2001-02-29T00:00", // date
             u"1900-02-29T00:00", u"2001-04-31T00:00", u"2001-03-00T00:00", u"0099-12-31T23:59:59",
             u"10000-01-01T00:00", u"2001-03-29T24:00", u"2001-03-29T23:60", u"2001-03-29T23:59:60", // time
             u"２００１-03-29T13:05", u"2001-03-29T1a:05", u"+001-03-29T13:05"}) // digits
        EXPECT_EQ(parseInstant(QString::fromUtf16(text)), std::nullopt) << QString::fromUtf16(text).toStdString();
}

// Beyond what the round trip below shows: the short escapes, and broken surrogates replaced.
TEST(ClockJson, EscapesAndBrokenSurrogates)
{
    EXPECT_EQ(jsonString(u"\"\\/\n\t"_s + QChar(1) + QChar(0x2028)), R"("\"\\/\n\t\u0001\u2028")");
    EXPECT_EQ(jsonString(QString(QChar(0xDF15)) + QChar(0xD83C) + u'x'), "\"\xEF\xBF\xBD\xEF\xBF\xBDx\"");
    EXPECT_EQ(outputLine(QString(QChar(0xD800)) + u'a', false), "\xEF\xBF\xBD" "a\n");
}

TEST(ClockJson, EveryCharacterRoundTripsThroughAJsonReader)
{
    for (char32_t c = 0; c <= 0x10FFFF; c += (c < 0xFFFF ? 1 : 0x1000)) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const QString text = u'<' + QString::fromUcs4(&c, 1) + u'>';
        const QByteArray line = outputLine(text, true);
        QJsonParseError error{};
        const QJsonObject object = QJsonDocument::fromJson(line, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << "U+" << std::hex << unsigned(c);
        ASSERT_EQ(object.value(u"text").toString(), text) << "U+" << std::hex << unsigned(c);
        ASSERT_TRUE(object.size() == 1 && line.endsWith("}\n") && line.count('\n') == 1);
    }
}

TEST(ClockHost, NextKeyChangeIsTheNextSecondOrLocalMinute)
{
    EXPECT_TRUE(keyHasSeconds(u"0:0:0"));
    EXPECT_FALSE(keyHasSeconds(u"13:5"));
    struct Row {
        const char* zone;
        qint64 now;
        bool seconds;
        qint64 expected;
    };
    // 986011509 is 2001-03-31 04:05:09 UTC.
    const Row rows[] = {
        {"Asia/Tokyo", 986011509, true, 986011510},
        {"Asia/Tokyo", 986011500, false, 986011560},
        {"Asia/Tokyo", 986011509, false, 986011560},
        {"Asia/Tokyo", 986011559, false, 986011560},
        {"Asia/Tokyo", -1, false, 0},
        {"<+0000030>-00:00:30", 986011509, false, 986011530}, // local minutes start 30 s into UTC's
        {"<+0000030>-00:00:30", 986011530, false, 986011590},
        {"Africa/Monrovia", 0, false, 30}, // -00:44:30 until 1972
    };
    const QByteArray zone = qgetenv("TZ");
    for (const Row& row : rows) {
        qputenv("TZ", row.zone);
        ::tzset();
        EXPECT_EQ(nextKeyChange(row.now, row.seconds), row.expected) << row.zone << " " << row.now;
    }
    zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
    ::tzset();
}
