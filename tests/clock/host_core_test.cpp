// The host core through its interface, in process, with its own folders: reloads, the handle,
// a new time zone, and its recovery from failed reads, linked files and a settings folder that
// comes back; the real clock, bounded.

#include "clock/CalendarText.h"
#include "clock/HostCore.h"
#include "editor/ZPSettings.h"
#include "runtime/Clock.h"
#include "runtime/SettingsStore.h"
#include "runtime/WindowMessage.h"
#include "support/Common.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <cstdlib>
#include <ctime>
#include <poll.h>

using namespace Qt::StringLiterals;
using clk::HostCore;

namespace {

constexpr int kEventMs = 2000; // a loaded machine; a pass comes as soon as the event does

// A core on handle 4242 (or another) in the test's own folders, its reports kept.
struct Host {
    TestEnv env;
    vb::SettingsStore store{env.configHome()};
    QStringList reports;
    std::unique_ptr<HostCore> core;

    void save(const char16_t* section, const char16_t* key, const QString& value)
    {
        store.SaveSetting(kApp, QString::fromUtf16(section), QString::fromUtf16(key), value);
    }
    QString handle() const
    {
        return store.GetSetting(kApp, u"Plug in"_s, u"RestartMsgRecv"_s, u"<absent>"_s);
    }
    void storeFormat(const QString& format)
    {
        save(zp::kSectionPlugIn, zp::kKeyEnable, u"1"_s);
        save(zp::kSectionMain, zp::kKeyFormat, format);
    }
    bool start(qint32 handle = 4242, std::optional<QString> format = std::nullopt,
               std::optional<QString> tooltip = std::nullopt)
    {
        core = std::make_unique<HostCore>(store, HostCore::Options{format, false, handle, tooltip},
                                          [this](const QString& line) { reports << line; });
        return core->start();
    }
    // Hands every readable descriptor to the core until the text changes or `ms` pass; the
    // text then, or nullopt.
    std::optional<QString> nextText(int ms = kEventMs)
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            std::vector<pollfd> fds;
            for (const int fd : core->descriptors())
                fds.push_back({fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), int(deadline.remainingTime())) <= 0)
                continue;
            bool changed = false;
            for (const pollfd& p : fds)
                if (p.revents)
                    changed |= core->ready(p.fd);
            if (changed)
                return core->text();
        }
        return std::nullopt;
    }
    QString settingsFile() const { return store.filePath(kApp); }
};

void setZone(const char* zone)
{
    qputenv("TZ", zone);
    ::tzset();
}

int localHour(const char* zone)
{
    setZone(zone);
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    return tm.tm_hour;
}

} // namespace

TEST(HostCore, ReloadsOnTheRestartMessageAndOnAFileChangeOnly)
{
    Host h;
    h.storeFormat(u"A"_s);
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.core->text(), u"A"_s);
    EXPECT_EQ(h.handle(), u"4242"_s);
    h.save(zp::kSectionMain, zp::kKeyFormat, u"B"_s);
    EXPECT_EQ(h.nextText(), u"B"_s); // the file's change alone

    // A datagram that is not the restart message changes nothing; the restart message reloads
    // even when no file event says so (the store on another file system, say).
    for (const vb::WindowMessage m : {vb::WindowMessage{0x0202, 0, 0}, vb::WindowMessage{0x0203, 1, 0}})
        vb::PostMessage(4242, m.msg, m.wParam, m.lParam);
    EXPECT_EQ(h.nextText(300), std::nullopt);
    vb::PostMessage(4242, zp::kRestartMessage, 0, 0);
    EXPECT_EQ(h.nextText(300), std::nullopt); // B is what the file holds: no change to show
    EXPECT_TRUE(h.reports.isEmpty()) << h.reports.join(u'\n').toStdString();
}

TEST(HostCore, WithdrawsItsHandleOnlyWhileItIsItsOwn)
{
    Host h;
    ASSERT_TRUE(h.start(101));
    HostCore second(h.store, {u"x"_s, true, 102}, [](const QString&) {});
    ASSERT_TRUE(second.start());
    EXPECT_EQ(h.handle(), u"102"_s);
    h.core->stop();
    EXPECT_EQ(h.handle(), u"102"_s);
    EXPECT_FALSE(QFile::exists(h.core->socketPath()));
    second.stop();
    EXPECT_EQ(h.handle(), u"0"_s);
}

TEST(HostCore, ShowsANewTimeZoneAtItsNextWake)
{
    const QByteArray saved = qgetenv("TZ");
    Host h;
    setZone("Asia/Tokyo");
    ASSERT_TRUE(h.start(4242, u"%h%"_s));
    // Within one minute: only a reload of the zone, not the per-minute cache, can change it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int tokyo = localHour("Asia/Tokyo");
        const int newYork = localHour("America/New_York"); // TZ is New York's from here
        vb::PostMessage(4242, zp::kRestartMessage, 0, 0);
        const std::optional<QString> text = h.nextText();
        if (localHour("Asia/Tokyo") == tokyo) { // no hour began meanwhile
            EXPECT_EQ(text, QString::number(newYork));
            break;
        }
        setZone("Asia/Tokyo");
        h.nextText(0);
    }
    saved.isNull() ? qunsetenv("TZ") : qputenv("TZ", saved);
    ::tzset();
}

TEST(HostCore, AFailedReadKeepsTheFormatSaysSoOnceAndIsTriedAgain)
{
    Host h;
    h.storeFormat(u"A"_s);
    ASSERT_TRUE(h.start());
    QFile file(h.settingsFile());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("junk without an equals sign\n");
    file.close();
    EXPECT_EQ(h.nextText(500), std::nullopt); // still A, not the built-in clock
    vb::PostMessage(4242, zp::kRestartMessage, 0, 0);
    EXPECT_EQ(h.nextText(500), std::nullopt);
    ASSERT_EQ(h.reports.size(), 1);
    EXPECT_TRUE(h.reports[0].startsWith(u"cannot read the stored settings"_s)) << h.reports[0].toStdString();

    // Mended by hand, in place: the next wake reads it.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Plug in]\nTamoZP=1\nRestartMsgRecv=4242\n[Main]\nZPFormat=C\n");
    file.close();
    EXPECT_EQ(h.nextText(), u"C"_s);
    EXPECT_EQ(h.reports.size(), 1);
}

TEST(HostCore, FollowsASettingsFileThatIsALink)
{
    Host h;
    const QString real = h.env.root() + u"/dotfiles/tamo.ini"_s;
    ASSERT_TRUE(QDir().mkpath(h.env.root() + u"/dotfiles"_s));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(h.settingsFile()).path()));
    ASSERT_TRUE(QFile::link(real, h.settingsFile()));
    h.storeFormat(u"A"_s);
    ASSERT_TRUE(h.start());
    ASSERT_TRUE(QFileInfo(h.settingsFile()).isSymLink()); // the store wrote through the link
    EXPECT_EQ(h.core->text(), u"A"_s);
    h.save(zp::kSectionMain, zp::kKeyFormat, u"B"_s);
    EXPECT_EQ(h.nextText(), u"B"_s);

    // The link turned to another file: followed there.
    const QString other = h.env.root() + u"/other/tamo.ini"_s;
    ASSERT_TRUE(QDir().mkpath(h.env.root() + u"/other"_s) && QFile::copy(real, other));
    ASSERT_TRUE(QFile::remove(h.settingsFile()) && QFile::link(other, h.settingsFile()));
    h.nextText(300);
    h.save(zp::kSectionMain, zp::kKeyFormat, u"C"_s);
    EXPECT_EQ(h.nextText(), u"C"_s);
}

TEST(HostCore, ASettingsFolderThatComesBackIsReloadedAndTheHandleIsPublishedAgain)
{
    Host h;
    h.storeFormat(u"A"_s);
    ASSERT_TRUE(h.start());
    const QString folder = QFileInfo(h.settingsFile()).path();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    h.nextText(300);
    h.storeFormat(u"D"_s); // a settings reset: folder and file made again, without a handle
    EXPECT_EQ(h.nextText(), u"D"_s);
    EXPECT_EQ(h.handle(), u"4242"_s);

    // A handle that another host holds stays its own.
    h.save(zp::kSectionPlugIn, zp::kKeyRestartRecv, u"77"_s);
    h.nextText(300);
    EXPECT_EQ(h.handle(), u"77"_s);
}

// The real clock, bounded: a text of minutes beside a tooltip of seconds wakes the host every
// second, and each change of the tooltip alone counts. Two changes in a row rule out a wake on
// the text's minute.
TEST(HostCore, WakesForTheFinerKeyAndATooltipThatChangesAlone)
{
    Host h;
    ASSERT_TRUE(h.start(4242, u"%h%時"_s, u"%h:nn:ss%"_s));
    for (int change = 0; change < 2; ++change) {
        const QString text = h.core->text();
        const QString tooltip = h.core->tooltip();
        ASSERT_TRUE(h.nextText(3000).has_value()) << change;
        if (h.core->text() == text) { // an hour that began meanwhile changes both
            EXPECT_NE(h.core->tooltip(), tooltip) << change;
        }
    }
    EXPECT_TRUE(h.reports.isEmpty()) << h.reports.join(u'\n').toStdString();
}

// The instant is injected and each refresh brought by the restart message: the calendar turns
// at local midnight, and with it alone (a text of minutes that stays "0:00").
TEST(HostCore, ACalendarTooltipTurnsWithTheDateOnly)
{
    Host h;
    const auto at = [&](const vb::DateValue& instant) {
        vb::setFixedNow(instant);
        vb::PostMessage(4242, zp::kRestartMessage, 0, 0);
        return h.nextText();
    };
    const auto calendar = [](int year, int month, int day) {
        return clk::calendarText(zp::monthCalendar(year, month), vb::DateValue(year, month, day), clk::CalendarStyle::Markup);
    };
    vb::setFixedNow(vb::DateValue(2026, 5, 31, 23, 58));
    h.core = std::make_unique<HostCore>(h.store, HostCore::Options{u"%h:nn%"_s, false, 4242, std::nullopt, clk::CalendarTooltip()},
                                        [&](const QString& line) { h.reports << line; });
    ASSERT_TRUE(h.core->start());
    EXPECT_EQ(h.core->tooltip(), calendar(2026, 5, 31));
    EXPECT_EQ(at(vb::DateValue(2026, 5, 31, 23, 59, 59)), u"23:59"_s);
    EXPECT_EQ(h.core->tooltip(), calendar(2026, 5, 31));
    EXPECT_EQ(at(vb::DateValue(2026, 6, 1)), u"0:00"_s);
    EXPECT_EQ(h.core->tooltip(), calendar(2026, 6, 1));
    EXPECT_EQ(at(vb::DateValue(2026, 6, 2)), u"0:00"_s) << "the tooltip's change alone is a change";
    EXPECT_EQ(h.core->tooltip(), calendar(2026, 6, 2));
    vb::setFixedNow(std::nullopt);
    EXPECT_TRUE(h.reports.isEmpty()) << h.reports.join(u'\n').toStdString();
}

TEST(ClockFollow, ExitsWithOneWhenItsFirstLineCannotBeWritten)
{
    TestEnv env;
    for (const char* output : {">/dev/full", ">&-"}) {
        const std::string command =
            std::string(TAMO_CLOCK_PROGRAM) + " --follow --format x " + output + " 2>/dev/null";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << output << " " << status;
    }
}
