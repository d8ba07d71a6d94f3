// TamoUnZP's window, handed a store in a temporary folder (not XDG_CONFIG_HOME, which it must not
// read) and boxes answered from a script; faults injected into the store.

#include "support/Common.h"
#include "support/FakeMessageBox.h"
#include "support/TestEnv.h"
#include "uninstall/frmMain.h"

#include <QPushButton>
#include <QtTest>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

const QString kDone = u"shown|OK|/ 設定/登録情報削除完了|<absent>|<absent>|120 -42|confirm"_s;

// One run: a store with two of the host's values, which no run may touch, and with `plugIn` the
// plug-in's two; the window, its question answered `answer`; a fake made after the window's.
struct Run {
    TestEnv env;
    vb::SettingsStore store{env.root() + u"/store"_s};
    FakeMessageBox boxes, installed;
    unzp::frmMain form{{.store = store, .boxes = boxes}};

    explicit Run(int answer, bool plugIn = true)
    {
        const QString values = u"Main/WindowLeft=120|Plug in/RestartMsgRecv=-42"_s + (plugIn ? u"|Main/ZPFormat=%h:nn%|Plug in/TamoZP=1"_s : u""_s);
        for (const QString& v : values.split(u'|'))
            store.SaveSetting(kApp, v.section(u'/', 0, 0), v.section(u'/', 1).section(u'=', 0, 0), v.section(u'=', 1));
        boxes.answer({answer});
    }
    QString stored(const QString& v) const { return store.GetSetting(kApp, v.section(u'/', 0, 0), v.section(u'/', 1), u"<absent>"_s); }
    // shown|OK usable|the surface's lines|the format|the flag|the host's values|each box shown.
    QString state() const
    {
        QStringList out{form.isVisible() ? u"shown"_s : u"hidden"_s, form.cmdMain()->isEnabled() ? u"OK"_s : u"-"_s,
                        form.surface().lines().join(u'/'), stored(u"Main/ZPFormat"_s), stored(u"Plug in/TamoZP"_s),
                        stored(u"Main/WindowLeft"_s) + u' ' + stored(u"Plug in/RestartMsgRecv"_s)};
        for (const ShownBox& b : boxes.shown) {
            const bool confirm = b.prompt == u"TamoZP の設定/登録情報を削除してよろしいですか?" && b.title == u"設定/登録情報削除の確認 - TamoUnZP"
                && b.style == (vb::vbYesNo | vb::vbQuestion | vb::vbDefaultButton2 | vb::vbSystemModal);
            const bool error = b.prompt.startsWith(u"エラー番号:75\r\n"_s + vb::errorDescription(75) + u' ') && b.title == u"TamoUnZP"
                && b.style == (vb::vbOKOnly | vb::vbCritical);
            out << (confirm ? u"confirm"_s : error ? u"error 75"_s : b.prompt);
        }
        for (const ShownBox& b : installed.shown)
            out << u"installed "_s + b.prompt;
        return out.join(u'|');
    }
};

} // namespace

class UninstallerTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { vb::injectSettingsFault(0, 0); }

    // No deletes nothing and shows nothing. Yes deletes the two values, present or not, and
    // enables OK, the default button, which Enter presses wherever the focus is. A fixed window: no
    // maximise button.
    void answer()
    {
        for (const auto& [answer, present, state] : {std::tuple(int(vb::vbNo), true, u"hidden|-||%h:nn%|1|120 -42|confirm"_s),
                                                     std::tuple(int(vb::vbYes), true, kDone), std::tuple(int(vb::vbYes), false, kDone)}) {
            Run run(answer, present);
            QCOMPARE(run.form.Form_Load(), answer == vb::vbYes);
            QCOMPARE(run.state(), state);
            QTest::keyClick(&run.form, Qt::Key_Return);
            QVERIFY(!run.form.isVisible());
        }
        Run run(vb::vbYes);
        QCOMPARE(run.form.windowFlags() & (Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    }

    // The Nth fallible store call fails, N = 1, 2 … until none fires: every run ends completed or
    // with one error box, the handler stopped there with OK disabled, and only the two values ever
    // go. A deletion not attempted leaves its value; the failed one may have landed (the store
    // syncs the folder after the rename).
    void everyStoreFaultEndsCleanly()
    {
        Run measure(vb::vbYes); // one deletion's calls tell which deletion a fault's number hits
        vb::injectSettingsFault(0, 0);
        measure.store.DeleteSetting(kApp, u"Main"_s, u"ZPFormat"_s);
        const int callsPerDeletion = vb::settingsFallibleCalls();
        int faults = 0, landedAnyway = 0;
        for (int nth = 1;; ++nth, ++faults) {
            QVERIFY(nth < 200);
            Run run(vb::vbYes);
            vb::injectSettingsFault(nth, EIO);
            QVERIFY(run.form.Form_Load());
            const bool fired = vb::settingsFaultFired();
            vb::injectSettingsFault(0, 0);
            if (!fired) {
                QCOMPARE(run.state(), kDone);
                break;
            }
            QTest::keyClick(&run.form, Qt::Key_Return);
            QTest::mouseClick(run.form.cmdMain(), Qt::LeftButton);
            const QString format = run.stored(u"Main/ZPFormat"_s), flag = run.stored(u"Plug in/TamoZP"_s);
            QCOMPARE(run.state(), u"shown|-|/ 設定/登録情報削除中...|%1|%2|120 -42|confirm|error 75"_s.arg(format, flag));
            const bool inFirst = nth <= callsPerDeletion;
            QVERIFY2(inFirst ? flag == u"1" : format == u"<absent>", qPrintable(QString::number(nth)));
            landedAnyway += (inFirst ? format : flag) == u"<absent>";
        }
        QVERIFY(faults >= 2 && landedAnyway < faults); // a call in each deletion; not every failure lands
    }
};

QTEST_MAIN(UninstallerTest)
#include "frmMain_qtest.moc"
