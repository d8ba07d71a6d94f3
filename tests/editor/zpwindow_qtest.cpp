// The settings window through its real widgets, offscreen, handed a store in a temporary folder (not
// XDG_CONFIG_HOME, which it must not read), a clock, boxes answered from a script and hosts on handles
// 4242, -4242 and 0; then the real program started twice at once, and beside an instance that hears it.

#include "editor/frmMain.h"
#include "gui/GuiSupport.h"
#include "gui/SingleInstance.h"
#include "runtime/SettingsFaults.h"
#include "support/Common.h"
#include "support/FakeMessageBox.h"
#include "support/TestEnv.h"
#include "support/WindowReceiver.h"

#include <QtTest>
#include <QtWidgets>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

// A box by what it is: "malformed", "disable?", "about", "report <number> <place>", or its prompt.
QString boxName(const ShownBox& box)
{
    const QStringList lines = box.prompt.split(u"\r\n"_s);
    if (box.title == u"エラー - TamoZP"_s && box.style == (vb::vbCritical | vb::vbSystemModal))
        return u"report "_s + lines.value(0).mid(6) + u' ' + lines.value(1).mid(3);
    const QString malformed = u"フォーマット指定に誤った部分があります。正しく指定しなおしてください。"_s;
    const std::pair<const char*, ShownBox> known[] = {
        {"malformed", {malformed, vb::vbOKOnly, u"TamoZP"_s}},
        {"disable?", {u"TamoZP設定を無効にします。よろしいですか。"_s, vb::vbYesNo | vb::vbDefaultButton2, u"TamoZP"_s}},
        {"about", {zp::aboutText(), vb::vbInformation | vb::vbSystemModal, u"TamoZP のバージョン情報"_s}},
    };
    for (const auto& [name, k] : known)
        if (box.prompt == k.prompt && box.style == k.style && box.title == k.title)
            return QString::fromLatin1(name);
    return box.prompt;
}

// One run of the program: its store, boxes, clock, hosts and window. The engine's reports go to
// the installed service: the fake made last, not the window's.
struct Session {
    TestEnv env;
    vb::SettingsStore store{env.root() + u"/store"_s};
    FakeMessageBox boxes, engineBoxes;
    vb::DateValue instant{2001, 3, 29, 14, 5, 9};
    WindowReceiver hosts[3] = {WindowReceiver(4242), WindowReceiver(-4242), WindowReceiver(0)};
    std::optional<int> ended;
    std::unique_ptr<zp::frmMain> window;

    explicit Session(const QString& recv = u"4242"_s) // RestartMsgRecv; null: none
    {
        if (!recv.isNull())
            store.SaveSetting(kApp, u"Plug in"_s, u"RestartMsgRecv"_s, recv);
    }
    // Builds, loads and shows the window as main does; false when loading ended the program.
    bool open(std::function<bool()> anotherInstance = [] { return false; })
    {
        window = std::make_unique<zp::frmMain>(gui::WindowServices{.store = store, .boxes = boxes,
            .now = [this] { return instant; }, .anotherInstanceRunning = std::move(anotherInstance),
            .end = [this](int status) { ended = status; }});
        if (!window->Form_Load())
            return false;
        window->show();
        return QTest::qWaitForWindowActive(window.get());
    }
    template <class T = QWidget> T* get(const QString& name) const { return window->findChild<T*>(name); }
    QLineEdit* txtSet() const { return get<QLineEdit>(u"txtSet"_s); }
    void click(const QString& name) { QTest::mouseClick(get(name), Qt::LeftButton); }
    void type(const QString& format) // over the selection; keyClicks() types Latin-1 only
    {
        txtSet()->selectAll();
        for (const QChar c : format)
            QTest::sendKeyEvent(QTest::Click, txtSet(), Qt::Key_unknown, QString(c), {});
    }
    // Each of `keys` where the focus is, starting at `control`, while the window is open.
    void press(const QString& control, const QString& keys)
    {
        get(control)->setFocus();
        const QKeySequence sequence = QKeySequence::fromString(keys);
        for (int i = 0; i < sequence.count() && window->isVisible(); ++i)
            QTest::keyClick(QApplication::focusWidget(), sequence[i].key(), sequence[i].keyboardModifiers());
    }
    // open|closed, txtSet, the stored flag and format, the hosts sent a restart, each box shown.
    QString outcome()
    {
        const auto setting = [this](const QString& section, const QString& key) {
            QString text;
            const int e = errorOf([&] { text = store.GetSetting(kApp, section, key, u"<absent>"_s); }).number;
            return e ? u"<error %1>"_s.arg(e) : text;
        };
        const bool open = window->isVisible() && !ended, closed = !window->isVisible() && ended == 0;
        QStringList out{open ? u"open"_s : closed ? u"closed"_s : u"ended?"_s, txtSet()->text(),
                        setting(u"Plug in"_s, u"TamoZP"_s), setting(u"Main"_s, u"ZPFormat"_s)}, sent;
        for (WindowReceiver& host : hosts)
            if (const auto got = host.receive(0))
                sent << (*got == kRestart ? u"restart "_s + host.path().section(u"/window-"_s, -1) : u"?"_s);
        out << (sent.isEmpty() ? u"-"_s : sent.join(u','));
        for (const ShownBox& box : std::as_const(boxes.shown))
            out << boxName(box);
        for (const ShownBox& box : std::as_const(engineBoxes.shown))
            out << u"engine "_s + boxName(box);
        return out.join(u'|');
    }
};

// A row of the runs test: the format stored (after '|', a line that does not parse), the format typed,
// RestartMsgRecv (null: none), the clipboard (the caret after txtSet's first character), the action:
// "click <control>" or "<control> <keys>", after "broken " (a folder in the settings file's place),
// "drop " or "menu " (Paste); another instance (1) or a check that raises (2); chkDisable's answer.
struct Run {
    QString stored, format = u"%h:nn%"_s, recv = u"4242"_s, pasted, action = u"click cmdMain_0"_s;
    int another = 0, disable = 0;
};

} // namespace

Q_DECLARE_METATYPE(Run)

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        vb::setProgramTitle(u"TamoZP"_s);
        gui::clickAccessKeysAtOnce(*qApp); // as the program's gui::Application does
    }

    // Load leaves the stored format selected, the lists at their first choice, no box checked; the
    // size at 96 dpi (the rest: make screenshot). In tab order, what a screen reader hears: a caption,
    // or a name of its own (txtSet has its label's); token controls and the sample say what they do,
    // as their tooltip shows; a list's value is its current item. The label's and frame's access keys
    // go to txtSet, not to the frame's last focused child. Each cmdSet button, in every hour style and
    // palette item, puts its token over the selection and gives txtSet the focus back; no item: error
    // 9. The sample takes the theme's caption colours, also after a change of only those (Qt then
    // sends ApplicationPaletteChange alone) or of every colour; its focus frame stands out. Only a left
    // click inside it, or Space, previews at the window's clock; a long preview shows its start.
    void controls()
    {
        const struct { const char* control; QString name, description; } rows[] = {
            {"txtSet", u"書式指定(S)"_s},
            {"txtSample", u"表示例"_s, u"クリックするかスペース キーを押すと、書式指定の表示例をここに示します"_s},
            {"cmdSet_0", u"時刻"_s, u"時刻 (%h:nn% など) を挿入します。形は時間制の一覧と「秒」で決まります"_s},
            {"cboHour", u"時刻ボタンの時間制"_s, u"「時刻」ボタンで挿入する時刻の時間制を選びます"_s},
            {"chkSec", u"秒"_s}, {"cmdSet_1", u"日"_s, u"日 %d% を挿入します"_s},
            {"cmdSet_2", u"月"_s, u"月 %m% を挿入します"_s}, {"cmdSet_3", u"Month"_s, u"英語の月名 %mmm% を挿入します"_s},
            {"cmdSet_4", u"曜日"_s, u"曜日 %aaa% を挿入します"_s}, {"cmdSet_5", u"Day"_s, u"英語の曜日名 %ddd% を挿入します"_s},
            {"cboSet", u"他ボタンの挿入項目"_s, u"「他」ボタンで挿入する項目を選びます"_s},
            {"cmdSet_6", u"他"_s, u"一覧で選んだ項目を挿入します"_s}, {"cmdMain_0", u"OK"_s}, {"cmdMain_1", u"Cancel"_s},
            {"cmdMain_2", u"About"_s}, {"chkDisable", u"TamoZP設定の無効化(D)"_s}, {"txtSet", u"書式指定(S)"_s},
            {"fraSet", u"フォーマット設定(F)"_s}, {"lblSet", u"書式指定(S)"_s},
        };
        Session s;
        s.store.SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, u"%h:nn%"_s);
        QVERIFY(s.open());
        QCOMPARE(s.txtSet()->selectedText(), u"%h:nn%"_s);
        auto* cboSet = s.get<QComboBox>(u"cboSet"_s);
        QCOMPARE(s.get<QComboBox>(u"cboHour"_s)->currentText() + cboSet->currentText(), u"24時間制月齢"_s);
        QVERIFY(!s.get<QCheckBox>(u"chkSec"_s)->isChecked() && !s.get<QCheckBox>(u"chkDisable"_s)->isChecked());
        QVERIFY(s.window->size() == QSize(385, 270) && s.window->minimumSize() == s.window->maximumSize());
        QCOMPARE(s.window->windowFlags() & (Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
        for (const auto& row : rows) { // the first 17 in tab order, from where load leaves the focus
            QWidget* c = s.get(QString::fromLatin1(row.control));
            if (&row < rows + 17) {
                QCOMPARE(QApplication::focusWidget(), c);
                QTest::keyClick(c, Qt::Key_Tab);
            }
            QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(c);
            QCOMPARE(QStringList({c->objectName(), spoken->text(QAccessible::Name),
                                  spoken->text(QAccessible::Description), c->toolTip()}),
                     QStringList({c->objectName(), row.name, row.description, row.description}));
            if (auto* list = qobject_cast<QComboBox*>(c)) {
                list->setCurrentIndex(2);
                QCOMPARE(spoken->text(QAccessible::Value), list->currentText());
                QCOMPARE(list->view()->currentIndex().row(), 2);
            }
        }
        for (const QString& keys : {u"Alt+S"_s, u"Alt+F"_s}) {
            s.get(u"chkSec"_s)->setFocus();
            s.press(u"cmdMain_1"_s, keys);
            QCOMPARE(QApplication::focusWidget(), s.txtSet());
        }
        s.press(u"txtSet"_s, u"Alt+D"_s);
        QVERIFY(s.get<QCheckBox>(u"chkDisable"_s)->hasFocus() && s.get<QCheckBox>(u"chkDisable"_s)->isChecked());
        QCOMPARE(zp::aboutText({1, 3, 7}).section(u'\r', 0, 0), u"Tamo Zephyr Panel 1.03.0007"_s);
        QCOMPARE(zp::aboutText({12, 345, 67890}).section(u'\r', 0, 0), u"Tamo Zephyr Panel 12.345.67890"_s);

        const QStringList hourPrefix = u"tt_,,kk1,kk2,kk3,kk4,kk5"_s.split(u',');
        const QStringList codes = u"o rr AM/PM A/P ww yyyy yy ggg g RS RG RU"_s.split(u' ');
        QString tokens; // over the stored format, selected
        s.txtSet()->selectAll();
        for (int style = 0; style < 14; ++style) { // each hour style without, then with seconds
            s.get<QComboBox>(u"cboHour"_s)->setCurrentIndex(style / 2);
            s.get<QCheckBox>(u"chkSec"_s)->setChecked(style % 2);
            cboSet->setCurrentIndex(style % 12);
            for (int index = 0; index < 7; ++index)
                s.click(u"cmdSet_"_s + QString::number(index));
            tokens += u'%' + hourPrefix[style / 2] + (style % 2 ? u"h:nn:ss%"_s : u"h:nn%"_s)
                    + u"%d%%m%%mmm%%aaa%%ddd%%"_s + codes[style % 12] + u'%';
        }
        QCOMPARE(s.txtSet()->text(), tokens);
        QCOMPARE(QApplication::focusWidget(), s.txtSet());
        cboSet->setCurrentIndex(-1);
        QCOMPARE(errorOf([&] { s.get<QPushButton>(u"cmdSet_6"_s)->click(); }).number, 9);

        auto* sample = s.get<QLineEdit>(u"txtSample"_s);
        const QPalette before = QApplication::palette();
        const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
        const auto far = [](QColor a, QColor b) { return std::abs(qGray(a.rgb()) - qGray(b.rgb())) >= 80; };
        for (const QString& theme : {u"at start"_s, u"caption colours"_s, u"every colour"_s}) {
            QPalette pal = theme == u"every colour" ? QPalette(QColor(0x33, 0x33, 0x33)) : before;
            if (theme != u"at start") {
                pal.setColor(QPalette::Highlight, QColor(0x20, 0x70, 0x30));
                pal.setColor(QPalette::HighlightedText, QColor(0xff, 0xf0, 0x80));
                if (theme == u"every colour")
                    pal.setResolveMask(~QPalette::ResolveMask(0));
                QApplication::setPalette(pal);
                QCoreApplication::processEvents(); // the windows hear of it through a posted event
            }
            const QColor caption = pal.color(QPalette::Highlight), text = pal.color(QPalette::HighlightedText);
            const QPalette& own = sample->palette();
            QCOMPARE((QList{own.color(QPalette::Base), own.color(QPalette::Text), own.color(QPalette::Highlight),
                            own.color(QPalette::HighlightedText)}), (QList{caption, text, text, caption}));
            // Focus must draw something new in the box, and in a colour that stands out from it.
            s.txtSet()->setFocus();
            const QImage off = sample->grab().toImage();
            sample->setFocus();
            const QImage on = sample->grab().toImage();
            int marked = 0;
            for (int i = 0; i < on.width() * on.height(); ++i) {
                const QPoint p(i % on.width(), i / on.width());
                marked += far(on.pixelColor(p), off.pixelColor(p)) && far(on.pixelColor(p), caption);
            }
            QVERIFY2(marked >= on.width() / 2, qPrintable(theme + u": "_s + QString::number(marked)));
        }
        QTest::mousePress(sample, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(sample, Qt::LeftButton, {}, QPoint(5000, 5)); // let go outside
        QTest::mouseClick(sample, Qt::MiddleButton);
        QStringList samples{sample->text()};
        for (const QString& format : {u"%h:nn:ss%"_s, u"%h:nn:ss%"_s, u"at %h:nn% and %d"_s}) {
            s.type(format);
            s.click(u"txtSample"_s);
            samples << sample->text();
            s.instant = vb::DateValue(2001, 3, 29, 15, 6, 10); // shown at the next click only
            QCoreApplication::processEvents();
            samples << sample->text();
        }
        s.type(u"%yyyy%/%m%/%d% "_s.repeated(8));
        s.press(u"txtSample"_s, u"Space"_s);
        samples << sample->text() + u' ' + QString::number(sample->cursorPosition());
        QCOMPARE(samples.join(u'|'), u"for the Test ... Click here !|14:05:09|14:05:09|15:06:10|15:06:10|"_s
                                         + u"ZPErr|ZPErr|"_s + u"2001/3/29 "_s.repeated(8) + u" 0"_s);
    }

    // Load shows the stored format as it is; an unreadable store is the engine's to report; another
    // instance, or a check that raises, ends the program at load's first step. Text pasted or dropped
    // into txtSet, at the caret, keeps its first line, whichever line break ends it, and OK stores it.
    void runs_data()
    {
        QTest::addColumn<Run>("run");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char* name, Run run, QString out) { QTest::newRow(name) << run << out; };
        const auto load = [&](const char* name, Run run, QString out) {
            run.format = run.action = QString();
            row(name, run, out);
        };
        const QString h = u"%h:nn%"_s, kept = u"|<absent>|<absent>|-"_s, shown = u"open|%1|<absent>|%1|-"_s;
        const QString spaces = u"  %yyyy%/%m%/%d% %h:nn%  "_s, breaks = u"%h:nn%\n%d%\r"_s, longer(40000, u'x');
        load("load: nothing stored", {}, u"open||<absent>|<absent>|-"_s);
        load("load: spaces kept", {.stored = spaces}, shown.arg(spaces));
        load("load: malformed, as it is", {.stored = u"%h:nn"_s}, shown.arg(u"%h:nn"_s));
        load("load: longer than a line edit's default cap", {.stored = longer}, shown.arg(longer));
        load("load: line breaks, as they are", {.stored = breaks}, shown.arg(breaks));
        load("load: unreadable", {.stored = h + u"|junk"_s},
             u"open||<error 75>|<error 75>|-|engine report 75 GetZPF-ZPModule1.33.2485"_s);
        load("load: another instance", {.stored = h, .another = 1}, u"closed||<absent>|%h:nn%|-"_s);
        load("load: the check raises", {.stored = h, .another = 2},
             u"closed||<absent>|%h:nn%|-|report 70 frmMain_Load - TamoZP133"_s);
        const QString stored = u"closed|%h:nn%|1|%h:nn%|"_s, restarted = stored + u"restart 4242"_s;
        const QString report = u"report %1 frmMain!%2 - TamoZP133"_s;
        row("OK: stored, restarted", {}, restarted);
        row("OK: spaces only, flag 0", {.format = u"   "_s}, u"closed|   |0|   |restart 4242"_s);
        row("OK: U+3000 is no space, flag 1", {.format = u"\u3000"_s}, u"closed|\u3000|1|\u3000|restart 4242"_s);
        row("OK: disable, Yes", {.disable = vb::vbYes}, u"closed|%h:nn%|0|%h:nn%|restart 4242|disable?"_s);
        row("OK: disable, No", {.disable = vb::vbNo}, restarted + u"|disable?"_s);
        row("OK: malformed, no question", {.format = u"%h:nn"_s, .disable = vb::vbYes},
            u"open|%h:nn%1|malformed"_s.arg(kept));
        row("OK: a negative handle", {.recv = u"-4242"_s}, stored + u"restart -4242"_s);
        row("OK: handle 0, no restart", {.recv = u"0"_s}, stored + u"-"_s);
        row("OK: no handle, no restart", {.recv = QString()}, stored + u"-"_s);
        row("OK: nobody on the handle", {.recv = u"999"_s}, stored + u"-"_s);
        row("OK: handle no number", {.recv = u"abc"_s}, stored + u"-|"_s + report.arg(13).arg(u"cmdMain_Click"));
        row("OK: store broken, both reported", {.action = u"broken click cmdMain_0"_s, .disable = vb::vbYes},
            u"open|%h:nn%|<error 75>|<error 75>|-|%1|%1"_s.arg(report.arg(75).arg(u"SetZP"_s)));
        row("Cancel", {.action = u"click cmdMain_1"_s, .disable = vb::vbYes}, u"closed|%h:nn%"_s + kept);
        row("Esc on cboSet", {.action = u"cboSet Esc"_s, .disable = vb::vbYes}, u"closed|%h:nn%"_s + kept);
        row("Enter in txtSet: OK", {.action = u"txtSet Return"_s}, restarted);
        row("keypad Enter on cboHour: OK", {.action = u"cboHour Num+Enter"_s}, restarted);
        row("Enter on a token: at the caret", {.action = u"cmdSet_1 Return"_s}, u"open|%%d%h:nn%"_s + kept);
        row("Enter on the sample: OK", {.action = u"txtSample Return"_s}, restarted);
        // An access key acts before the key that follows it, however soon that comes.
        row("Alt+D, at once Enter: asked", {.action = u"txtSet Alt+D, Return"_s}, restarted + u"|disable?"_s);
        row("Alt+A, at once Enter: About first", {.action = u"txtSet Alt+A, Return"_s}, restarted + u"|about"_s);
        const std::tuple<const char*, QString, QString> texts[] = {
            {"LF", u"%h:nn%\n"_s, u"[%h:nn%]"_s}, {"CR", u"%h:nn%\r%d%"_s, u"[%h:nn%]"_s},
            {"CRLF", u"%h:nn%\r\n%d%\r\n"_s, u"[%h:nn%]"_s}, {"a break first", u"\n%d%"_s, u"[]"_s},
            {"one line", u"%h:nn% %d%"_s, u"[%h:nn% %d%]"_s},
        };
        for (const QString& way : {u"txtSet Ctrl+V, Return"_s, u"txtSet Shift+Ins, Return"_s,
                                   u"menu click cmdMain_0"_s, u"drop click cmdMain_0"_s})
            for (const auto& [name, text, pastedAs] : texts)
                QTest::addRow("%s, %s", qPrintable(way.section(u' ', 0, 1).remove(u',')), name)
                    << Run{.format = u"[]"_s, .pasted = text, .action = way}
                    << u"closed|%1|1|%1|restart 4242"_s.arg(pastedAs);
    }
    void runs()
    {
        QFETCH(Run, run);
        Session s(run.recv);
        if (!run.stored.isNull())
            s.store.SaveSetting(kApp, u"Main"_s, u"ZPFormat"_s, run.stored.section(u'|', 0, 0));
        if (QFile file(s.store.filePath(kApp)); run.stored.contains(u'|')) // closed before loading
            QVERIFY(file.open(QFile::Append) && file.write(run.stored.section(u'|', 1).toUtf8()) > 0);
        s.open([&run] { // ends the program, or raises
            return run.another == 2 ? (vb::raiseError(vb::PermissionDenied), true) : run.another == 1;
        });
        s.type(run.format);
        if (run.disable)
            s.click(u"chkDisable"_s);
        s.boxes.answer({run.disable}); // 0 answers any other box harmlessly
        QLineEdit* box = s.txtSet();
        box->setCursorPosition(1);
        const QPoint caret = box->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        QGuiApplication::clipboard()->setText(run.pasted);
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (run.action.startsWith(u"broken "))
            QVERIFY(QFile::remove(s.store.filePath(kApp)) && QDir().mkpath(s.store.filePath(kApp)));
        if (run.action.startsWith(u"drop ")) { // as dragged in from another program
            QDragEnterEvent enter(caret, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
            QDropEvent drop(caret, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
            QApplication::sendEvent(box, &enter);
            QApplication::sendEvent(box, &drop);
            QVERIFY(enter.isAccepted() && drop.isAccepted());
        } else if (run.action.startsWith(u"menu ")) { // Paste, by its access key
            QContextMenuEvent request(QContextMenuEvent::Keyboard, caret, box->mapToGlobal(caret));
            QApplication::sendEvent(box, &request);
            QVERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_P);
        }
        run.action.remove(QRegularExpression(u"^(broken|drop|menu) "_s));
        if (run.action.startsWith(u"click "))
            s.click(run.action.section(u' ', 1));
        else if (!run.action.isNull())
            s.press(run.action.section(u' ', 0, 0), run.action.section(u' ', 1));
        QTEST(s.outcome(), "outcome");
    }

    // The Nth fallible store call of OK with disabling fails, N = 1, 2 … until none fires: each run
    // reports once and loses nothing (a failed flag or format stays as it was), in one of six ways.
    void okUnderEveryStoreFault()
    {
        QStringList kinds; // each faulted run's outcome, once
        for (int n = 1;; ++n) {
            QVERIFY(n < 500);
            Session s;
            QVERIFY(s.open());
            s.type(u"%h:nn%"_s);
            s.click(u"chkDisable"_s);
            s.boxes.answer({vb::vbYes});
            vb::injectSettingsFault(n, EIO);
            s.click(u"cmdMain_0"_s);
            const bool fired = vb::settingsFaultFired();
            vb::injectSettingsFault(0, 0);
            if (!fired) {
                QCOMPARE(s.outcome(), u"closed|%h:nn%|0|%h:nn%|restart 4242|disable?"_s);
                break;
            }
            if (const QString outcome = s.outcome(); !kinds.contains(outcome))
                kinds << outcome;
        }
        const QString storing = u"-|report 75 frmMain!SetZP - TamoZP133"_s, open = u"open|%h:nn%|"_s;
        const QString asked = u"-|disable?|report 75 frmMain!cmdMain_Click - TamoZP133"_s;
        QCOMPARE(kinds, QStringList({open + u"<absent>|%h:nn%|"_s + storing, open + u"1|%h:nn%|"_s + storing,
                                     open + u"1|<absent>|"_s + storing, open + u"1|%h:nn%|"_s + asked,
                                     open + u"0|%h:nn%|"_s + asked, u"closed|%h:nn%|0|%h:nn%|"_s + asked}));
    }

    // Of two started at once, one keeps its window and lock, the other ends silently with status 0;
    // one in another runtime folder runs beside it (rounds: a race shows only sometimes). A later
    // start ends as silently, having asked the first, through the runtime folder, to come to the front.
    void onePerRuntimeFolder()
    {
        const auto start = [](QProcess& p) { p.start(QStringLiteral(TAMOZP_PATH), {}); return &p; };
        const auto endedSilently = [](QProcess& p) {
            return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0
                && (p.readAll() + p.readAllStandardError()).isEmpty();
        };
        const auto holdsLock = [](const QProcess& p) { // /proc/locks names each lock's holder
            QFile locks(u"/proc/locks"_s);
            const QRegularExpression mine(u" FLOCK +\\w+ +WRITE +%1 "_s.arg(p.processId()));
            return locks.open(QIODevice::ReadOnly) && QString::fromLatin1(locks.readAll()).contains(mine);
        };
        for (int round = 0; round < 5; ++round) {
            TestEnv env;
            QProcess a, b, c;
            QVERIFY(start(a) && start(b));
            TestEnv other; // c starts with the two, so that it would lose as soon as they do
            QVERIFY(start(c)->waitForStarted() && a.waitForStarted() && b.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(a.state() != QProcess::Running || b.state() != QProcess::Running, 30000);
            QProcess& running = a.state() == QProcess::NotRunning ? b : a;
            QVERIFY(endedSilently(&running == &a ? b : a) && holdsLock(running));
            QTRY_VERIFY_WITH_TIMEOUT(holdsLock(c), 30000);
            QVERIFY(running.state() == QProcess::Running && c.state() == QProcess::Running);
        } // each QProcess kills its program
        TestEnv env;
        gui::SingleInstance first(u"TamoZP"_s, vb::runtimeFolder());
        int raised = 0;
        first.onRaiseRequest([&] { ++raised; });
        QVERIFY(!first.anotherInstanceRunning());
        QProcess second;
        QVERIFY(start(second)->waitForFinished(30000) && endedSilently(second));
        QTRY_COMPARE(raised, 1);
    }
};

QTEST_MAIN(WindowTest)
#include "zpwindow_qtest.moc"
