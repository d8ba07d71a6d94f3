// tamo-clock's calendar: three months whole, as the terminal and waybar's tooltip show them (an
// era's change, a 振替休日, a month that starts on Saturday), the colours on a pseudo-terminal
// and their absence for NO_COLOR and a pipe, the title's width, and the year's holidays.

#include "clock/CalendarText.h"
#include "engine/MonthCalendar.h"
#include "runtime/Clock.h"
#include "support/QtPrinters.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QXmlStreamReader>

#include <map>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace clk;
using namespace Qt::StringLiterals;

namespace {

const QString kProgram = QStringLiteral(TAMO_CLOCK_PROGRAM);

// The blocks of data/calendars.txt by their names, ESC for ^[.
std::map<QString, QString> blocks()
{
    QFile file(QStringLiteral(TAMO_DATA_DIR "/calendars.txt"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::map<QString, QString> result;
    QString* block = nullptr;
    for (QString line; !file.atEnd();) {
        line = QString::fromUtf8(file.readLine()).replace(u"^["_s, u"\x1b"_s);
        if (line.startsWith(u"== "_s))
            block = &result[line.mid(3).chopped(1)];
        else if (block)
            *block += line;
    }
    return result;
}

// Standard output of tamo-clock run on a pipe, and its exit status.
std::pair<QByteArray, int> runOnAPipe(const QStringList& args)
{
    TestEnv env;
    QProcess clock;
    clock.start(kProgram, args);
    const bool ended = clock.waitForFinished(10000);
    return {clock.readAllStandardOutput(), ended ? clock.exitCode() : -1};
}

// Standard output of tamo-clock run on a pseudo-terminal, the terminal's CR LF read back as LF.
QByteArray runOnATerminal(const QStringList& args, const char* noColor)
{
    QList<QByteArray> argv{QFile::encodeName(kProgram)};
    for (const QString& a : args)
        argv << a.toUtf8();
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        noColor ? ::setenv("NO_COLOR", noColor, 1) : ::unsetenv("NO_COLOR");
        std::vector<char*> pointers;
        for (QByteArray& a : argv)
            pointers.push_back(a.data());
        pointers.push_back(nullptr);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    QByteArray out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) // EIO once the child has gone
        out.append(buffer, n);
    ::close(master);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return out.replace("\r\n", "\n");
}

bool wellFormed(const QString& markup)
{
    QXmlStreamReader reader(markup);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

} // namespace

// Each month three ways: the renderer, tamo-clock --calendar on a pipe (no colour), and the JSON
// tooltip, which --calendar-tooltip gives even beside --tooltip.
TEST(Calendar, ThreeMonthsAsTextAndAsMarkup)
{
    int months = 0;
    for (const auto& [name, expected] : blocks()) {
        const QStringList what = name.split(u' '); // month, today, form
        if (what[0] == u"holidays" || what[2] == u"sgr")
            continue;
        const vb::DateValue today(what[1].left(4).toInt(), what[1].mid(5, 2).toInt(), what[1].mid(8).toInt());
        const bool markup = what[2] == u"markup";
        const QString text = calendarText(zp::monthCalendar(today.year(), today.month()), today,
                                          markup ? CalendarStyle::Markup : CalendarStyle::Plain);
        EXPECT_EQ(markup ? text + u'\n' : text, expected) << name.toStdString();
        const QString at = what[1] + u"T12:00"_s;
        if (markup) {
            EXPECT_TRUE(wellFormed(text)) << name.toStdString();
            const auto [line, status] = runOnAPipe({u"--json"_s, u"--tooltip"_s, u"%yyyy%"_s, u"--calendar-tooltip"_s,
                                                   u"--format"_s, u"%d%"_s, u"--at"_s, at});
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            EXPECT_EQ(status, 0);
            EXPECT_EQ(object.value(u"text").toString(), QString::number(today.day())) << name.toStdString();
            EXPECT_EQ(object.value(u"tooltip").toString(), text) << name.toStdString();
        } else {
            EXPECT_EQ(runOnAPipe({u"--calendar"_s, what[0], u"--at"_s, at}), std::pair(text.toUtf8(), 0)) << name.toStdString();
        }
        ++months;
    }
    EXPECT_EQ(months, 6);
}

TEST(Calendar, ColoursOnATerminalOnly)
{
    const auto data = blocks();
    const QString sgr = data.at(u"2026-05 2026-05-06 sgr"_s);
    const zp::MonthCalendar may = zp::monthCalendar(2026, 5);
    EXPECT_EQ(calendarText(may, vb::DateValue(2026, 5, 6), CalendarStyle::Sgr), sgr);
    // The 6th of another month is not today here.
    EXPECT_FALSE(calendarText(may, vb::DateValue(2026, 6, 6), CalendarStyle::Sgr).contains(u"7m"_s));
    EXPECT_FALSE(calendarText(may, vb::DateValue(2026, 6, 6), CalendarStyle::Markup).contains(u"<b>"_s));

    const QStringList args{u"--calendar"_s, u"2026-05"_s, u"--at"_s, u"2026-05-06T12:00"_s};
    EXPECT_EQ(runOnATerminal(args, nullptr), sgr.toUtf8());
    for (const char* noColor : {"", "1"})
        EXPECT_EQ(runOnATerminal(args, noColor), data.at(u"2026-05 2026-05-06 text"_s).toUtf8()) << "NO_COLOR=" << noColor;
}

TEST(Calendar, TitleCentredByCellsNamesEscaped)
{
    for (const auto& [text, cells] : std::initializer_list<std::pair<QString, int>>{
             {u"令和8年(2026年) 12月"_s, 20}, {u"abc"_s, 3}, {u"Ａｱ"_s, 3}, {u"e\u0301\u200d"_s, 1},
             {u"\U0001F550\t"_s, 2}, {u"・𠮷"_s, 4}})
        EXPECT_EQ(displayWidth(text), cells) << text.toStdString();

    zp::MonthCalendar calendar = zp::monthCalendar(2026, 5);
    calendar.days[0].holiday = u"A&B<C>"_s;
    for (const auto& [title, line] : std::initializer_list<std::pair<QString, QString>>{
             {u"May"_s, u"        May"_s}, {u"2026年5月"_s, u"     2026年5月"_s}, {u"x"_s.repeated(19), u"x"_s.repeated(19)}}) {
        calendar.title = title;
        EXPECT_EQ(calendarText(calendar, std::nullopt, CalendarStyle::Plain).section(u'\n', 0, 0), line);
    }
    EXPECT_TRUE(calendarText(calendar, std::nullopt, CalendarStyle::Markup).contains(u"\n 1日(金) A&amp;B&lt;C&gt;\n"_s));
}

// Outside the years with holiday data the month says so; June 1948, before the law, has data
// and no holidays, so it shows neither.
TEST(Calendar, MonthsWithoutHolidayData)
{
    const QString note = u"祝日のデータは1948年から2099年までです"_s;
    for (const auto& [year, month, noted] : {std::tuple{1947, 5, true}, {2100, 1, true}, {1948, 6, false}}) {
        const QStringList lines = calendarText(zp::monthCalendar(year, month), std::nullopt, CalendarStyle::Plain).split(u'\n');
        EXPECT_EQ(lines.contains(note), noted) << year;
        EXPECT_EQ(lines.count(QString()), noted ? 3 : 2) << year; // the sections' gaps, and the end
    }
}

TEST(Calendar, HolidaysOfAYear)
{
    EXPECT_EQ(runOnAPipe({u"--holidays"_s, u"2026"_s}), std::pair(blocks().at(u"holidays 2026"_s).toUtf8(), 0));
    EXPECT_TRUE(holidayLines(1947).isEmpty());
}

// The month's three sources, and values that look like a month taken only after --calendar.
TEST(Calendar, MonthGivenNextAfterEqualsFromAtOrNow)
{
    const auto title = [](const QStringList& args) { return QString::fromUtf8(runOnAPipe(args).first).section(u'\n', 0, 0); };
    const QString may = u"令和8年(2026年) 5月"_s;
    EXPECT_EQ(title({u"--calendar"_s, u"2026-05"_s}), may);
    EXPECT_EQ(title({u"--calendar=2026-05"_s}), may);
    EXPECT_EQ(title({u"--at"_s, u"2026-05-31 23:59"_s, u"--calendar"_s}), may);
    EXPECT_EQ(title({u"--calendar"_s, u"--at"_s, u"2019-05-01T00:00"_s}), u"令和元年(2019年) 5月"_s);
    EXPECT_EQ(title({u"--calendar"_s, u"1989-01"_s, u"--at"_s, u"2026-05-06T00:00"_s}), u"昭和64年・平成元年(1989年) 1月"_s);
    const vb::DateValue before = vb::Now();
    const QString now = title({u"--calendar"_s});
    const vb::DateValue after = vb::Now();
    EXPECT_TRUE(now == zp::monthCalendar(before.year(), before.month()).title
                || now == zp::monthCalendar(after.year(), after.month()).title) << now.toStdString();
    // A format that reads like the option is a format.
    EXPECT_EQ(runOnAPipe({u"--format"_s, u"--calendar=2026-05"_s}), std::pair(QByteArray("--calendar=2026-05\n"), 0));
}

TEST(Calendar, TooltipIsBuiltOncePerDate)
{
    CalendarTooltip tooltip;
    const QString morning = tooltip(vb::DateValue(2026, 5, 6, 0, 0));
    const QString evening = tooltip(vb::DateValue(2026, 5, 6, 23, 59, 59));
    EXPECT_EQ(morning.constData(), evening.constData()) << "the same markup, not built again";
    const QString next = tooltip(vb::DateValue(2026, 5, 7));
    EXPECT_NE(next, morning);
    EXPECT_EQ(next, calendarText(zp::monthCalendar(2026, 5), vb::DateValue(2026, 5, 7), CalendarStyle::Markup));
}
