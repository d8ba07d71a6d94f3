// The settings window driven through its real widgets, offscreen, in fresh folders with a host
// listening for the restart request; boxes answered from a script.

#include "editor/Tokens.h"
#include "editor/ZPSettings.h"
#include "editor/frmMain.h"
#include "runtime/Clock.h"
#include "runtime/SettingsFaults.h"
#include "runtime/SettingsStore.h"
#include "support/FakeMessageBox.h"
#include "support/TestEnv.h"
#include "support/WindowReceiver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <optional>

using namespace zp;
using namespace Qt::StringLiterals;

namespace {

const QString kApp = QString::fromUtf16(kAppName);
const QString kAbsent = u"<absent>"_s;
const QString kCaption = u"for the Test ... Click here !"_s;
const QByteArray kRestart("\x03\x02\0\0\0\0\0\0\0\0\0\0", 12);

QString setting(const char16_t* section, const char16_t* key)
{
    try {
        return vb::SettingsStore::fromEnvironment().GetSetting(kApp, QString::fromUtf16(section), QString::fromUtf16(key), kAbsent);
    } catch (const vb::Error& e) {
        return u"<error %1>"_s.arg(e.number);
    }
}
void save(const char16_t* section, const char16_t* key, const QString& value)
{
    vb::SettingsStore::fromEnvironment().SaveSetting(kApp, QString::fromUtf16(section), QString::fromUtf16(key), value);
}
// A box by what it is: "malformed", "disable?", "about", "report <number> <place>"; any other
// by its prompt.
QString boxName(const ShownBox& box)
{
    const QStringList lines = box.prompt.split(u"\r\n"_s);
    if (box.title == u"エラー - TamoZP"_s && box.style == 4112)
        return u"report "_s + lines[0].mid(6) + u' ' + lines.value(1).mid(3);
    const std::pair<const char*, ShownBox> known[] = {
        {"malformed", {u"フォーマット指定に誤った部分があります。正しく指定しなおしてください。"_s, 0, u"TamoZP"_s}},
        {"disable?", {u"TamoZP設定を無効にします。よろしいですか。"_s, 260, u"TamoZP"_s}},
        {"about", {u"Tamo Zephyr Panel 1.33.2485\r\nPlug-in Component for Tamo\r\n\r\nCopyright (C) the Tamo "
                   u"Zephyr Panel authors. Free software, without any warranty."_s, 4160, u"TamoZP のバージョン情報"_s}},
    };
    for (const auto& [name, k] : known)
        if (box.prompt == k.prompt && box.style == k.style && box.title == k.title)
            return QString::fromLatin1(name);
    return box.prompt;
}

QString items(const QComboBox* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out.join(u' ');
}

// One run of the program: its folders, its boxes, a host on handle 4242 (RestartMsgRecv), and
// the window once loaded.
struct Session {
    TestEnv env;
    FakeMessageBox boxes;
    WindowReceiver host{4242};
    std::optional<int> ended;
    std::unique_ptr<frmMain> window;

    Session() { save(kSectionPlugIn, kKeyRestartRecv, u"4242"_s); }

    // Loads the window as the program does, and shows it unless loading ended the program.
    bool open(std::function<bool()> anotherInstance = [] { return false; })
    {
        WindowHooks hooks;
        hooks.anotherInstanceRunning = std::move(anotherInstance);
        hooks.end = [this](int status) { ended = status; };
        window = std::make_unique<frmMain>(std::move(hooks));
        if (ended)
            return true;
        window->show();
        return QTest::qWaitForWindowActive(window.get());
    }

    template <class T = QWidget>
    T* get(const QString& name) const { return window->findChild<T*>(name); }
    QLineEdit* txtSet() const { return get<QLineEdit>(u"txtSet"_s); }
    QLineEdit* txtSample() const { return get<QLineEdit>(u"txtSample"_s); }
    QComboBox* cboHour() const { return get<QComboBox>(u"cboHour"_s); }
    QComboBox* cboSet() const { return get<QComboBox>(u"cboSet"_s); }
    QCheckBox* chkSec() const { return get<QCheckBox>(u"chkSec"_s); }
    QCheckBox* chkDisable() const { return get<QCheckBox>(u"chkDisable"_s); }
    QPushButton* cmdSet(int i) const { return get<QPushButton>(u"cmdSet_"_s + QString::number(i)); }
    QPushButton* cmdMain(int i) const { return get<QPushButton>(u"cmdMain_"_s + QString::number(i)); }

    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    void type(const QString& format)
    {
        txtSet()->selectAll();
        QTest::keyClick(txtSet(), Qt::Key_Delete);
        for (const QChar c : format) // keyClicks() types Latin-1 only
            QTest::sendKeyEvent(QTest::Click, txtSet(), Qt::Key_unknown, QString(c), {});
    }
    bool isOpen() const { return window->isVisible() && !ended; }
    bool closed() const { return !window->isVisible() && ended == 0; }
    // open|closed, txtSet, the stored flag and format, restart sent, then each box shown.
    QString outcome()
    {
        const QByteArray got = host.receive(0).value_or(QByteArray());
        QStringList out{isOpen() ? u"open"_s : closed() ? u"closed"_s : u"ended?"_s, txtSet()->text(),
                        setting(kSectionPlugIn, kKeyEnable), setting(kSectionMain, kKeyFormat),
                        got.isEmpty() ? u"-"_s : got == kRestart ? u"restart"_s : u"?"_s};
        for (const ShownBox& box : std::as_const(boxes.shown))
            out << boxName(box);
        return out.join(u'|');
    }
};

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { vb::setProgramTitle(u"TamoZP"_s); }
    void init() { vb::setFixedNow(vb::DateValue(2001, 3, 29, 14, 5, 9)); }
    void cleanup()
    {
        vb::setFixedNow(std::nullopt);
        vb::injectSettingsFault(0, 0);
    }

    // Load shows the stored format as it is, selected; a stored flag never checks a box. (An
    // unreadable store is GetZPF's to report: zpsettings_test.)
    void loadState_data()
    {
        QTest::addColumn<QString>("stored"); // null: nothing stored
        QTest::newRow("nothing stored") << QString();
        QTest::newRow("spaces kept") << u"  %yyyy%/%m%/%d% %h:nn%  "_s;
        QTest::newRow("malformed, as it is") << u"%h:nn"_s;
        QTest::newRow("longer than a line edit's default cap") << QString(40000, u'x');
    }
    void loadState()
    {
        QFETCH(QString, stored);
        Session s;
        save(kSectionPlugIn, kKeyEnable, u"0"_s);
        if (!stored.isNull())
            save(kSectionMain, kKeyFormat, stored);
        QVERIFY(s.open());
        QCOMPARE(s.txtSet()->text(), stored);
        QCOMPARE(s.txtSet()->selectedText(), stored);
        QCOMPARE(QApplication::focusWidget(), s.txtSet());
        QCOMPARE(items(s.cboHour()), u"12時間制 24時間制 25 26 27 28 29"_s);
        QCOMPARE(s.cboHour()->currentIndex(), 1);
        QCOMPARE(items(s.cboSet()), u"月齢 月の形 AM/PM A/P 第x週 西暦4桁 西暦2桁 年号 年号頭文字 "
                                    u"Sysリソース GDIリソース Userリソース"_s);
        QCOMPARE(s.cboSet()->currentIndex(), 0);
        QVERIFY(!s.chkSec()->isChecked() && !s.chkDisable()->isChecked());
        QCOMPARE(s.txtSample()->text(), kCaption);
        QVERIFY(s.boxes.shown.isEmpty() && !s.ended);
    }

    // A second instance, or a check for one that raises, ends the program at load's first step.
    void loadEndsEarly()
    {
        for (const bool raises : {false, true}) {
            Session s;
            save(kSectionMain, kKeyFormat, u"%h:nn%"_s);
            QVERIFY(s.open([raises]() -> bool {
                if (raises)
                    vb::raiseError(vb::PermissionDenied);
                return true;
            }));
            QCOMPARE(s.outcome(), raises ? u"closed||<absent>|%h:nn%|-|report 70 frmMain_Load - TamoZP133"_s
                                         : u"closed||<absent>|%h:nn%|-"_s);
            QCOMPARE(s.cboSet()->count(), 0);
        }
    }

    // The size at 96 dpi (the rest of the layout: make screenshot), the tab order both ways,
    // the access keys.
    void layoutAndKeys()
    {
        Session s;
        QVERIFY(s.open());
        QWidget* w = s.window.get();
        QCOMPARE(w->windowTitle(), u"TamoZP"_s);
        QCOMPARE(w->size(), QSize(385, 270));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QVERIFY(s.cmdMain(0)->isDefault() && !s.cmdMain(1)->isDefault());

        const QStringList order = u"txtSet txtSample cmdSet_0 cboHour chkSec cmdSet_1 cmdSet_2 cmdSet_3 "
                                  u"cmdSet_4 cmdSet_5 cboSet cmdSet_6 cmdMain_0 cmdMain_1 cmdMain_2 "
                                  u"chkDisable txtSet"_s.split(u' ');
        for (const bool back : {false, true}) {
            QStringList seen{u"txtSet"_s};
            for (qsizetype i = 1; i < order.size(); ++i) {
                QTest::keyClick(QApplication::focusWidget(), back ? Qt::Key_Backtab : Qt::Key_Tab,
                                back ? Qt::ShiftModifier : Qt::NoModifier);
                seen.insert(back ? 0 : seen.size(), QApplication::focusWidget()->objectName());
            }
            QCOMPARE(seen, order);
        }

        // The label's and the frame's keys go to the next control in tab order, txtSet, not to
        // the frame's child that last had the focus.
        for (Qt::Key key : {Qt::Key_S, Qt::Key_F}) {
            s.chkSec()->setFocus();
            s.cmdMain(1)->setFocus();
            QTest::keyClick(s.window.get(), key, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), s.txtSet());
        }
        QTest::keyClick(s.window.get(), Qt::Key_D, Qt::AltModifier);
        QTRY_VERIFY(s.chkDisable()->isChecked());
        QTest::keyClick(s.window.get(), Qt::Key_A, Qt::AltModifier);
        QTRY_COMPARE(s.boxes.shown.size(), 1);
        QCOMPARE(s.outcome(), u"open||<absent>|<absent>|-|about"_s);
    }

    // Every cmdSet button under every hour style and every palette item replaces the selection
    // and gives txtSet the focus back; no selection: at the caret; no item: error 9, uncaught.
    void tokenButtons()
    {
        Session s;
        QVERIFY(s.open());
        const char16_t* const hourPrefix[] = {u"tt_", u"", u"kk1", u"kk2", u"kk3", u"kk4", u"kk5"};
        const char16_t* const fixed[] = {u"", u"d", u"m", u"mmm", u"aaa", u"ddd", u"o"};
        auto press = [&](int index, const QString& token) {
            s.txtSet()->setText(u"old"_s);
            s.txtSet()->selectAll();
            s.click(s.cmdSet(index));
            QCOMPARE(s.txtSet()->text(), QString(u'%' + token + u'%'));
            QCOMPARE(s.txtSet()->cursorPosition(), token.size() + 2);
            QCOMPARE(QApplication::focusWidget(), s.txtSet());
        };
        for (int index = 0; index < 7; ++index)
            for (int hour = 0; hour < 7; ++hour)
                for (bool seconds : {false, true}) {
                    s.cboHour()->setCurrentIndex(hour);
                    s.chkSec()->setChecked(seconds);
                    QString token = QString::fromUtf16(index ? fixed[index] : hourPrefix[hour]);
                    if (index == 0)
                        token += seconds ? u"h:nn:ss"_s : u"h:nn"_s;
                    press(index, token);
                    if (QTest::currentTestFailed())
                        QFAIL(qPrintable(u"cmdSet %1, hour style %2, seconds %3"_s.arg(index).arg(hour).arg(seconds)));
                }
        const QStringList codes = u"o rr AM/PM A/P ww yyyy yy ggg g RS RG RU"_s.split(u' ');
        for (int item = 0; item < 12; ++item) {
            s.cboSet()->setCurrentIndex(item);
            press(6, codes[item]);
        }
        s.txtSet()->setText(u"AB"_s);
        s.txtSet()->setCursorPosition(1);
        s.click(s.cmdSet(1));
        QCOMPARE(s.txtSet()->text(), u"A%d%B"_s);
        s.cboSet()->setCurrentIndex(-1);
        try {
            s.cmdSet(6)->click();
            QFAIL("no error");
        } catch (const vb::Error& e) {
            QCOMPARE(e.number, 9);
        }
        QVERIFY(s.boxes.shown.isEmpty() && s.isOpen());
    }

    // Only a left click inside the box expands the format, once per click; a malformed one
    // shows ZPErr.
    void sample()
    {
        Session s;
        QVERIFY(s.open());
        s.type(u"%h:nn:ss%"_s);
        QTest::mousePress(s.txtSample(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(s.txtSample(), Qt::LeftButton, {}, QPoint(5000, 5)); // let go outside
        QTest::mouseClick(s.txtSample(), Qt::MiddleButton);
        QCOMPARE(s.txtSample()->text(), kCaption);
        s.click(s.txtSample());
        QCOMPARE(s.txtSample()->text(), u"14:05:09"_s);
        vb::setFixedNow(vb::DateValue(2001, 3, 29, 15, 6, 10));
        QTest::qWait(10);
        QCOMPARE(s.txtSample()->text(), u"14:05:09"_s);
        s.type(u"at %h:nn% and %d"_s);
        s.click(s.txtSample());
        QCOMPARE(s.txtSample()->text(), u"ZPErr"_s);
        QCOMPARE(s.outcome(), u"open|at %h:nn% and %d|<absent>|<absent>|-"_s);
    }

    // A format typed, chkDisable's question answered (0: unchecked), RestartMsgRecv, then an
    // action; "broken": first a folder takes the settings file's place.
    void endings_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("disable");
        QTest::addColumn<QString>("recv");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("outcome");
        const int yes = vb::vbYes, no = vb::vbNo;
        const QString ok = u"click cmdMain_0"_s, h = u"%h:nn%"_s, r = u"4242"_s, nothing = u"|<absent>|<absent>|-"_s;
        QTest::newRow("OK: stored, restarted") << h << 0 << r << ok << u"closed|%h:nn%|1|%h:nn%|restart"_s;
        QTest::newRow("OK: spaces only, flag 0") << u"   "_s << 0 << r << ok << u"closed|   |0|   |restart"_s;
        QTest::newRow("OK: U+3000 is no space, flag 1") << u"\u3000"_s << 0 << r << ok << u"closed|\u3000|1|\u3000|restart"_s;
        QTest::newRow("OK: disable, Yes") << h << yes << r << ok << u"closed|%h:nn%|0|%h:nn%|restart|disable?"_s;
        QTest::newRow("OK: disable, No") << h << no << r << ok << u"closed|%h:nn%|1|%h:nn%|restart|disable?"_s;
        QTest::newRow("OK: malformed, no question") << u"%h:nn"_s << yes << r << ok << u"open|%h:nn"_s + nothing + u"|malformed"_s;
        QTest::newRow("OK: handle no number") << h << 0 << u"abc"_s << ok
            << u"closed|%h:nn%|1|%h:nn%|-|report 13 frmMain!cmdMain_Click - TamoZP133"_s;
        QTest::newRow("OK: store broken, both reported") << h << yes << r << u"broken click cmdMain_0"_s
            << u"open|%h:nn%|<error 75>|<error 75>|-|report 75 frmMain!SetZP - TamoZP133|report 75 frmMain!SetZP - TamoZP133"_s;
        QTest::newRow("Cancel") << h << yes << r << u"click cmdMain_1"_s << u"closed|%h:nn%"_s + nothing;
        QTest::newRow("Esc on cboSet") << h << yes << r << u"Escape cboSet"_s << u"closed|%h:nn%"_s + nothing;
        QTest::newRow("window closed") << h << yes << r << u"close"_s << u"closed|%h:nn%"_s + nothing;
        QTest::newRow("Enter in txtSet: OK") << h << 0 << r << u"Return txtSet"_s << u"closed|%h:nn%|1|%h:nn%|restart"_s;
        QTest::newRow("keypad Enter on cboHour: OK") << h << 0 << r << u"Enter cboHour"_s << u"closed|%h:nn%|1|%h:nn%|restart"_s;
        QTest::newRow("Enter on a token button") << h << 0 << r << u"Return cmdSet_1"_s << u"open|%h:nn%%d%"_s + nothing;
    }
    void endings()
    {
        QFETCH(QString, format);
        QFETCH(int, disable);
        QFETCH(QString, recv);
        QFETCH(QString, action);
        QFETCH(QString, outcome);
        Session s;
        save(kSectionPlugIn, kKeyRestartRecv, recv);
        QVERIFY(s.open());
        s.type(format);
        if (disable) {
            s.click(s.chkDisable());
            s.boxes.answer({disable});
        }
        if (action.startsWith(u"broken")) {
            QVERIFY(QFile::remove(vb::SettingsStore::fromEnvironment().filePath(kApp)) && QDir().mkpath(vb::SettingsStore::fromEnvironment().filePath(kApp)));
            action.remove(0, 7);
        }
        QWidget* target = s.get(action.section(u' ', 1));
        if (action == u"close") {
            QVERIFY(s.window->close());
        } else if (action.startsWith(u"click")) {
            s.click(target);
        } else {
            target->setFocus();
            const bool keypad = action.startsWith(u"Enter");
            QTest::keyClick(target, action.startsWith(u"Escape") ? Qt::Key_Escape : keypad ? Qt::Key_Enter : Qt::Key_Return,
                            keypad ? Qt::KeypadModifier : Qt::NoModifier);
        }
        QCOMPARE(s.outcome(), outcome);
    }

    void aboutPadsTheVersion()
    {
        QCOMPARE(aboutText({1, 3, 7}).section(u"\r\n"_s, 0, 0), u"Tamo Zephyr Panel 1.03.0007"_s);
        QCOMPARE(aboutText({12, 345, 67890}).section(u"\r\n"_s, 0, 0), u"Tamo Zephyr Panel 12.345.67890"_s);
    }

    // The Nth fallible store call of OK with disabling fails, N = 1, 2 … until none fires: each
    // run reports once and loses nothing; storing, disabling and reading the host all fail.
    void okUnderEveryStoreFault()
    {
        const QRegularExpression storing(u"^open\\|%h:nn%\\|[^|]*\\|[^|]*\\|-\\|report \\d+ frmMain!SetZP - TamoZP133$"_s);
        const QRegularExpression disabling(u"^open\\|%h:nn%\\|[01]\\|%h:nn%\\|-\\|disable\\?\\|report \\d+ frmMain!cmdMain_Click"_s);
        const QRegularExpression reading(u"^closed\\|%h:nn%\\|0\\|%h:nn%\\|-\\|disable\\?\\|report \\d+ frmMain!cmdMain_Click"_s);
        int seen[3] = {};
        for (int n = 1;; ++n) {
            QVERIFY(n < 500);
            Session s;
            QVERIFY(s.open());
            s.type(u"%h:nn%"_s);
            s.click(s.chkDisable());
            s.boxes.answer({vb::vbYes});
            vb::injectSettingsFault(n, EIO);
            s.click(s.cmdMain(0));
            const bool fired = vb::settingsFaultFired();
            vb::injectSettingsFault(0, 0);
            const QString outcome = s.outcome();
            if (!fired) {
                QCOMPARE(outcome, u"closed|%h:nn%|0|%h:nn%|restart|disable?"_s);
                break;
            }
            const int kind = storing.match(outcome).hasMatch() ? 0 : disabling.match(outcome).hasMatch() ? 1
                : reading.match(outcome).hasMatch() ? 2 : -1;
            QVERIFY2(kind >= 0, qPrintable(u"fault at call %1: "_s.arg(n) + outcome));
            ++seen[kind];
        }
        QVERIFY(seen[0] && seen[1] && seen[2]);
    }
};

QTEST_MAIN(WindowTest)
#include "zpwindow_qtest.moc"
