// TamoClock's window driven through its real widgets, offscreen, at a fixed instant, with its own
// store, recording launcher and boxes, and a real host core; its month calendar; its desktop
// ties; a second start.

#include "clock/FollowHost.h"
#include "deskclock/CalendarPopup.h"
#include "deskclock/ClockWindow.h"
#include "deskclock/Desktop.h"
#include "gui/SingleInstance.h"
#include "editor/ZPSettings.h"
#include "runtime/Clock.h"
#include "runtime/RuntimeFolder.h"
#include "support/Common.h"
#include "support/FakeMessageBox.h"
#include "support/TestEnv.h"

#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kReporting = u"%kkXh:nn%"_s; // a format whose expansion reports error 13

struct Typed final : zp::FormatSource { // what TamoZP's txtSet holds when OK is pressed
    explicit Typed(QString text) : text(std::move(text)) { }
    QString formatText() const override { return text; }
    QString text;
};

// One run of the program: its store, boxes, report sink, launcher and window. Boxes, the sink
// and the reports install themselves in that order, so the engine's reports reach the sink.
struct Session {
    TestEnv env;
    vb::SettingsStore store{env.configHome()};
    FakeMessageBox boxes, sink;
    deskclock::EngineReports reports{sink};
    QStringList lines, launched;
    QString programPath = u"/opt/tamo/bin/TamoClock"_s;
    bool launcherWorks = true;
    std::optional<vb::DateValue> today; // the window's own clock; else the fixed instant
    std::optional<int> ended;
    std::unique_ptr<deskclock::ClockWindow> window;

    Session() { vb::setFixedNow(vb::DateValue(2001, 3, 29, 14, 5, 9)); }
    ~Session() { window.reset(); vb::setFixedNow(std::nullopt); }
    // Builds, loads and shows the window as main does, until its host runs; false when it ended.
    bool open()
    {
        window.reset();
        const auto end = [this](int status) { ended = status; };
        const auto launch = [this](const QString& p) { launched << p; return launcherWorks; };
        const auto line = [this](const QString& l) { lines << l; };
        window = std::make_unique<deskclock::ClockWindow>(
            gui::WindowServices{.store = store, .boxes = boxes, .now = [this] { return today.value_or(vb::Now()); },
                                .end = end, .launch = launch},
            deskclock::ClockWindow::Setup{.reports = reports, .lines = line, .programPath = programPath,
                                          .stillClock = true});
        if (!window->load())
            return false;
        window->show();
        return QTest::qWaitFor([this] { return window->hostRunning() || ended; }) && !ended;
    }
    // TamoZP's OK: the flag and the format stored, then the restart request.
    void ok(const QString& format) { zp::SetZP(store, Typed(format)), zp::RequestRestart(store); }
    QString handle() const { return store.GetSetting(kApp, u"Plug in"_s, u"RestartMsgRecv"_s, {}); }
    QAction* action(const QString& name) const { return window->contextMenu()->findChild<QAction*>(name); }
    QLabel* label(const QString& name) const { return window->findChild<QLabel*>(name); }
    // A plain left click on the clock through its window, which hands it to an open popup as the
    // window system does; the calendar after it.
    deskclock::CalendarPopup* click() const
    {
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, window->rect().center());
        return window->calendar();
    }
    // The tooltip a widget of the window shows when the pointer rests on it.
    QString tooltipOf(QWidget* widget) const
    {
        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, {}, widget->mapToGlobal(QPoint()));
        QApplication::sendEvent(widget, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
};

} // namespace

class ClockWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { vb::setProgramTitle(u"TamoClock"_s); }


    // The stored format only when the flag is exactly "1"; a line break gives a second line. Within
    // a second, what others write: TamoZP's OK (SetZP, restart request), a flag by hand, the
    // uninstaller's delete. A report marks the window (the mark's tooltip) and goes once to stderr.
    void shows_data()
    {
        QTest::addColumn<QString>("flag");   // null: absent
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("change"); // after the start: "ok <format>", "flag 0" or "delete"
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("report"); // a line the mark's report holds; empty: no mark
        const QString date = u"%yyyy%/%m%/%d% %h:nn%"_s, day = u"%m%月%d%日 %h:nn%"_s, none;
        const QString place = u"場所:KTime-ZPModule1.33.2485"_s;
        QTest::newRow("stored format, flag 1") << u"1"_s << date << none << u"2001/3/29 14:05"_s << none;
        QTest::newRow("built-in clock, flag 0") << u"0"_s << date << none << u"14:05"_s << none;
        QTest::newRow("built-in clock, no flag") << none << date << none << u"14:05"_s << none;
        QTest::newRow("built-in clock, flag ' 1'") << u" 1"_s << date << none << u"14:05"_s << none;
        QTest::newRow("a line break") << u"1"_s << u"%h:nn%\n%d%日"_s << none << u"14:05\n29日"_s << none;
        QTest::newRow("unclosed token: ZPErr, no mark") << u"1"_s << u"%h:nn"_s << none << u"ZPErr"_s << none;
        QTest::newRow("TamoZP's OK") << u"1"_s << day << u"ok %h:nn:ss%"_s << u"14:05:09"_s << none;
        QTest::newRow("TamoZP's OK, empty: disabled") << u"1"_s << day << u"ok "_s << u"14:05"_s << none;
        QTest::newRow("the flag set to 0 by hand") << u"1"_s << day << u"flag 0"_s << u"14:05"_s << none;
        QTest::newRow("uninstaller deletes the flag") << u"1"_s << day << u"delete"_s << u"14:05"_s << none;
        QTest::newRow("a report") << u"1"_s << kReporting << none << u"14:05"_s << place;
        QTest::newRow("reported again") << u"1"_s << kReporting << u"ok %kkXh:nn% "_s << u"14:05 "_s << place;
        QTest::newRow("clean: no mark") << u"1"_s << kReporting << u"ok %h:nn:ss%"_s << u"14:05:09"_s << none;
    }
    void shows()
    {
        QFETCH(QString, flag);
        QFETCH(QString, format);
        QFETCH(QString, change);
        QFETCH(QString, text);
        QFETCH(QString, report);
        Session s;
        if (!flag.isNull())
            s.store.SaveSetting(kApp, u"Plug in"_s, u"TamoZP"_s, flag);
        s.store.SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, format);
        QVERIFY(s.open());
        if (change.startsWith(u"ok "))
            s.ok(change.mid(3));
        else if (change == u"flag 0")
            s.store.SaveSetting(kApp, u"Plug in"_s, u"TamoZP"_s, u"0"_s);
        else if (change == u"delete")
            s.store.DeleteSetting(kApp, u"Plug in"_s, u"TamoZP"_s);
        else
            QCOMPARE(s.window->text(), text); // from the first paint
        QTRY_COMPARE_WITH_TIMEOUT(s.window->text(), text, 1000);
        QLabel *clock = s.label(u"lblClock"_s), *mark = s.label(u"lblReport"_s);
        QVERIFY(clock->sizeHint().height() >= (text.count(u'\n') + 1) * clock->fontMetrics().lineSpacing());
        const QString shown = s.window->report();
        QCOMPARE(mark->isVisible(), !report.isEmpty());
        QVERIFY(report.isEmpty() ? shown.isEmpty() : shown.split(u'\n').contains(report));
        QVERIFY(report.isEmpty() || shown.startsWith(u"エラー - TamoZP\nエラー番号:13\n"_s));
        QVERIFY(report.isEmpty() || s.tooltipOf(mark) == shown);
        QCOMPARE(s.sink.shown.size(), format == kReporting ? 1 : 0);
        QVERIFY(format != kReporting || s.reports.count() >= 2); // the first text, the host's start...
        QCOMPARE(s.lines.size() + s.boxes.shown.size(), 0);
    }

    // The clock's tooltip: today's date when the pointer rests there; an era's first year reads 1.
    void dateTooltip()
    {
        Session s;
        QVERIFY(s.open());
        vb::setFixedNow(vb::DateValue(2019, 5, 1));
        QCOMPARE(s.tooltipOf(s.label(u"lblClock"_s)), u"令和1年5月1日(水)"_s);
    }

    // A host that cannot start (its folder open to others) is explained in a box and on stderr: 1.
    // Started while a window holds the lock, the program raises that window (minimised behind
    // another) and ends with 0, silent, publishing nothing; the first withdraws its handle on close.
    void start()
    {
        Session broken;
        const QString folder = broken.env.runtimeDir() + u"/tamo"_s;
        QVERIFY(QDir().mkdir(folder) && ::chmod(QFile::encodeName(folder).constData(), 0701) == 0);
        QVERIFY(!broken.open() && broken.ended == 1 && broken.handle().isEmpty() && !broken.lines.isEmpty());
        QCOMPARE(broken.boxes.shown.value(0).prompt, u"時計を開始できません。\r\n"_s + broken.lines.last());
        Session s;
        gui::SingleInstance instance(u"TamoClock"_s, vb::runtimeFolder());
        QVERIFY(!instance.anotherInstanceRunning() && s.open());
        instance.raiseOnRequest(s.window.get());
        QWidget above;
        s.window->showMinimized();
        above.show();
        QVERIFY(QTest::qWaitForWindowActive(&above));
        QProcess second;
        second.start(QStringLiteral(TAMOCLOCK_PATH), {});
        QVERIFY(second.waitForFinished(30000));
        QVERIFY(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
        QCOMPARE(second.readAllStandardOutput() + second.readAllStandardError(), QByteArray());
        QTRY_VERIFY(s.window->isActiveWindow() && !s.window->isMinimized());
        QCOMPARE(s.handle(), QString::number(::getpid()));
        s.window.reset();
        QCOMPARE(s.handle(), u"0"_s);
    }

    // 設定 starts TamoZP or says in a box it cannot; so does ログイン時に起動 where its folder cannot be
    // made. Place, size, text size and toggles come back on the next start, apart from the plug-in's.
    void menu()
    {
        Session s;
        QVERIFY(s.open());
        s.action(u"actSettings"_s)->trigger();
        s.launcherWorks = false;
        s.action(u"actSettings"_s)->trigger();
        QCOMPARE(s.launched, QStringList({u"TamoZP"_s, u"TamoZP"_s}));
        QVERIFY(s.boxes.shown.size() == 1 && s.boxes.shown[0].prompt == u"TamoZP を起動できませんでした。"_s);
        QVERIFY(QFile(s.env.configHome() + u"/autostart"_s).open(QIODevice::WriteOnly)); // not a folder
        s.action(u"actAutostart"_s)->trigger();
        QVERIFY(!s.action(u"actAutostart"_s)->isChecked() && s.boxes.shown.size() == 2);
        QVERIFY(s.boxes.shown[1].prompt.startsWith(u"ログイン時の起動を設定できませんでした。\r\n"_s));
        s.window->resize(s.window->width() + 40, s.window->height() + 20);
        s.window->move(100, 120);
        for (const QString& name : {u"actOnTop"_s, u"actFrameless"_s, u"actLarger"_s, u"actLarger"_s})
            s.action(name)->trigger();
        const QRect place(s.window->pos(), s.window->size());
        s.window->close();
        QVERIFY(s.open());
        QCOMPARE(QRect(s.window->pos(), s.window->size()), place);
        QCOMPARE(s.window->textPoints(), 32.0);
        QVERIFY(s.window->windowFlags().testFlags(Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint));
        QCOMPARE(s.store.GetSetting(u"TamoClock"_s, u"Window"_s, u"OnTop"_s, {}), u"1"_s);
        QCOMPARE(s.store.GetSetting(kApp, u"Window"_s, u"OnTop"_s, {}), QString());
    }

    // ログイン時に起動 writes the autostart entry, Exec the program's path as one argument however
    // spelt, valid as the installed menu entry is (when the validator is there); again, removes it.
    void autostart_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << u"/usr/bin/TamoClock"_s << u"/usr/bin/TamoClock"_s;
        QTest::newRow("a space: quoted") << u"/home/a b/TamoClock"_s << u"\"/home/a b/TamoClock\""_s;
        QTest::newRow("a percent sign: doubled") << u"/opt/50%/TamoClock"_s << u"/opt/50%%/TamoClock"_s;
        QTest::newRow("dollar and quote: escaped") << uR"(/x/$a "q"/T)"_s << uR"("/x/\\$a \\"q\\"/T")"_s;
        QTest::newRow("a backslash: four") << uR"(/a\b/T)"_s << uR"("/a\\\\b/T")"_s;
        QTest::newRow("Japanese: as it is") << u"/home/時計/TamoClock"_s << u"/home/時計/TamoClock"_s;
    }
    void autostart()
    {
        Session s;
        QFETCH(QString, path);
        s.programPath = path;
        QVERIFY(s.open());
        QAction* item = s.action(u"actAutostart"_s);
        QFile entry(s.env.configHome() + u"/autostart/TamoClock.desktop"_s);
        item->trigger();
        QVERIFY(item->isChecked() && entry.open(QIODevice::ReadOnly));
        QTEST(QString::fromUtf8(entry.readAll()).section(u"\nExec="_s, 1).section(u'\n', 0, 0), "exec");
        QProcess check;
        check.start(u"desktop-file-validate"_s, {entry.fileName(), QStringLiteral(TAMOCLOCK_DESKTOP_ENTRY)});
        check.waitForFinished();
        QCOMPARE(check.readAllStandardOutput() + check.readAllStandardError(), QByteArray());
        item->trigger();
        QVERIFY(!item->isChecked() && !entry.exists() && s.boxes.shown.isEmpty());
    }

    // The stored place kept on a screen, pulled onto it past an edge, else the primary screen's. A
    // frameless drag moves the window; a press and release within the drag distance is a click.
    void geometry_data()
    {
        QTest::addColumn<QString>("stored"); // null: nothing stored
        QTest::addColumn<bool>("frameless");
        QTest::addColumn<QPoint>("drag");
        QTest::addColumn<QPoint>("at");      // give or take a frame; (-1, -1): anywhere on the primary screen
        QTest::addColumn<int>("clicks");
        const QString place = u"100,120,200,80"_s;
        const QPoint primary(-1, -1), still;
        QTest::newRow("on the screen") << place << false << still << QPoint(100, 120) << 1;
        QTest::newRow("past an edge") << u"700,120,200,80"_s << false << still << QPoint(600, 120) << 1;
        QTest::newRow("off to the right") << u"5000,100,200,80"_s << false << still << primary << 1;
        QTest::newRow("only a corner showing") << u"-190,-70,200,80"_s << false << still << primary << 1;
        QTest::newRow("not four numbers") << u"100,x,200,80"_s << false << still << primary << 1;
        QTest::newRow("nothing stored") << QString() << false << still << primary << 1;
        QTest::newRow("frameless, dragged") << place << true << QPoint(40, 30) << QPoint(140, 150) << 0;
        QTest::newRow("frameless, a tremor") << place << true << QPoint(1, 1) << QPoint(100, 120) << 1;
        QTest::newRow("framed, dragged") << place << false << QPoint(40, 30) << QPoint(100, 120) << 0;
    }
    void geometry()
    {
        QFETCH(QString, stored);
        QFETCH(bool, frameless);
        QFETCH(QPoint, drag);
        QFETCH(QPoint, at);
        Session s;
        if (!stored.isNull())
            s.store.SaveSetting(u"TamoClock"_s, u"Window"_s, u"Geometry"_s, stored);
        s.store.SaveSetting(u"TamoClock"_s, u"Window"_s, u"Frameless"_s, frameless ? u"1"_s : u"0"_s);
        QVERIFY(s.open());
        QSignalSpy clicked(s.window.get(), &deskclock::ClockWindow::clicked);
        const QPoint local = s.window->rect().center();
        const auto send = [&](QEvent::Type type, QPoint offset, Qt::MouseButtons held) {
            QMouseEvent event(type, local, s.window->mapToGlobal(local) + offset, Qt::LeftButton, held, {});
            QApplication::sendEvent(s.window.get(), &event);
        };
        send(QEvent::MouseButtonPress, {}, Qt::LeftButton);
        send(QEvent::MouseMove, drag / 2, Qt::LeftButton);
        send(QEvent::MouseMove, drag - drag / 2, Qt::LeftButton); // the window has moved by half
        send(QEvent::MouseButtonRelease, {}, Qt::NoButton);
        QVERIFY2(at == QPoint(-1, -1) || (s.window->pos() - at).manhattanLength() <= 8, qPrintable(stored));
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(s.window->frameGeometry()));
        QTEST(int(clicked.size()), "clicks");
        QCOMPARE(s.window->calendar() && s.window->calendar()->isVisible(), clicked.size() == 1);
    }

    // A click opens the month of the window's clock (not the fixed instant) just under the window,
    // today marked; a click on the clock closes it and does not open it again, and so does Esc.
    void calendarOpens()
    {
        Session s;
        s.today = vb::DateValue(2026, 12, 7, 9, 30);
        QVERIFY(s.open());
        deskclock::CalendarPopup* popup = s.click();
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->geometry().top(), s.window->frameGeometry().bottom() + 1);
        QCOMPARE(popup->geometry().right(), s.window->screen()->availableGeometry().right()); // the window is at the right
        QCOMPARE(popup->title(), u"令和8年(2026年) 12月"_s);
        QCOMPARE(popup->line(), u"12月7日(月) 月齢 27 ( "_s);
        for (int day : {6, 7, 8})
            QCOMPARE(popup->dayCell(day)->font().bold() && popup->dayCell(day)->frameShape() == QFrame::Box, day == 7);
        QVERIFY(!s.click()->isVisible());
        QVERIFY(s.click()->isVisible());
        QTest::keyClick(popup, Qt::Key_Escape);
        QVERIFY(!popup->isVisible());
    }

    // Sundays and holidays red, Saturdays blue, others as the palette says; a holiday's name is its
    // day's tooltip; the line under the grid tells the day under the pointer, else today.
    void calendarDays_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QColor>("colour"); // invalid: the palette's
        QTest::addColumn<QString>("holiday");
        QTest::addColumn<QString>("line");
        const QColor red(0xd3, 0x2f, 0x2f), blue(0x19, 0x76, 0xd2), none;
        QTest::newRow("文化の日") << QDate(2026, 11, 3) << red << u"文化の日"_s << u"11月3日(火) 文化の日 月齢 22 (|"_s;
        QTest::newRow("振替休日") << QDate(2026, 5, 6) << red << u"振替休日"_s << u"5月6日(水) 振替休日 月齢 19 ○"_s;
        QTest::newRow("a Sunday") << QDate(2026, 11, 1) << red << QString() << u"11月1日(日) 月齢 20 ○"_s;
        QTest::newRow("a Saturday") << QDate(2026, 11, 7) << blue << QString() << u"11月7日(土) 月齢 26 ( "_s;
        QTest::newRow("a working day") << QDate(2026, 11, 4) << none << QString() << u"11月4日(水) 月齢 23 (|"_s;
    }
    void calendarDays()
    {
        QFETCH(QDate, date);
        QFETCH(QColor, colour);
        Session s;
        s.today = vb::DateValue(date.year(), date.month(), 20);
        QVERIFY(s.open());
        deskclock::CalendarPopup* popup = s.click();
        QLabel* cell = popup->dayCell(date.day());
        QCOMPARE(cell->text(), QString::number(date.day()));
        QCOMPARE(cell->palette().color(QPalette::WindowText), colour.isValid() ? colour : popup->palette().color(QPalette::WindowText));
        QTEST(s.tooltipOf(cell), "holiday");
        const QString today = popup->line();
        QTest::mouseMove(cell, cell->rect().center());
        QTEST(popup->line(), "line");
        QTest::mouseMove(popup->findChild<QLabel*>(u"lblTitle"_s));
        QCOMPARE(popup->line(), today);
        QVERIFY(today.startsWith(u"%1月20日("_s.arg(date.month())));
    }

    // The keys, the wheel and the arrows step through the months, across a year and an era, not
    // past the first and last months the calendar has; Home goes back to today's.
    void calendarMonths_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("steps");  // keys, wheel turns in eighths of a degree, arrows
        QTest::addColumn<QString>("shown");  // year-month
        QTest::addColumn<QString>("title");  // empty: not checked
        const QDate december(2026, 12, 7);
        const QString november = u"令和8年(2026年) 11月"_s, january = u"令和9年(2027年) 1月"_s;
        QTest::newRow("Right: the next year") << december << u"Right"_s << u"2027-1"_s << january;
        QTest::newRow("PageUp") << december << u"PgUp"_s << u"2026-11"_s << november;
        QTest::newRow("Left, Left, PageDown") << december << u"Left Left PgDn"_s << u"2026-11"_s << november;
        QTest::newRow("the wheel, both ways") << december << u"wheel-120 wheel+120 wheel+120"_s << u"2026-11"_s << november;
        QTest::newRow("half turns add up") << december << u"wheel+60 wheel+60 wheel-60"_s << u"2026-11"_s << november;
        QTest::newRow("the arrows") << december << u"› › ‹"_s << u"2027-1"_s << january;
        QTest::newRow("Home: today's month") << december << u"Right Right Home"_s << u"2026-12"_s << QString();
        QTest::newRow("into an era's change") << QDate(1989, 2, 1) << u"Left"_s << u"1989-1"_s
                                              << u"昭和64年・平成元年(1989年) 1月"_s;
        QTest::newRow("not before year 100") << QDate(100, 2, 1) << u"Left Left ‹"_s << u"100-1"_s << QString();
        QTest::newRow("not after year 9999") << QDate(9999, 11, 1) << u"Right wheel-240"_s << u"9999-12"_s << QString();
    }
    void calendarMonths()
    {
        QFETCH(QDate, today);
        QFETCH(QString, steps);
        QFETCH(QString, title);
        Session s;
        s.today = vb::DateValue(today.year(), today.month(), today.day());
        QVERIFY(s.open());
        deskclock::CalendarPopup* popup = s.click();
        const std::map<QString, Qt::Key> keys{{u"Left"_s, Qt::Key_Left}, {u"Right"_s, Qt::Key_Right},
                                              {u"PgUp"_s, Qt::Key_PageUp}, {u"PgDn"_s, Qt::Key_PageDown},
                                              {u"Home"_s, Qt::Key_Home}};
        for (const QString& step : steps.split(u' ')) {
            if (keys.contains(step)) {
                QTest::keyClick(popup, keys.at(step));
            } else if (step.startsWith(u"wheel")) {
                const QPoint at = popup->rect().center();
                QWheelEvent wheel(at, popup->mapToGlobal(at), {}, {0, step.mid(5).toInt()}, {}, {}, Qt::NoScrollPhase, false);
                QApplication::sendEvent(popup, &wheel);
            } else {
                const auto arrows = popup->findChildren<QToolButton*>();
                const auto arrow = std::find_if(arrows.begin(), arrows.end(), [&](auto* b) { return b->text() == step; });
                QVERIFY(arrow != arrows.end());
                QTest::mouseClick(*arrow, Qt::LeftButton);
            }
        }
        QTEST(u"%1-%2"_s.arg(popup->year()).arg(popup->month()), "shown");
        QVERIFY(title.isEmpty() || popup->title() == title);
        QVERIFY(popup->isVisible());
    }

    // Under the window, centred; above it with no room below; pulled in from the screen's sides.
    void calendarPlace_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("at");
        const QRect wide(0, 0, 1280, 1024);
        QTest::newRow("below, centred") << QRect(100, 100, 200, 80) << wide << QPoint(80, 180);
        QTest::newRow("above: no room below") << QRect(100, 800, 200, 80) << wide << QPoint(80, 500);
        QTest::newRow("just room below") << QRect(100, 644, 200, 80) << wide << QPoint(80, 724);
        QTest::newRow("pulled in at the right") << QRect(1180, 24, 100, 60) << wide << QPoint(1040, 84);
        QTest::newRow("pulled in at the left") << QRect(0, 24, 100, 60) << wide << QPoint(0, 84);
        QTest::newRow("a screen left of the primary") << QRect(-100, 24, 100, 60) << wide.translated(-1280, 0)
                                                      << QPoint(-240, 84);
        QTest::newRow("room neither below nor above") << QRect(0, 150, 100, 100) << QRect(0, 0, 800, 400) << QPoint(0, 0);
    }
    void calendarPlace()
    {
        QFETCH(QRect, window);
        QFETCH(QRect, screen);
        QTEST(deskclock::popupPlace(window, QSize(240, 300), screen), "at");
    }

    // TamoZP is found in the program's own folder (an executable there), then in PATH. Started from
    // TamoClock (exit signals blocked), it has none blocked, runs in another session, ends on SIGTERM.
    void launching()
    {
        TestEnv env;
        const QString own = env.root() + u"/own"_s, path = env.root() + u"/path"_s;
        const auto placeAndFind = [&](const QString& folder, QFile::Permissions permissions) {
            QFile file(folder + u"/TamoZP"_s);
            if (!folder.isEmpty() && QDir().mkpath(folder) && file.open(QIODevice::WriteOnly))
                file.setPermissions(permissions);
            return deskclock::findProgram(u"TamoZP"_s, own, {env.root() + u"/empty"_s, path});
        };
        QCOMPARE(placeAndFind({}, {}), QString());
        QCOMPARE(placeAndFind(path, QFile::ReadOwner | QFile::ExeOwner), path + u"/TamoZP"_s);
        QCOMPARE(placeAndFind(own, QFile::ReadOwner), path + u"/TamoZP"_s); // a plain file is passed over
        QCOMPARE(placeAndFind(own, QFile::ReadOwner | QFile::ExeOwner), own + u"/TamoZP"_s);
        clk::blockExitSignals();
        const qint64 pid = deskclock::startDetached(u"/bin/sleep"_s, {u"30"_s});
        clk::unblockExitSignals();
        const auto status = [pid] {
            QFile file(u"/proc/%1/status"_s.arg(pid));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QVERIFY(status().contains("\nSigBlk:\t0000000000000000\n"));
        QVERIFY(!status().contains("\nPPid:\t" + QByteArray::number(::getpid()) + '\n'));
        QVERIFY(::getsid(pid_t(pid)) != ::getsid(0));
        ::kill(pid_t(pid), SIGTERM);
        QTRY_VERIFY(status().isEmpty() || status().contains("\nState:\tZ"));
        QCOMPARE(deskclock::startDetached(u"/nonexistent/TamoZP"_s, {}), -1);
    }
};

QTEST_MAIN(ClockWindowTest)
#include "deskclock_qtest.moc"
