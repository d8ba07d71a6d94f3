#include "engine/ResourceMeter.h"
#include "engine/ZPModule.h"

#include "tests/support/FakeMessageBox.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <dlfcn.h>

#include <cstdint>
#include <functional>

namespace {

const QString kFake = QStringLiteral(TAMO_FAKE_METER);

// The stand-in meter answers 85 for kind 0, -1 for kind 1 and 150 for kind 2, and counts.
struct FakeMeterRecord {
    int calls = 0;
    std::int32_t lastKind = -1000;
};

// True while the process has the file loaded; asks the loader without loading it.
bool isLoaded(const QString& path)
{
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr)
        ::dlclose(handle);
    return handle != nullptr;
}

FakeMeterRecord fakeRecord()
{
    FakeMeterRecord record;
    void* handle = ::dlopen(QFile::encodeName(kFake).constData(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr)
        return record;
    record.calls = reinterpret_cast<int (*)()>(::dlsym(handle, "fakeMeterCalls"))();
    record.lastKind = reinterpret_cast<std::int32_t (*)()>(::dlsym(handle, "fakeMeterLastKind"))();
    ::dlclose(handle);
    return record;
}

QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

QString promptLine(const ShownBox& box, int index)
{
    return box.prompt.split(QStringLiteral("\r\n")).value(index);
}

class FreeSysResourceTest : public testing::Test {
protected:
    void TearDown() override { zp::setResourceMeterLibrary(QString()); }
    FakeMessageBox boxes;
};

} // namespace

TEST_F(FreeSysResourceTest, FirstTwoCharactersSelectThePoolAndTheResultComesAsItIs)
{
    zp::setResourceMeterLibrary(kFake);
    struct Row {
        const char16_t* token;
        const char16_t* expected;
        std::int32_t kind;
    };
    const Row rows[] = {
        {u"RS", u"85", 0},
        {u"RG", u"-1", 1},
        {u"RU", u"150", 2},
        {u"RSfree", u"85", 0},
        {u"RG:nn", u"-1", 1},
        {u"RUU", u"150", 2},
        {u"RS", u"85", 0},
    };
    int calls = 0;
    for (const Row& r : rows) {
        const QString token = QString::fromUtf16(r.token);
        EXPECT_EQ(zp::FreeSysResource(token), QString::fromUtf16(r.expected)) << token.toStdString();
        const FakeMeterRecord record = fakeRecord();
        EXPECT_EQ(record.calls, ++calls) << token.toStdString();
        EXPECT_EQ(record.lastKind, r.kind) << token.toStdString();
    }
    EXPECT_EQ(zp::resourceMeter().bindAttempts(), 1) << "bound once, then called directly";
    EXPECT_EQ(canonical(zp::resourceMeter().loadedFrom()), canonical(kFake));
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(FreeSysResourceTest, TokensThatSelectNoPoolNeverLoadTheMeter)
{
    zp::setResourceMeterLibrary(kFake);
    for (const char16_t* token : {u"R", u"Rs", u"Rg", u"Ru", u"RX", u"R S", u"rS", u"", u"S"}) {
        EXPECT_EQ(zp::FreeSysResource(QString::fromUtf16(token)), u"0") << QString::fromUtf16(token).toStdString();
    }
    EXPECT_EQ(zp::resourceMeter().bindAttempts(), 0);
    EXPECT_FALSE(isLoaded(kFake));
    EXPECT_TRUE(boxes.shown.isEmpty());

    EXPECT_EQ(zp::FreeSysResource(QStringLiteral("RS")), u"85") << "the first token that selects a pool binds";
    EXPECT_TRUE(isLoaded(kFake));
}

TEST_F(FreeSysResourceTest, MissingMeterReadsZeroSilentlyAndIsLookedForAgainEachTime)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("librsrc32.so"));
    zp::setResourceMeterLibrary(path);
    for (const char16_t* token : {u"RS", u"RG", u"RU"})
        EXPECT_EQ(zp::FreeSysResource(QString::fromUtf16(token)), u"0");
    EXPECT_TRUE(boxes.shown.isEmpty()) << "a missing meter is no error";
    EXPECT_EQ(zp::resourceMeter().bindAttempts(), 3);

    ASSERT_TRUE(QFile::copy(kFake, path));
    EXPECT_EQ(zp::FreeSysResource(QStringLiteral("RU")), u"150") << "the meter that appeared is bound";
    EXPECT_EQ(zp::resourceMeter().bindAttempts(), 4);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(FreeSysResourceTest, MeterWithoutTheEntryReportsOncePerTokenAndReadsZero)
{
    zp::setResourceMeterLibrary(QStringLiteral(TAMO_METER_WITHOUT_ENTRY));
    EXPECT_EQ(zp::FreeSysResource(QStringLiteral("RS")), u"0");
    ASSERT_EQ(boxes.shown.size(), 1);
    const ShownBox& box = boxes.shown.front();
    EXPECT_EQ(box.title, u"エラー - TamoZP");
    EXPECT_EQ(box.style, 4112);
    EXPECT_EQ(promptLine(box, 0), u"エラー番号:453");
    EXPECT_EQ(promptLine(box, 1), u"場所:FreeSysResource-ZPModule1.33.2485");

    EXPECT_EQ(zp::FreeSysResource(QStringLiteral("RU")), u"0");
    EXPECT_EQ(boxes.shown.size(), 2) << "still unbound: the next token tries, and reports, again";
    EXPECT_EQ(zp::resourceMeter().bindAttempts(), 2);
}

TEST_F(FreeSysResourceTest, TheRealMeterFromTheBuildTreeGivesPercentages)
{
    zp::setResourceMeterLibrary(QString());
    EXPECT_EQ(zp::resourceMeter().library(), zp::defaultResourceMeterLibrary());
    for (const char16_t* token : {u"RS", u"RG", u"RU"}) {
        bool ok = false;
        const int free = zp::FreeSysResource(QString::fromUtf16(token)).toInt(&ok);
        EXPECT_TRUE(ok) << QString::fromUtf16(token).toStdString();
        EXPECT_GE(free, 0) << QString::fromUtf16(token).toStdString();
        EXPECT_LE(free, 100) << QString::fromUtf16(token).toStdString();
    }
    EXPECT_EQ(canonical(zp::resourceMeter().loadedFrom()), canonical(QStringLiteral(TAMO_RSRC32_FILE)));
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(FreeSysResourceTest, AMeterPlantedInTheCurrentDirectoryIsNeverLoaded)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A stand-in under the real name and under a name found nowhere else.
    const QString plantedDefault = dir.filePath(QStringLiteral("librsrc32.so"));
    const QString plantedOther = dir.filePath(QStringLiteral("libplanted_meter.so"));
    ASSERT_TRUE(QFile::copy(kFake, plantedDefault));
    ASSERT_TRUE(QFile::copy(kFake, plantedOther));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));

    zp::setResourceMeterLibrary(QStringLiteral("libplanted_meter.so"));
    EXPECT_EQ(zp::FreeSysResource(QStringLiteral("RS")), u"0");
    zp::setResourceMeterLibrary(QStringLiteral("./libplanted_meter.so"));
    EXPECT_EQ(zp::FreeSysResource(QStringLiteral("RS")), u"0");
    zp::setResourceMeterLibrary(QString());
    zp::FreeSysResource(QStringLiteral("RS"));
    EXPECT_EQ(canonical(zp::resourceMeter().loadedFrom()), canonical(QStringLiteral(TAMO_RSRC32_FILE)));

    ASSERT_TRUE(QDir::setCurrent(previous));
    EXPECT_FALSE(isLoaded(plantedDefault));
    EXPECT_FALSE(isLoaded(plantedOther));
    EXPECT_TRUE(boxes.shown.isEmpty());
}
