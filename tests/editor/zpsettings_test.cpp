// GetZPF, SetZP, DisableZP and RequestRestart over the real store in a temporary folder; the
// values are read back by another process under the names the host knows.

#include "editor/ZPSettings.h"
#include "engine/Reports.h"
#include "runtime/SettingsStore.h"
#include "support/FakeMessageBox.h"
#include "support/QtPrinters.h"
#include "support/SettingsTool.h"
#include "support/TestEnv.h"
#include "support/WindowReceiver.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString kApp = u"Tamo for Windows NT/95"_s;

// What another process reads ("Plug in/TamoZP"); "<absent>" when the value is not there.
QString stored(const QString& value)
{
    const ToolRun run = runSettingsTool({u"get"_s, kApp, value.section(u'/', 0, 0), value.section(u'/', 1),
                                         QString::fromLatin1(toHexUnits(u"<absent>"_s))});
    return run.exitCode == 0 ? fromHexUnits(run.out) : u"<error "_s + QString::fromUtf8(run.out) + u'>';
}
void save(const QString& value, const QString& text)
{
    vb::SaveSetting(kApp, value.section(u'/', 0, 0), value.section(u'/', 1), text);
}

// Gives its text, counting the reads; with `failFirst` the first read raises 6.
struct TextSource final : zp::FormatSource {
    explicit TextSource(QString text, bool failFirst = false) : text(std::move(text)), failFirst(failFirst) { }
    QString formatText() const override
    {
        if (reads++ == 0 && failFirst)
            vb::raiseError(6);
        return text;
    }
    QString text;
    bool failFirst;
    mutable int reads = 0;
};

qint32 errorOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const vb::Error& e) {
        return e.number;
    }
    return 0;
}

// A folder where the file should be: every store operation fails with 75.
void breakTheStore()
{
    QFile::remove(vb::settingsFilePath(kApp));
    QDir().mkpath(vb::settingsFilePath(kApp));
}

} // namespace

TEST(GetZPF, ReadsWhatAnotherProcessStoredOrReportsAndGivesEmpty)
{
    TestEnv env;
    FakeMessageBox boxes;
    EXPECT_FALSE(zp::GetZPF().isNull()) << "nothing stored gives \"\"";
    for (const QString& format : {u"  %yyyy%/%m%/%d%  "_s, u""_s, u"月齢 %o% \\%"_s}) {
        ASSERT_EQ(runSettingsTool({u"save"_s, kApp, u"Main"_s, u"ZPFormat"_s, QString::fromLatin1(toHexUnits(format))}).exitCode, 0);
        EXPECT_EQ(zp::GetZPF(), format);
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
    QFile file(vb::settingsFilePath(kApp));
    ASSERT_TRUE(file.open(QIODevice::Append) && file.write("junk\n") > 0);
    file.close();
    EXPECT_EQ(zp::GetZPF(), u""_s);
    ASSERT_EQ(boxes.shown.size(), 1);
    const vb::Error expected{75, vb::errorDescription(75) + u' ' + file.fileName() + u":3"_s};
    EXPECT_EQ(boxes.shown[0].prompt, zp::engineReportText(u"GetZPF"_s, expected));
    EXPECT_EQ(boxes.shown[0].style, 4112);
    EXPECT_EQ(boxes.shown[0].title, zp::reportTitle());
}

// SetZP stores the flag and the untrimmed format; DisableZP stores "0" and has no guard.
TEST(SetZP, StoresTheFlagAndTheFormatUntrimmed)
{
    TestEnv env;
    FakeMessageBox boxes;
    const std::pair<QString, QString> rows[] = { // text, flag
        {u""_s, u"0"_s}, {u"     "_s, u"0"_s}, {u"  %h:nn%  "_s, u"1"_s}, {u"\t"_s, u"1"_s},
        {u"\u3000"_s, u"1"_s}, {u"%h"_s, u"1"_s},
    };
    for (const auto& [text, flag] : rows) {
        const TextSource source(text);
        EXPECT_TRUE(zp::SetZP(source)) << text.toStdString();
        EXPECT_EQ(source.reads, 2) << "read once for each value";
        EXPECT_EQ(stored(u"Plug in/TamoZP"_s), flag) << text.toStdString();
        EXPECT_EQ(stored(u"Main/ZPFormat"_s), text);
    }
    zp::DisableZP();
    EXPECT_EQ(stored(u"Plug in/TamoZP"_s) + u' ' + stored(u"Main/ZPFormat"_s), u"0 %h"_s);
    breakTheStore();
    EXPECT_EQ(errorOf(zp::DisableZP), 75);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

// A failed step is reported with the window report and the next one still runs.
TEST(SetZP, AFailedStepIsReportedAndTheNextStillRuns)
{
    TestEnv env;
    FakeMessageBox boxes;
    const QString path = vb::settingsFilePath(kApp);
    save(u"Main/ZPFormat"_s, u"x"_s);
    vb::injectSettingsFault(0, 0);
    zp::SetZP(TextSource(u"x"_s));
    const int perSave = vb::settingsFallibleCalls() / 2;
    struct Row {
        TextSource source;
        int faultAt, faultErrno; // the fallible store call that fails; 0: none
        vb::Error reported;
        QString flagAndFormat; // stored afterwards
    };
    const Row rows[] = {
        {TextSource(u"%h:nn%"_s, true), 0, 0, {6, vb::errorDescription(6)}, u"1 %h:nn%"_s},
        {TextSource(u"  "_s), 1, ENOSPC, {61, vb::errorDescription(61) + u' ' + path}, u"1   "_s},
        {TextSource(u""_s), perSave + 1, EIO, {75, vb::errorDescription(75) + u' ' + path}, u"0 x"_s},
    };
    for (const Row& row : rows) {
        save(u"Plug in/TamoZP"_s, u"1"_s);
        save(u"Main/ZPFormat"_s, u"x"_s);
        boxes.shown.clear();
        vb::injectSettingsFault(row.faultAt, row.faultErrno);
        EXPECT_FALSE(zp::SetZP(row.source)) << row.reported.number;
        vb::injectSettingsFault(0, 0);
        EXPECT_EQ(row.source.reads, 2);
        ASSERT_EQ(boxes.shown.size(), 1);
        EXPECT_EQ(boxes.shown[0].prompt, zp::windowReportText(u"frmMain!SetZP"_s, row.reported));
        EXPECT_TRUE(boxes.shown[0].prompt.contains(u"場所:frmMain!SetZP - TamoZP133"_s));
        EXPECT_EQ(stored(u"Plug in/TamoZP"_s) + u' ' + stored(u"Main/ZPFormat"_s), row.flagAndFormat);
    }
}

// Posts to the handle in RestartMsgRecv and nowhere else; nothing for 0, an absent value or a
// handle nobody listens on. Text that is no number, or a broken store, raises to the caller.
TEST(RequestRestart, PostsToTheStoredHandleOnly)
{
    TestEnv env;
    FakeMessageBox boxes;
    const QByteArray restart("\x03\x02\0\0\0\0\0\0\0\0\0\0", 12);
    const struct { std::optional<QString> text; qint32 handle, error; } rows[] = {
        {u"4242"_s, 4242, 0}, {u"-4242"_s, -4242, 0}, {u"-2147483648"_s, INT32_MIN, 0}, {u" 77 "_s, 77, 0},
        {u"&H10"_s, 16, 0}, {u"0"_s, 0, 0}, {std::nullopt, 0, 0}, {u"999"_s, 0, 0}, {u"abc"_s, 0, 13},
        {u""_s, 0, 13}, {u"12abc"_s, 0, 13}, {u"2147483648"_s, 0, 6},
    };
    // Listen on every handle the table names (12 for "12abc") but 999, so a stray message shows.
    std::vector<std::unique_ptr<WindowReceiver>> windows;
    for (const qint32 handle : {4242, -4242, INT32_MIN, 77, 16, 0, 12})
        windows.push_back(std::make_unique<WindowReceiver>(handle));
    for (const auto& [text, handle, error] : rows) {
        const std::string name = text.value_or(u"absent"_s).toStdString();
        QDir(env.configHome()).removeRecursively();
        if (text)
            save(u"Plug in/RestartMsgRecv"_s, *text);
        EXPECT_EQ(errorOf(zp::RequestRestart), error) << name;
        for (const auto& w : windows) {
            const bool reached = handle && w->path().endsWith(u"/window-"_s + QString::number(handle));
            EXPECT_EQ(w->receive(reached ? 2000 : 0), reached ? std::optional(restart) : std::nullopt) << name;
        }
    }
    breakTheStore();
    EXPECT_EQ(errorOf(zp::RequestRestart), 75);
    EXPECT_TRUE(boxes.shown.isEmpty()) << "no guard of its own";
}
