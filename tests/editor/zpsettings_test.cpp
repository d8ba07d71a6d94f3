// What the window's tests cannot reach in GetZPF, SetZP and RequestRestart, over the real store
// in a temporary folder; stored values are read back by another process.

#include "editor/ZPSettings.h"
#include "engine/Reports.h"
#include "runtime/SettingsFaults.h"
#include "runtime/SettingsStore.h"
#include "support/FakeMessageBox.h"
#include "support/QtPrinters.h"
#include "support/SettingsTool.h"
#include "support/TestEnv.h"
#include "support/WindowReceiver.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString kApp = u"Tamo for Windows NT/95"_s;

QString stored(const QString& value) { return storedValue(kApp, value); }
void save(const QString& value, const QString& text)
{
    vb::SettingsStore::fromEnvironment().SaveSetting(kApp, value.section(u'/', 0, 0), value.section(u'/', 1), text);
}

} // namespace

TEST(GetZPF, AnUnreadableStoreIsReportedAndGivesEmpty)
{
    TestEnv env;
    FakeMessageBox boxes;
    save(u"Main/ZPFormat"_s, u"%h:nn%"_s);
    QFile file(vb::SettingsStore::fromEnvironment().filePath(kApp));
    ASSERT_TRUE(file.open(QIODevice::Append) && file.write("junk\n") > 0);
    file.close();
    EXPECT_EQ(zp::GetZPF(vb::SettingsStore::fromEnvironment()), u""_s);
    ASSERT_EQ(boxes.shown.size(), 1);
    const vb::Error expected{75, vb::errorDescription(75) + u' ' + file.fileName() + u":3"_s};
    EXPECT_EQ(boxes.shown[0].prompt, zp::engineReportText(u"GetZPF"_s, expected));
    EXPECT_EQ(boxes.shown[0].style, 4112);
    EXPECT_EQ(boxes.shown[0].title, zp::reportTitle());
}

// A failed first step (the flag) is reported with the window report, leaves the flag as it
// was, and the format is still stored.
TEST(SetZP, AFailedFirstStepIsReportedAndTheSecondStillRuns)
{
    TestEnv env;
    FakeMessageBox boxes;
    struct : zp::FormatSource {
        QString formatText() const override { return u"  "_s; }
    } spaces;
    save(u"Plug in/TamoZP"_s, u"-"_s);
    vb::injectSettingsFault(1, ENOSPC);
    EXPECT_FALSE(zp::SetZP(vb::SettingsStore::fromEnvironment(), spaces));
    vb::injectSettingsFault(0, 0);
    ASSERT_EQ(boxes.shown.size(), 1);
    const vb::Error expected{61, vb::errorDescription(61) + u' ' + vb::SettingsStore::fromEnvironment().filePath(kApp)};
    EXPECT_EQ(boxes.shown[0].prompt, zp::windowReportText(u"frmMain!SetZP"_s, expected));
    EXPECT_EQ(stored(u"Plug in/TamoZP"_s) + u'|' + stored(u"Main/ZPFormat"_s), u"-|  "_s);
}

// Posts to the handle in RestartMsgRecv, negative ones too, and nowhere else; nothing for 0,
// an absent value or a handle nobody listens on. Text that is no number raises to the caller.
TEST(RequestRestart, PostsToTheStoredHandleOnly)
{
    TestEnv env;
    FakeMessageBox boxes;
    const QByteArray restart("\x03\x02\0\0\0\0\0\0\0\0\0\0", 12);
    const struct { std::optional<QString> text; qint32 handle, error; } rows[] = {
        {u"4242"_s, 4242, 0}, {u"-4242"_s, -4242, 0}, {u"0"_s, 0, 0}, {std::nullopt, 0, 0}, {u"999"_s, 0, 0},
        {u"abc"_s, 0, 13},
    };
    WindowReceiver windows[] = {WindowReceiver(4242), WindowReceiver(-4242), WindowReceiver(0)};
    for (const auto& [text, handle, error] : rows) {
        const std::string name = text.value_or(u"absent"_s).toStdString();
        QDir(env.configHome()).removeRecursively();
        if (text)
            save(u"Plug in/RestartMsgRecv"_s, *text);
        qint32 raised = 0;
        try {
            zp::RequestRestart(vb::SettingsStore::fromEnvironment());
        } catch (const vb::Error& e) {
            raised = e.number;
        }
        EXPECT_EQ(raised, error) << name;
        for (WindowReceiver& w : windows) {
            const bool reached = handle && w.path().endsWith(u"/window-"_s + QString::number(handle));
            EXPECT_EQ(w.receive(reached ? 2000 : 0), reached ? std::optional(restart) : std::nullopt) << name;
        }
    }
    EXPECT_TRUE(boxes.shown.isEmpty()) << "no guard of its own";
}
