// TamoClock's window driven through its real widgets, offscreen, at a fixed instant, with a
// store in the test's own folders and a launcher and boxes that record. Its host core is real:
// TamoZP's OK (SetZP and the restart request) and other writers reach it through the socket and
// the file watch. Then the desktop ties on their own, and the program started beside a window
// that holds the one-per-user lock.

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
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const vb::DateValue kInstant{2001, 3, 29, 14, 5, 9};

// What TamoZP's txtSet holds when OK is pressed.
struct Typed final : zp::FormatSource {
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
    bool launcherWorks = true;
    std::optional<int> ended;
    std::unique_ptr<deskclock::ClockWindow> window;

    explicit Session(vb::DateValue instant = kInstant) { vb::setFixedNow(instant); }
    ~Session() { window.reset(); vb::setFixedNow(std::nullopt); }
    // Builds, loads and shows the window as main does, until its host runs; false when it ended.
    bool open(std::function<bool()> another = [] { return false; })
    {
        window.reset();
        window = std::make_unique<deskclock::ClockWindow>(
            gui::WindowServices{.store = store, .boxes = boxes, .now = vb::Now, .anotherInstanceRunning = std::move(another),
                                .end = [this](int status) { ended = status; },
                                .launch = [this](const QString& p) { launched << p; return launcherWorks; }},
            deskclock::ClockWindow::Setup{.reports = reports, .lines = [this](const QString& l) { lines << l; },
                                          .programPath = u"/opt/tamo/bin/TamoClock"_s, .stillClock = true});
        if (!window->load())
            return false;
        window->show();
        return QTest::qWaitFor([this] { return window->hostRunning() || ended; }) && !ended;
    }
    // TamoZP's OK: the flag and the format stored, then the restart request.
    void ok(const QString& format) { zp::SetZP(store, Typed(format)), zp::RequestRestart(store); }
    // Values by "Section/Key", of the plug-in or of another application.
    void save(const QString& v, const QString& text, const QString& app = kApp) { store.SaveSetting(app, v.section(u'/', 0, 0), v.section(u'/', 1), text); }
    QString setting(const QString& v, const QString& app = kApp) const { return store.GetSetting(app, v.section(u'/', 0, 0), v.section(u'/', 1), u"<absent>"_s); }
    QAction* action(const QString& name) const { return window->contextMenu()->findChild<QAction*>(name); }
    QLabel* label(const QString& name) const { return window->findChild<QLabel*>(name); }
    // The tooltip a widget of the window shows when the pointer rests on it.
    QString tooltipOf(QWidget* widget) const
    {
        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, widget->rect().center(), widget->mapToGlobal(widget->rect().center()));
        QApplication::sendEvent(widget, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
};

// desktop-file-validate's complaints about an entry; nothing when the tool is not installed.
std::optional<QString> validatorSays(const QString& file)
{
    QProcess p;
    p.start(u"desktop-file-validate"_s, {file});
    if (!p.waitForFinished())
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

} // namespace

class ClockWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { vb::setProgramTitle(u"TamoClock"_s); }

    // What it shows at start: the stored format only when the flag is exactly "1"; a line break
    // gives a second line; a report marks the window and reaches the sink; "ZPErr" is no report.
    void shows_data()
    {
        QTest::addColumn<QString>("flag"); // null: absent
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("report"); // a line the mark's report holds; empty: no mark
        const QString date = u"%yyyy%/%m%/%d% %h:nn%"_s;
        QTest::newRow("stored format, flag 1") << u"1"_s << date << u"2001/3/29 14:05"_s << QString();
        QTest::newRow("built-in clock, flag 0") << u"0"_s << date << u"14:05"_s << QString();
        QTest::newRow("built-in clock, no flag") << QString() << date << u"14:05"_s << QString();
        QTest::newRow("built-in clock, flag ' 1'") << u" 1"_s << date << u"14:05"_s << QString();
        QTest::newRow("a line break, a second line") << u"1"_s << u"%h:nn%\n%m%月%d%日"_s << u"14:05\n3月29日"_s << QString();
        QTest::newRow("a report marks the window") << u"1"_s << u"%kkXh:nn%"_s << u"14:05"_s << u"場所:KTime-ZPModule1.33.2485"_s;
        QTest::newRow("unclosed token: ZPErr, no mark") << u"1"_s << u"%h:nn"_s << u"ZPErr"_s << QString();
    }
    void shows()
    {
        QFETCH(QString, flag);
        QFETCH(QString, format);
        QFETCH(QString, text);
        QFETCH(QString, report);
        Session s;
        if (!flag.isNull())
            s.save(u"Plug in/TamoZP"_s, flag);
        s.save(u"Main/ZPFormat"_s, format);
        QVERIFY(s.open());
        QCOMPARE(s.window->text(), text);
        QLabel* clock = s.label(u"lblClock"_s);
        QVERIFY(clock->sizeHint().height() >= (text.count(u'\n') + 1) * clock->fontMetrics().lineSpacing());
        QCOMPARE(s.label(u"lblReport"_s)->isVisible(), !report.isEmpty());
        QVERIFY(report.isEmpty() ? s.window->report().isEmpty() : s.window->report().split(u'\n').contains(report));
        QCOMPARE(s.sink.shown.size(), report.isEmpty() ? 0 : 1);
        QCOMPARE(s.lines, QStringList());
        QCOMPARE(s.setting(u"Plug in/RestartMsgRecv"_s), QString::number(::getpid()));
    }

    // It follows what others write, within a second: TamoZP's OK, a flag changed by hand, the
    // uninstaller's delete.
    void follows_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("text");
        QTest::newRow("TamoZP's OK") << u"ok %h:nn:ss%"_s << u"14:05:09"_s;
        QTest::newRow("TamoZP's OK, empty: disabled") << u"ok "_s << u"14:05"_s;
        QTest::newRow("the flag set to 0 by hand") << u"flag 0"_s << u"14:05"_s;
        QTest::newRow("the uninstaller deletes the flag") << u"delete"_s << u"14:05"_s;
    }
    void follows()
    {
        QFETCH(QString, change);
        QFETCH(QString, text);
        Session s;
        s.save(u"Plug in/TamoZP"_s, u"1"_s);
        s.save(u"Main/ZPFormat"_s, u"%m%月%d%日 %h:nn%"_s);
        QVERIFY(s.open());
        QCOMPARE(s.window->text(), u"3月29日 14:05"_s);
        if (change.startsWith(u"ok "))
            s.ok(change.mid(3));
        else if (change == u"flag 0")
            s.save(u"Plug in/TamoZP"_s, u"0"_s);
        else
            s.store.DeleteSetting(kApp, u"Plug in"_s, u"TamoZP"_s);
        QTRY_COMPARE_WITH_TIMEOUT(s.window->text(), text, 1000);
    }

    // A report goes to the sink once however often it comes back; the mark and its tooltip stay
    // while expansions report, and go with the first one that does not.
    void reportsOnce()
    {
        Session s;
        s.save(u"Plug in/TamoZP"_s, u"1"_s);
        s.save(u"Main/ZPFormat"_s, u"%kkXh:nn%"_s);
        QVERIFY(s.open());
        QLabel* mark = s.label(u"lblReport"_s);
        QVERIFY(mark->isVisible() && s.window->report().startsWith(u"エラー - TamoZP\nエラー番号:13\n"_s));
        QCOMPARE(s.tooltipOf(mark), s.window->report());
        s.ok(u"%kkXh:nn% "_s);
        QTRY_COMPARE_WITH_TIMEOUT(s.window->text(), u"14:05 "_s, 1000);
        QVERIFY(mark->isVisible() && s.reports.count() >= 3); // the first text, the host's start, the reload
        QCOMPARE(s.sink.shown.size(), 1);
        s.ok(u"%h:nn%"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!mark->isVisible(), 1000);
        QCOMPARE(s.window->report(), QString());
        QCOMPARE(s.boxes.shown.size(), 0);
    }

    // The tooltip is today's date with its era (the engine's own tests walk the era changes); an
    // era's first year reads 1.
    void dateTooltip_data()
    {
        QTest::addColumn<vb::DateValue>("instant");
        QTest::addColumn<QString>("date");
        QTest::newRow("an ordinary day") << kInstant << u"平成13年3月29日(木)"_s;
        QTest::newRow("Reiwa's first day reads 1") << vb::DateValue(2019, 5, 1) << u"令和1年5月1日(水)"_s;
    }
    void dateTooltip()
    {
        QFETCH(vb::DateValue, instant);
        QFETCH(QString, date);
        Session s(instant);
        QVERIFY(s.open());
        QCOMPARE(s.tooltipOf(s.label(u"lblClock"_s)), date);
    }

    // Start: another TamoClock ends the program with 0 before anything is published; a host that
    // cannot start is explained in a box and ends it with 1; a running one withdraws its handle
    // when the window goes.
    void start_data()
    {
        QTest::addColumn<bool>("another");
        QTest::addColumn<bool>("runtimeUsable");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("alone") << false << true << u"running|handle|-"_s;
        QTest::newRow("another instance") << true << true << u"ended 0|<absent>|-"_s;
        QTest::newRow("runtime folder not private") << false << false << u"ended 1|<absent>|時計を開始できません。"_s;
    }
    void start()
    {
        QFETCH(bool, another);
        QFETCH(bool, runtimeUsable);
        QFETCH(QString, outcome);
        Session s;
        if (!runtimeUsable) { // the host's folder, open to others
            QVERIFY(QDir().mkdir(s.env.runtimeDir() + u"/tamo"_s));
            QFile::setPermissions(s.env.runtimeDir() + u"/tamo"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
        }
        const bool running = s.open([another] { return another; });
        const QString handle = s.setting(u"Plug in/RestartMsgRecv"_s);
        const QString box = s.boxes.shown.isEmpty() ? u"-"_s : s.boxes.shown[0].prompt.section(u"\r\n"_s, 0, 0);
        QCOMPARE(QStringList({running ? u"running"_s : u"ended %1"_s.arg(s.ended.value_or(-1)),
                              handle == QString::number(::getpid()) ? u"handle"_s : handle, box}).join(u'|'), outcome);
        if (!runtimeUsable)
            QVERIFY(!s.lines.isEmpty() && s.boxes.shown[0].prompt.endsWith(s.lines.last()));
        s.window.reset();
        QVERIFY(s.setting(u"Plug in/RestartMsgRecv"_s) != QString::number(::getpid()));
    }

    // 設定 starts TamoZP through the launcher; when it cannot, a box says so.
    void settingsAction()
    {
        for (const bool works : {true, false}) {
            Session s;
            s.launcherWorks = works;
            QVERIFY(s.open());
            s.action(u"actSettings"_s)->trigger();
            QCOMPARE(s.launched, QStringList{u"TamoZP"_s});
            QCOMPARE(s.boxes.shown.size(), works ? 0 : 1);
            QVERIFY(works || s.boxes.shown[0].prompt == u"TamoZP を起動できませんでした。"_s);
        }
    }

    // ログイン時に起動 writes the autostart entry under the configuration folder, with the running
    // program's path, in a form the validator accepts; again, it removes it. Where the folder
    // cannot be made, a box says so and the item stays unticked.
    void autostart()
    {
        Session s;
        QVERIFY(s.open());
        QAction* item = s.action(u"actAutostart"_s);
        QFile entry(s.env.configHome() + u"/autostart/TamoClock.desktop"_s);
        item->trigger();
        QVERIFY(item->isChecked() && entry.open(QIODevice::ReadOnly));
        QVERIFY(entry.readAll().contains("\nExec=/opt/tamo/bin/TamoClock\n"));
        QCOMPARE(validatorSays(entry.fileName()).value_or(QString()), QString());
        item->trigger();
        QVERIFY(!item->isChecked() && !entry.exists() && s.boxes.shown.isEmpty());

        QVERIFY(QDir(s.env.configHome()).rmdir(u"autostart"_s));
        QFile blocker(s.env.configHome() + u"/autostart"_s); // a file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        item->trigger();
        QVERIFY(!item->isChecked() && s.boxes.shown.size() == 1);
        QVERIFY(s.boxes.shown[0].prompt.startsWith(u"ログイン時の起動を設定できませんでした。\r\n"_s));
    }

    // Exec takes the path as one argument however it is spelt, and the validator agrees; so it
    // does with the menu's entry that make install puts in share/applications.
    void execArgument_data()
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
    void execArgument()
    {
        QFETCH(QString, path);
        QFETCH(QString, exec);
        QCOMPARE(deskclock::execArgument(path), exec);
        TestEnv env;
        const QString file = env.root() + u"/TamoClock.desktop"_s;
        QCOMPARE(deskclock::writeAutostart(file, path), QString());
        QCOMPARE(validatorSays(file).value_or(QString()), QString());
        QCOMPARE(validatorSays(QStringLiteral(TAMOCLOCK_DESKTOP_ENTRY)).value_or(QString()), QString());
    }

    // Place, size, text size and toggles come back on the next start, and not among the
    // plug-in's values.
    void remembered()
    {
        Session s;
        QVERIFY(s.open());
        s.window->resize(s.window->width() + 40, s.window->height() + 20);
        for (const QString& name : {u"actOnTop"_s, u"actFrameless"_s, u"actLarger"_s, u"actLarger"_s})
            s.action(name)->trigger();
        s.window->move(100, 120);
        const QSize size = s.window->size();
        s.window->close();
        QVERIFY(s.open());
        QCOMPARE(s.window->pos(), QPoint(100, 120));
        QCOMPARE(s.window->size(), size);
        QCOMPARE(s.window->textPoints(), 32.0);
        QVERIFY(s.window->windowFlags().testFlags(Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint));
        QVERIFY(s.action(u"actOnTop"_s)->isChecked() && s.action(u"actFrameless"_s)->isChecked());
        QCOMPARE(s.setting(u"Window/OnTop"_s, u"TamoClock"_s), u"1"_s);
        QCOMPARE(s.setting(u"Window/OnTop"_s), u"<absent>"_s);
    }

    // A place on a screen is kept, one partly past an edge is pulled onto it, one that no screen
    // shows enough of goes to the primary screen.
    void placement_data()
    {
        QTest::addColumn<QString>("stored"); // null: nothing stored
        QTest::addColumn<QPoint>("at");      // give or take a frame; (-1, -1): anywhere on the primary screen
        const QPoint primary(-1, -1);
        QTest::newRow("on the screen") << u"100,120,200,80"_s << QPoint(100, 120);
        QTest::newRow("partly past the right edge") << u"700,120,200,80"_s << QPoint(600, 120);
        QTest::newRow("off to the right") << u"5000,100,200,80"_s << primary;
        QTest::newRow("only a corner showing") << u"-190,-70,200,80"_s << primary;
        QTest::newRow("not four numbers") << u"100,x,200,80"_s << primary;
        QTest::newRow("nothing stored") << QString() << primary;
    }
    void placement()
    {
        QFETCH(QString, stored);
        QFETCH(QPoint, at);
        Session s;
        if (!stored.isNull())
            s.save(u"Window/Geometry"_s, stored, u"TamoClock"_s);
        QVERIFY(s.open());
        if (at != QPoint(-1, -1))
            QVERIFY2(qAbs(s.window->x() - at.x()) <= 4 && qAbs(s.window->y() - at.y()) <= 4, qPrintable(u"%1,%2"_s.arg(s.window->x()).arg(s.window->y())));
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(s.window->frameGeometry()));
    }

    // Frameless, a left drag moves the window and is no click; a press and release in place (or
    // within the drag distance) is a click and moves nothing. With a frame, a drag does nothing.
    void dragAndClick_data()
    {
        QTest::addColumn<bool>("frameless");
        QTest::addColumn<QPoint>("drag");
        QTest::addColumn<QPoint>("moved");
        QTest::addColumn<int>("clicks");
        QTest::newRow("frameless, dragged") << true << QPoint(40, 30) << QPoint(40, 30) << 0;
        QTest::newRow("frameless, clicked") << true << QPoint(0, 0) << QPoint(0, 0) << 1;
        QTest::newRow("frameless, a tremor") << true << QPoint(1, 1) << QPoint(0, 0) << 1;
        QTest::newRow("framed, dragged") << false << QPoint(40, 30) << QPoint(0, 0) << 0;
    }
    void dragAndClick()
    {
        QFETCH(bool, frameless);
        QFETCH(QPoint, drag);
        QFETCH(QPoint, moved);
        QFETCH(int, clicks);
        Session s;
        s.save(u"Window/Frameless"_s, frameless ? u"1"_s : u"0"_s, u"TamoClock"_s);
        s.save(u"Window/Geometry"_s, u"100,100,200,80"_s, u"TamoClock"_s);
        QVERIFY(s.open());
        QSignalSpy clicked(s.window.get(), &deskclock::ClockWindow::clicked);
        const QPoint start = s.window->pos(), local = s.window->rect().center();
        const auto send = [&](QEvent::Type type, QPoint offset, Qt::MouseButtons held) {
            QMouseEvent event(type, local, s.window->mapToGlobal(local) + offset, Qt::LeftButton, held, {});
            QApplication::sendEvent(s.window.get(), &event);
        };
        send(QEvent::MouseButtonPress, {}, Qt::LeftButton);
        send(QEvent::MouseMove, drag / 2, Qt::LeftButton);
        send(QEvent::MouseMove, drag - drag / 2, Qt::LeftButton); // the window has moved by half
        send(QEvent::MouseButtonRelease, {}, Qt::NoButton);
        QCOMPARE(s.window->pos() - start, moved);
        QCOMPARE(clicked.size(), clicks);
    }

    // TamoZP is taken from the program's own folder first (an executable there), then from PATH.
    void findProgram()
    {
        TestEnv env;
        const QString own = env.root() + u"/own"_s, path = env.root() + u"/path"_s;
        const auto find = [&] { return deskclock::findProgram(u"TamoZP"_s, own, {env.root() + u"/empty"_s, path}); };
        const auto place = [](const QString& folder, QFile::Permissions permissions) {
            QDir().mkpath(folder);
            QFile file(folder + u"/TamoZP"_s);
            return file.open(QIODevice::WriteOnly) && file.setPermissions(permissions);
        };
        QCOMPARE(find(), QString());
        QVERIFY(place(path, QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(find(), path + u"/TamoZP"_s);
        QVERIFY(place(own, QFile::ReadOwner)); // a plain file is passed over
        QCOMPARE(find(), path + u"/TamoZP"_s);
        QVERIFY(place(own, QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(find(), own + u"/TamoZP"_s);
    }

    // The program started while a window holds the lock brings that window, minimised behind
    // another, to the front, and ends at once with status 0 and not a word, publishing nothing.
    void secondInstance()
    {
        Session s;
        gui::SingleInstance instance(u"TamoClock"_s, vb::runtimeFolder());
        QVERIFY(s.open([&instance] { return instance.anotherInstanceRunning(); }));
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
        QCOMPARE(s.setting(u"Plug in/RestartMsgRecv"_s), QString::number(::getpid()));
    }

    // A program started from TamoClock, whose exit signals are blocked, starts with none
    // blocked, in another session, and ends on SIGTERM; a missing one is not started.
    void startDetached()
    {
        clk::blockExitSignals();
        const qint64 pid = deskclock::startDetached(u"/bin/sleep"_s, {u"30"_s});
        clk::unblockExitSignals();
        QVERIFY(pid > 0);
        const auto status = [pid](const char* field) {
            QFile file(u"/proc/%1/status"_s.arg(pid));
            const QByteArray all = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            const qsizetype at = all.indexOf(QByteArray("\n") + field + ':');
            return at < 0 ? QByteArray() : all.mid(at).split('\n').value(1).split('\t').last().trimmed();
        };
        QCOMPARE(status("SigBlk"), QByteArray("0000000000000000"));
        QVERIFY(status("PPid") != QByteArray::number(::getpid()));
        QVERIFY(::getsid(pid_t(pid)) != ::getsid(0));
        ::kill(pid_t(pid), SIGTERM);
        QTRY_VERIFY(status("State").isEmpty() || status("State").startsWith('Z'));
        QCOMPARE(deskclock::startDetached(u"/nonexistent/TamoZP"_s, {}), -1);
    }
};

QTEST_MAIN(ClockWindowTest)
#include "deskclock_qtest.moc"
