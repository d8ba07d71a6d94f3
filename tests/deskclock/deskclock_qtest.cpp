// TamoClock's window driven through its real widgets, offscreen, at a fixed instant, with its own
// store, recording launcher and boxes, and a real host core; its desktop ties; a second start.

#include "clock/FollowHost.h"
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
            gui::WindowServices{.store = store, .boxes = boxes, .end = end, .launch = launch},
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
