// The "R" tokens over the binding that tests/runtime/library_test checks: which pool a token
// asks for, what a missing meter or entry gives, and the real meter of the build tree. The
// install test of tests/rsrc32 plants a meter in the working directory.

#include "engine/ResourceMeter.h"
#include "engine/ZPModule.h"

#include "support/FakeMessageBox.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// The stand-in meter answers 85 for kind 0, -1 for kind 1 and 150 for kind 2.
const QString kFake = QStringLiteral(TAMO_FAKE_METER);

class FreeSysResourceTest : public testing::Test {
protected:
    void TearDown() override { zp::setResourceMeterLibrary(QString()); }
    FakeMessageBox boxes;
};

} // namespace

TEST_F(FreeSysResourceTest, TheFirstTwoCharactersSelectThePool)
{
    zp::setResourceMeterLibrary(kFake);
    for (const char16_t* token : {u"R", u"Rs", u"rS", u""})
        EXPECT_EQ(zp::FreeSysResource(QString::fromUtf16(token)), u"0") << QString::fromUtf16(token).toStdString();
    EXPECT_EQ(zp::resourceMeter().bindAttempts(), 0) << "a token that selects no pool binds nothing";

    // The meter's answer as it is; the rest of the token is ignored.
    for (const auto& [token, expected] : {std::pair{u"RS", u"85"}, {u"RG:nn", u"-1"}, {u"RUU", u"150"}})
        EXPECT_EQ(zp::FreeSysResource(QString::fromUtf16(token)), QString::fromUtf16(expected))
            << QString::fromUtf16(token).toStdString();
    EXPECT_EQ(zp::resourceMeter().bindAttempts(), 1);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(FreeSysResourceTest, MissingMeterReadsZeroSilentlyUntilItAppears)
{
    QTemporaryDir dir;
    zp::setResourceMeterLibrary(dir.filePath(QStringLiteral("librsrc32.so")));
    EXPECT_EQ(zp::FreeSysResource(QStringLiteral("RS")) + zp::FreeSysResource(QStringLiteral("RU")), u"00");
    EXPECT_TRUE(boxes.shown.isEmpty()) << "a missing meter is no error";
    ASSERT_TRUE(QFile::copy(kFake, dir.filePath(QStringLiteral("librsrc32.so"))));
    EXPECT_EQ(zp::FreeSysResource(QStringLiteral("RU")), u"150") << "the meter that appeared is bound";
}

TEST_F(FreeSysResourceTest, MeterWithoutTheEntryReportsOncePerTokenAndReadsZero)
{
    zp::setResourceMeterLibrary(QStringLiteral(TAMO_METER_WITHOUT_ENTRY));
    EXPECT_EQ(zp::FreeSysResource(QStringLiteral("RS")), u"0");
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown[0].prompt.startsWith(u"エラー番号:453\r\n場所:FreeSysResource-ZPModule1.33.2485\r\n"));
    EXPECT_EQ(zp::FreeSysResource(QStringLiteral("RU")), u"0");
    EXPECT_EQ(boxes.shown.size(), 2) << "still unbound: the next token tries, and reports, again";
}

TEST_F(FreeSysResourceTest, TheRealMeterFromTheBuildTreeGivesPercentages)
{
    EXPECT_EQ(zp::resourceMeter().library(), zp::defaultResourceMeterLibrary());
    for (const char16_t* token : {u"RS", u"RG", u"RU"}) {
        bool ok = false;
        const int free = zp::FreeSysResource(QString::fromUtf16(token)).toInt(&ok);
        EXPECT_TRUE(ok && free >= 0 && free <= 100) << free;
    }
    EXPECT_EQ(QFileInfo(zp::resourceMeter().loadedFrom()).canonicalFilePath(), QFileInfo(QStringLiteral(TAMO_RSRC32_FILE)).canonicalFilePath());
    EXPECT_TRUE(boxes.shown.isEmpty());
}
