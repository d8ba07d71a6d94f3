// The stored values and the restart request: GetZPF, SetZP, DisableZP and RequestRestart over
// the real store in a temporary folder, with reports caught by the fake message box.

#include "editor/ZPSettings.h"
#include "engine/Reports.h"
#include "runtime/Error.h"
#include "runtime/SettingsStore.h"
#include "support/FakeMessageBox.h"
#include "support/SettingsTool.h"
#include "support/TestEnv.h"
#include "support/WindowReceiver.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toUtf8().toStdString() << '"';
}

namespace {

const QString kApp = u"Tamo for Windows NT/95"_s;

// What another process reads; "<absent>" when the value is not there.
QString storedElsewhere(const QString& section, const QString& key)
{
    const ToolRun run = runSettingsTool({u"get"_s, kApp, section, key, QString::fromLatin1(toHexUnits(u"<absent>"_s))});
    return run.exitCode == 0 ? fromHexUnits(run.out) : u"<error "_s + QString::fromUtf8(run.out) + u'>';
}

QString storedFlag() { return storedElsewhere(u"Plug in"_s, u"TamoZP"_s); }
QString storedFormat() { return storedElsewhere(u"Main"_s, u"ZPFormat"_s); }

class TextSource final : public zp::FormatSource {
public:
    explicit TextSource(QString text) : text_(std::move(text)) { }
    QString formatText() const override
    {
        ++reads;
        return text_;
    }
    mutable int reads = 0;

private:
    QString text_;
};

// Raises on the first read only: SetZP's first step fails, its second still runs.
class FailingOnceSource final : public zp::FormatSource {
public:
    QString formatText() const override
    {
        if (reads++ == 0)
            vb::raiseError(6);
        return u"%h:nn%"_s;
    }
    mutable int reads = 0;
};

vb::Error errorOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const vb::Error& e) {
        return e;
    }
    return {};
}

// A folder where the file should be: every store operation fails with 75.
void breakTheStore()
{
    QFile::remove(vb::settingsFilePath(kApp));
    QDir().mkpath(vb::settingsFilePath(kApp));
}

} // namespace

TEST(ValueNames, AsTheHostKnowsThem)
{
    EXPECT_EQ(QString::fromUtf16(zp::kAppName), u"Tamo for Windows NT/95"_s);
    EXPECT_EQ(QString::fromUtf16(zp::kSectionMain), u"Main"_s);
    EXPECT_EQ(QString::fromUtf16(zp::kKeyFormat), u"ZPFormat"_s);
    EXPECT_EQ(QString::fromUtf16(zp::kSectionPlugIn), u"Plug in"_s);
    EXPECT_EQ(QString::fromUtf16(zp::kKeyEnable), u"TamoZP"_s);
    EXPECT_EQ(QString::fromUtf16(zp::kKeyRestartRecv), u"RestartMsgRecv"_s);
    EXPECT_EQ(zp::kRestartMessage, 0x0203);
}

// ---- GetZPF --------------------------------------------------------------------------------

TEST(GetZPF, ReadsTheStoredFormat)
{
    TestEnv env;
    FakeMessageBox boxes;
    EXPECT_EQ(zp::GetZPF(), u""_s) << "nothing stored";
    EXPECT_FALSE(zp::GetZPF().isNull());
    for (const QString& format : {u"%h:nn%"_s, u"  %yyyy%/%m%/%d%  "_s, u"   "_s, u""_s, u"月齢 %o% \\%"_s}) {
        ASSERT_EQ(runSettingsTool({u"save"_s, kApp, u"Main"_s, u"ZPFormat"_s, QString::fromLatin1(toHexUnits(format))})
                      .exitCode,
                  0);
        EXPECT_EQ(zp::GetZPF(), format);
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST(GetZPF, AFailedReadReportsAndGivesEmpty)
{
    TestEnv env;
    FakeMessageBox boxes;
    const QString path = vb::settingsFilePath(kApp);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Main]\nZPFormat=%h%\njunk\n");
    file.close();

    EXPECT_EQ(zp::GetZPF(), u""_s);
    ASSERT_EQ(boxes.shown.size(), 1);
    const vb::Error expected{75, vb::errorDescription(75) + u' ' + path + u":3"_s};
    EXPECT_EQ(boxes.shown[0].prompt, zp::engineReportText(u"GetZPF"_s, expected));
    EXPECT_EQ(boxes.shown[0].style, 4112);
    EXPECT_EQ(boxes.shown[0].title, zp::reportTitle());
}

// ---- SetZP ---------------------------------------------------------------------------------

TEST(SetZP, StoresTheFlagAndTheFormatUntrimmed)
{
    TestEnv env;
    FakeMessageBox boxes;
    struct Row {
        const char* name;
        QString text;
        QString flag;
    };
    const Row rows[] = {
        {"empty", u""_s, u"0"_s},
        {"one space", u" "_s, u"0"_s},
        {"spaces only", u"     "_s, u"0"_s},
        {"a format", u"%h:nn%"_s, u"1"_s},
        {"spaces around", u"  %h:nn%  "_s, u"1"_s},
        {"a tab is not a space", u"\t"_s, u"1"_s},
        {"an ideographic space is not trimmed", u"\u3000"_s, u"1"_s},
        {"an unclosed token is stored as it is", u"%h"_s, u"1"_s},
    };
    for (const Row& row : rows) {
        const TextSource source(row.text);
        EXPECT_TRUE(zp::SetZP(source)) << row.name;
        EXPECT_EQ(source.reads, 2) << row.name << ": read once for each step";
        EXPECT_EQ(storedFlag(), row.flag) << row.name;
        EXPECT_EQ(storedFormat(), row.text) << row.name;
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST(SetZP, KeepsTheHostsValues)
{
    TestEnv env;
    FakeMessageBox boxes;
    vb::SaveSetting(kApp, u"Plug in"_s, u"RestartMsgRecv"_s, u"4242"_s);
    vb::SaveSetting(kApp, u"Window"_s, u"Top"_s, u"10"_s);
    EXPECT_TRUE(zp::SetZP(TextSource(u"%h%"_s)));
    EXPECT_EQ(storedElsewhere(u"Plug in"_s, u"RestartMsgRecv"_s), u"4242"_s);
    EXPECT_EQ(storedElsewhere(u"Window"_s, u"Top"_s), u"10"_s);
}

TEST(SetZP, AFailedStepIsReportedAndTheNextStillRuns)
{
    TestEnv env;
    FakeMessageBox boxes;
    const QString path = vb::settingsFilePath(kApp);
    struct Row {
        const char* name;
        std::function<bool()> run;
        QList<vb::Error> reported;
        QString flag;   // stored afterwards
        QString format; // stored afterwards
    };
    const Row rows[] = {
        {"the first read of the text fails",
         [] {
             const FailingOnceSource source;
             const bool ok = zp::SetZP(source);
             EXPECT_EQ(source.reads, 2);
             return ok;
         },
         {{6, vb::errorDescription(6)}}, u"1"_s, u"%h:nn%"_s},
        {"storing the flag fails (disk full)",
         [] {
             vb::injectSettingsFault(1, ENOSPC);
             const bool ok = zp::SetZP(TextSource(u"  "_s));
             vb::injectSettingsFault(0, 0);
             return ok;
         },
         {{61, vb::errorDescription(61) + u' ' + path}}, u"1"_s, u"  "_s},
        {"storing the format fails (I/O error)",
         [] {
             // The flag's save makes some fallible calls; the next operation's first one fails.
             vb::injectSettingsFault(0, 0);
             zp::SetZP(TextSource(u"x"_s)); // count the calls of one SetZP
             const int perSave = vb::settingsFallibleCalls() / 2;
             vb::injectSettingsFault(perSave + 1, EIO);
             const bool ok = zp::SetZP(TextSource(u""_s));
             vb::injectSettingsFault(0, 0);
             return ok;
         },
         {{75, vb::errorDescription(75) + u' ' + path}}, u"0"_s, u"x"_s},
        {"the store is broken", [] {
             breakTheStore();
             return zp::SetZP(TextSource(u"%h%"_s));
         },
         {{75, vb::errorDescription(75) + u' ' + path}, {75, vb::errorDescription(75) + u' ' + path}},
         u"<error>"_s, u"<error>"_s},
    };
    for (const Row& row : rows) {
        QDir(env.configHome()).removeRecursively();
        vb::SaveSetting(kApp, u"Plug in"_s, u"TamoZP"_s, u"1"_s);
        vb::SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"before"_s);
        boxes.shown.clear();

        EXPECT_FALSE(row.run()) << row.name;
        ASSERT_EQ(boxes.shown.size(), row.reported.size()) << row.name;
        for (qsizetype i = 0; i < row.reported.size(); ++i) {
            EXPECT_EQ(boxes.shown[i].prompt, zp::windowReportText(u"frmMain!SetZP"_s, row.reported[i])) << row.name;
            EXPECT_TRUE(boxes.shown[i].prompt.contains(u"場所:frmMain!SetZP - TamoZP133"_s)) << row.name;
            EXPECT_EQ(boxes.shown[i].style, 4112) << row.name;
        }
        if (row.flag == u"<error>"_s) {
            EXPECT_TRUE(storedFlag().startsWith(u"<error error 75"_s)) << row.name;
        } else {
            EXPECT_EQ(storedFlag(), row.flag) << row.name;
            EXPECT_EQ(storedFormat(), row.format) << row.name;
        }
    }
}

// ---- DisableZP -----------------------------------------------------------------------------

TEST(DisableZP, StoresZeroAndLeavesTheRest)
{
    TestEnv env;
    EXPECT_TRUE(zp::SetZP(TextSource(u"%h%"_s)));
    ASSERT_EQ(storedFlag(), u"1"_s);
    zp::DisableZP();
    EXPECT_EQ(storedFlag(), u"0"_s);
    EXPECT_EQ(storedFormat(), u"%h%"_s);
}

TEST(DisableZP, AStoreErrorReachesTheCaller)
{
    TestEnv env;
    FakeMessageBox boxes;
    breakTheStore();
    EXPECT_EQ(errorOf(zp::DisableZP).number, 75);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

// ---- RequestRestart ------------------------------------------------------------------------

TEST(RequestRestart, PostsToTheStoredHandle)
{
    TestEnv env;
    const QByteArray restart("\x03\x02\0\0\0\0\0\0\0\0\0\0", 12);
    struct Row {
        const char* name;
        std::optional<QString> stored; // RestartMsgRecv; nullopt: absent
        std::optional<qint32> window;  // the handle that gets the message, if any
    };
    const Row rows[] = {
        {"a handle", u"4242"_s, 4242},
        {"a negative handle", u"-4242"_s, -4242},
        {"the lowest handle", u"-2147483648"_s, INT32_MIN},
        {"spaces around", u" 77 "_s, 77},
        {"hexadecimal text", u"&H10"_s, 16},
        {"zero", u"0"_s, std::nullopt},
        {"absent", std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        QDir(env.configHome()).removeRecursively();
        if (row.stored)
            vb::SaveSetting(kApp, u"Plug in"_s, u"RestartMsgRecv"_s, *row.stored);
        // Listen on every handle in the table, so that a message to the wrong one shows.
        std::vector<std::unique_ptr<WindowReceiver>> windows;
        for (const Row& r : rows) {
            if (r.window)
                windows.push_back(std::make_unique<WindowReceiver>(*r.window));
        }
        WindowReceiver zero(0);
        EXPECT_EQ(errorOf(zp::RequestRestart).number, 0) << row.name;
        for (const auto& w : windows) {
            const bool addressed = row.window && w->path().endsWith(u"/window-"_s + QString::number(*row.window));
            const std::optional<QByteArray> got = w->receive(addressed ? 2000 : 0);
            EXPECT_EQ(got, addressed ? std::optional(restart) : std::nullopt) << row.name << " " << w->path().toStdString();
        }
        EXPECT_EQ(zero.receive(0), std::nullopt) << row.name;
    }
}

TEST(RequestRestart, TextThatIsNoNumberReachesTheCaller)
{
    TestEnv env;
    FakeMessageBox boxes;
    struct Row {
        QString stored;
        int number;
    };
    const Row rows[] = {{u"abc"_s, 13}, {u""_s, 13}, {u"12abc"_s, 13}, {u"2147483648"_s, 6}};
    WindowReceiver window(12);
    for (const Row& row : rows) {
        vb::SaveSetting(kApp, u"Plug in"_s, u"RestartMsgRecv"_s, row.stored);
        EXPECT_EQ(errorOf(zp::RequestRestart).number, row.number) << row.stored.toStdString();
    }
    EXPECT_EQ(window.receive(100), std::nullopt);
    EXPECT_TRUE(boxes.shown.isEmpty()) << "no guard of its own";
    breakTheStore();
    EXPECT_EQ(errorOf(zp::RequestRestart).number, 75);
}

TEST(RequestRestart, SilentWithoutAReachableHost)
{
    TestEnv env;
    const QString d = env.runtimeDir() + u"/tamo"_s;
    vb::SaveSetting(kApp, u"Plug in"_s, u"RestartMsgRecv"_s, u"4242"_s);
    EXPECT_EQ(errorOf(zp::RequestRestart).number, 0) << "no folder, no socket";
    {
        WindowReceiver window(4242);
        ASSERT_TRUE(window.bound());
        ::chmod(QFile::encodeName(d).constData(), 0711);
        EXPECT_EQ(errorOf(zp::RequestRestart).number, 0) << "D with the wrong mode";
        EXPECT_EQ(window.receive(200), std::nullopt);
        ::chmod(QFile::encodeName(d).constData(), 0700);
        EXPECT_EQ(errorOf(zp::RequestRestart).number, 0);
        EXPECT_TRUE(window.receive(2000).has_value()) << "control: the same window with D in order";
    }
    EXPECT_EQ(errorOf(zp::RequestRestart).number, 0) << "the host is gone";
}
