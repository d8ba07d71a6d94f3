// The expander builds its time key without the date format and finds a token's closing "%"
// with a plain scan: both must give exactly what the date format and InStr would.

#include "engine/ZPModule.h"

#include "runtime/Clock.h"
#include "runtime/DateFormat.h"

#include "support/FakeMessageBox.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace zp;

namespace {

class ExpanderKey : public testing::Test {
protected:
    void TearDown() override { vb::setFixedNow(std::nullopt); }
    FakeMessageBox boxes;
};

} // namespace

TEST_F(ExpanderKey, EqualsTheDateFormatAtEverySecondOfADay)
{
    QString key; // one key for all, as a host keeps it
    int checked = 0;
    for (int hour = 0; hour < 24; ++hour) {
        for (int minute = 0; minute < 60; ++minute) {
            for (int second = 0; second < 60; second += (minute % 7 == 0 ? 1 : 13)) {
                const vb::DateValue instant(2001, 3, 29, hour, minute, second);
                vb::setFixedNow(instant);
                FromZPFToShowClk(QStringLiteral("%h%"), key);
                ASSERT_EQ(key, vb::Format(instant, u"h:n")) << hour << ':' << minute << ':' << second;
                FromZPFToShowClk(QStringLiteral("%h%%ss%"), key);
                ASSERT_EQ(key, vb::Format(instant, u"h:n:s")) << hour << ':' << minute << ':' << second;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 24 * 60);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(ExpanderKey, ACopyOfTheKeyKeepsItsValue)
{
    vb::setFixedNow(vb::DateValue(2001, 3, 29, 13, 5, 9));
    QString key = QStringLiteral("12:34:56");
    key.detach();
    const QString copy = key; // shares the key's buffer
    FromZPFToShowClk(QStringLiteral("%h%"), key);
    EXPECT_EQ(key, u"13:5");
    EXPECT_EQ(copy, u"12:34:56");
    const QString second = key;
    FromZPFToShowClk(QStringLiteral("%s%"), key);
    EXPECT_EQ(key, u"13:5:9");
    EXPECT_EQ(second, u"13:5");
}

TEST_F(ExpanderKey, TokensEndWhereInStrFindsTheNextPercent)
{
    vb::setFixedNow(vb::DateValue(2001, 3, 29, 13, 5, 9));
    struct Row {
        const char* name;
        const char16_t* format;
        const char16_t* expected;
    };
    const Row rows[] = {
        {"after a surrogate pair", u"😀%h%😀%nn%", u"😀13😀05"},
        {"token at the very end", u"x%nn%", u"x05"},
        {"closing percent is the last character", u"%h%", u"13"},
        {"unclosed after a pair", u"😀%h", u"ZPErr"},
        {"unclosed after closed ones", u"%h%%nn%%d", u"ZPErr"},
        {"percent right after an escape", u"\\\\%h%", u"\\13"},
        {"one-character tokens side by side", u"%h%%n%%s%", u"1359"},
    };
    for (const Row& row : rows) {
        QString key;
        EXPECT_EQ(FromZPFToShowClk(QString::fromUtf16(row.format), key), QString::fromUtf16(row.expected))
            << row.name;
    }
}
