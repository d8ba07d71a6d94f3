// TamoUnZP's window driven for real: the boxes answered by FakeMessageBox, the values in the
// real settings store of a private XDG_CONFIG_HOME, seeded and read back by a second process
// (settings_tool), failures injected into the store or into the delete operation.

#include "uninstall/frmMain.h"

#include "editor/ZPSettings.h"
#include "gui/GuiSupport.h"
#include "runtime/SettingsStore.h"
#include "support/FakeMessageBox.h"
#include "support/SettingsTool.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <cerrno>

using unzp::frmMain;

namespace {

QString str(const char16_t* s)
{
    return QString::fromUtf16(s);
}

const QString kApp = str(zp::kAppName);
const QString kMain = str(zp::kSectionMain);
const QString kPlugIn = str(zp::kSectionPlugIn);
const QString kFormat = str(zp::kKeyFormat);
const QString kEnable = str(zp::kKeyEnable);
const QString kRestart = str(zp::kKeyRestartRecv);
const QString kOther = QStringLiteral("WindowLeft"); // a value of the host's that must stay

const QString kAbsent = QStringLiteral("<absent>");

// A stored value as another process reads it; kAbsent when there is none.
QString stored(const QString& section, const QString& key)
{
    const ToolRun run = runSettingsTool(
        {QStringLiteral("get"), kApp, section, key, QString::fromLatin1(toHexUnits(kAbsent))});
    if (run.exitCode != 0)
        return QStringLiteral("<tool failed %1: %2>").arg(run.exitCode).arg(QString::fromUtf8(run.out));
    return fromHexUnits(run.out);
}

void store(const QString& section, const QString& key, const QString& value)
{
    const ToolRun run = runSettingsTool({QStringLiteral("save"), kApp, section, key,
                                         QString::fromLatin1(toHexUnits(value))});
    QVERIFY2(run.exitCode == 0, run.out.constData());
}

// The host's values that no run may touch, and the plug-in's two as given.
void seed(bool withFormat, bool withFlag)
{
    store(kMain, kOther, QStringLiteral("120"));
    store(kPlugIn, kRestart, QStringLiteral("-42"));
    if (withFormat)
        store(kMain, kFormat, QStringLiteral("%h:nn% %RS%"));
    if (withFlag)
        store(kPlugIn, kEnable, QStringLiteral("1"));
}

QByteArray fileBytes()
{
    QFile f(vb::settingsFilePath(kApp));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// One run of the program's window with its boxes and its deletions recorded. `beforeDelete`
// runs at the start of each deletion (1 for the format, 2 for the flag) and may raise.
struct Run {
    FakeMessageBox boxes;
    QStringList deletions;
    std::function<void(int)> beforeDelete;
    frmMain form{[this](const QString& app, const QString& section, const QString& key) {
        deletions << section + u'/' + key;
        if (beforeDelete)
            beforeDelete(int(deletions.size()));
        vb::DeleteSetting(app, section, key);
    }};

    explicit Run(int answer) { boxes.answer({answer}); }
};

// Pixels in a band of rows of the window that differ from its background: where text is.
struct Ink {
    int count = 0;
    int left = -1;
};
Ink inkIn(const QImage& image, int top, int bottom, QColor background)
{
    Ink ink;
    for (int y = top; y < bottom && y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != background) {
                ++ink.count;
                ink.left = ink.left < 0 ? x : std::min(ink.left, x);
            }
    return ink;
}

const QStringList kBothDeleted{QStringLiteral("Main/ZPFormat"), QStringLiteral("Plug in/TamoZP")};

} // namespace

class UninstallerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

private slots:
    void init()
    {
        vb::injectSettingsFault(0, 0);
        env = std::make_unique<TestEnv>();
    }
    void cleanup()
    {
        vb::injectSettingsFault(0, 0);
        env.reset();
    }

    // ---- the text on the window's surface

    void surfaceLines_data()
    {
        QTest::addColumn<QStringList>("prints");
        QTest::addColumn<QStringList>("lines");
        const QString crlf = QStringLiteral("\r\n");
        QTest::newRow("nothing written") << QStringList{} << QStringList{};
        QTest::newRow("one line from the top") << QStringList{QStringLiteral("a")} << QStringList{QStringLiteral("a")};
        QTest::newRow("empty text is an empty line") << QStringList{QString()} << QStringList{QString()};
        QTest::newRow("leading CR LF leaves the first line empty")
            << QStringList{crlf + QStringLiteral(" 設定")} << QStringList{QString(), QStringLiteral(" 設定")};
        QTest::newRow("two CR LF make an empty line between")
            << QStringList{QStringLiteral("a\r\n\r\nb")} << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
        QTest::newRow("a trailing CR LF ends with an empty line")
            << QStringList{QStringLiteral("a\r\n")} << QStringList{QStringLiteral("a"), QString()};
        QTest::newRow("each write ends its line")
            << QStringList{QStringLiteral("a"), QStringLiteral("b")} << QStringList{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("lone CR and lone LF break too")
            << QStringList{QStringLiteral("a\rb\nc")} << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
        QTest::newRow("LF CR is two breaks")
            << QStringList{QStringLiteral("a\n\rb")} << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
        QTest::newRow("spaces are kept")
            << QStringList{QStringLiteral("  x  ")} << QStringList{QStringLiteral("  x  ")};
    }

    void surfaceLines()
    {
        QFETCH(QStringList, prints);
        QFETCH(QStringList, lines);
        unzp::SurfaceText surface;
        for (const QString& p : prints)
            surface.print(p);
        QCOMPARE(surface.lines(), lines);
    }

    void surfaceClearReturnsToTheTop()
    {
        unzp::SurfaceText surface;
        surface.print(QStringLiteral("\r\nprogress"));
        surface.clear();
        QVERIFY(surface.lines().isEmpty());
        surface.print(QStringLiteral("\r\ndone"));
        QCOMPARE(surface.lines(), (QStringList{QString(), QStringLiteral("done")}));
    }

    // ---- the window as created

    void windowAsCreated()
    {
        frmMain form([](const QString&, const QString&, const QString&) {});
        QCOMPARE(form.windowTitle(), QStringLiteral("TamoUnZP"));
        QCOMPARE(form.size(), gui::twipsSize(3072, 1428, &form));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(form.font() == gui::windowFont());
        QVERIFY(!form.windowIcon().isNull());
        QVERIFY(!form.isVisible());
        QVERIFY(form.surface().lines().isEmpty());
        QPushButton* ok = form.cmdMain();
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QCOMPARE(ok->geometry(), gui::twipsRect(2040, 960, 975, 375, &form));
        QVERIFY(ok->font() == gui::windowFont());
        QVERIFY(ok->isDefault());
        QVERIFY(!ok->isEnabled());
    }

    // ---- No

    void noDeletesNothingAndShowsNoWindow()
    {
        seed(true, true);
        const QByteArray before = fileBytes();
        Run run(vb::vbNo);
        QVERIFY(!run.form.Form_Load());
        QVERIFY(!run.form.isVisible());
        QVERIFY(!run.form.cmdMain()->isEnabled());
        QVERIFY(run.deletions.isEmpty());
        QVERIFY(run.form.surface().lines().isEmpty());
        QCOMPARE(run.boxes.shown.size(), 1);
        QCOMPARE(run.boxes.shown[0].prompt, QStringLiteral("TamoZP の設定/登録情報を削除してよろしいですか?"));
        QCOMPARE(run.boxes.shown[0].title, QStringLiteral("設定/登録情報削除の確認 - TamoUnZP"));
        QCOMPARE(run.boxes.shown[0].style, 4388);
        QCOMPARE(fileBytes(), before);
        QCOMPARE(stored(kMain, kFormat), QStringLiteral("%h:nn% %RS%"));
        QCOMPARE(stored(kPlugIn, kEnable), QStringLiteral("1"));
    }

    // ---- Yes

    void yesDeletesTheTwoValues_data()
    {
        QTest::addColumn<bool>("withFormat");
        QTest::addColumn<bool>("withFlag");
        QTest::newRow("both present") << true << true;
        QTest::newRow("neither present, as on a second run") << false << false;
        QTest::newRow("only the format") << true << false;
        QTest::newRow("only the flag") << false << true;
    }

    void yesDeletesTheTwoValues()
    {
        QFETCH(bool, withFormat);
        QFETCH(bool, withFlag);
        seed(withFormat, withFlag);
        Run run(vb::vbYes);
        QVERIFY(run.form.Form_Load());

        QCOMPARE(run.boxes.shown.size(), 1); // the question only: an absent value is no error
        QCOMPARE(run.deletions, kBothDeleted);
        QCOMPARE(stored(kMain, kFormat), kAbsent);
        QCOMPARE(stored(kPlugIn, kEnable), kAbsent);
        QCOMPARE(stored(kPlugIn, kRestart), QStringLiteral("-42"));
        QCOMPARE(stored(kMain, kOther), QStringLiteral("120"));

        QVERIFY(run.form.isVisible());
        QCOMPARE(run.form.surface().lines(), (QStringList{QString(), QStringLiteral(" 設定/登録情報削除完了")}));
        QVERIFY(run.form.cmdMain()->isEnabled());
    }

    void theCompletionLineIsPaintedOnTheSecondLine()
    {
        seed(true, true);
        Run run(vb::vbYes);
        QVERIFY(run.form.Form_Load());
        const QImage image = run.form.grab().toImage();
        const QColor background = run.form.palette().color(QPalette::Window);
        const int line = QFontMetrics(run.form.font()).lineSpacing();
        QVERIFY(2 * line < run.form.cmdMain()->y()); // the bands below hold only text
        QCOMPARE(inkIn(image, 0, line, background).count, 0);
        const Ink second = inkIn(image, line, 2 * line, background);
        QVERIFY(second.count > 50);
        // From the left edge, after the leading space.
        QVERIFY2(second.left > 0 && second.left < QFontMetrics(run.form.font()).horizontalAdvance(u' ') + 4,
                 qPrintable(QString::number(second.left)));
    }

    // ---- OK

    void okCannotBeClickedWhileDeleting()
    {
        seed(true, true);
        Run run(vb::vbYes);
        QSignalSpy clicks(run.form.cmdMain(), &QPushButton::clicked);
        QStringList seen;
        run.beforeDelete = [&](int n) {
            seen << run.form.surface().lines().join(u'|');
            QTest::mouseClick(run.form.cmdMain(), Qt::LeftButton);
            QTest::keyClick(&run.form, Qt::Key_Return);
            if (run.form.cmdMain()->isEnabled() || !run.form.isVisible())
                seen << QStringLiteral("OK usable at deletion %1").arg(n);
        };
        QVERIFY(run.form.Form_Load());
        QCOMPARE(seen, (QStringList{QStringLiteral("| 設定/登録情報削除中..."),
                                    QStringLiteral("| 設定/登録情報削除中...")}));
        QCOMPARE(clicks.count(), 0);
        QVERIFY(run.form.isVisible());
    }

    // As in the program: the event loop runs until the window is gone.
    void okOrClosingEndsTheProgram_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK clicked") << QStringLiteral("click");
        QTest::newRow("Enter, OK being the default button") << QStringLiteral("Enter");
        QTest::newRow("the window closed") << QStringLiteral("close");
    }

    void okOrClosingEndsTheProgram()
    {
        QFETCH(QString, how);
        Run run(vb::vbYes);
        QVERIFY(run.form.Form_Load());
        QTimer::singleShot(0, &run.form, [&] {
            if (how == u"click")
                QTest::mouseClick(run.form.cmdMain(), Qt::LeftButton);
            else if (how == u"Enter")
                QTest::keyClick(&run.form, Qt::Key_Return);
            else
                run.form.close();
        });
        QTimer hang; // a hang fails instead of blocking the suite
        hang.setSingleShot(true);
        connect(&hang, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
        hang.start(10000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!run.form.isVisible());
    }

    // ---- failures

    // Failures of the store itself, made without permission bits (we run as root).
    void aFailingStoreShowsTheErrorAndStops_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("number");
        QTest::newRow("junk line: the file does not parse") << QStringLiteral("junk") << 75;
        QTest::newRow("a folder where the file should be") << QStringLiteral("folder") << 75;
        QTest::newRow("first system call refused") << QStringLiteral("EACCES") << 70;
        QTest::newRow("first system call fails with EIO") << QStringLiteral("EIO") << 75;
    }

    void aFailingStoreShowsTheErrorAndStops()
    {
        QFETCH(QString, how);
        QFETCH(int, number);
        const QString path = vb::settingsFilePath(kApp);
        if (how == u"folder") {
            QVERIFY(QDir().mkpath(path));
        } else {
            seed(true, true);
            if (how == u"junk") {
                QFile f(path);
                QVERIFY(f.open(QIODevice::Append));
                f.write("this line is no setting\n");
            }
        }
        const QByteArray before = fileBytes();
        Run run(vb::vbYes);
        if (how == u"EACCES")
            run.beforeDelete = [](int n) { if (n == 1) vb::injectSettingsFault(1, EACCES); };
        if (how == u"EIO")
            run.beforeDelete = [](int n) { if (n == 1) vb::injectSettingsFault(1, EIO); };
        QVERIFY(run.form.Form_Load());

        QCOMPARE(run.deletions, QStringList{QStringLiteral("Main/ZPFormat")}); // and no further
        QCOMPARE(run.boxes.shown.size(), 2);
        const ShownBox& box = run.boxes.shown[1];
        QVERIFY2(box.prompt.startsWith(QStringLiteral("エラー番号:%1\r\n%2").arg(number).arg(vb::errorDescription(number))),
                 qPrintable(box.prompt));
        QVERIFY2(box.prompt.contains(path), qPrintable(box.prompt));
        QCOMPARE(box.title, QStringLiteral("TamoUnZP"));
        QCOMPARE(box.style, 16);

        QVERIFY(run.form.isVisible());
        QCOMPARE(run.form.surface().lines(), (QStringList{QString(), QStringLiteral(" 設定/登録情報削除中...")}));
        QVERIFY(!run.form.cmdMain()->isEnabled());
        QTest::mouseClick(run.form.cmdMain(), Qt::LeftButton);
        QTest::keyClick(&run.form, Qt::Key_Return);
        QVERIFY(run.form.isVisible());

        if (how == u"folder") {
            QVERIFY(QFileInfo(path).isDir());
        } else {
            QCOMPARE(fileBytes(), before);
        }
    }

    // The Nth fallible call of the store fails, N = 1, 2, ... until a run injects nothing:
    // every run ends completed or with one error box, and only the two values ever go.
    void everyStoreFaultEndsCleanly_data()
    {
        QTest::addColumn<int>("errnoValue");
        QTest::addColumn<int>("number");
        QTest::newRow("EIO") << EIO << 75;
        QTest::newRow("EACCES") << EACCES << 70;
        QTest::newRow("ENOSPC") << ENOSPC << 61;
    }

    void everyStoreFaultEndsCleanly()
    {
        QFETCH(int, errnoValue);
        QFETCH(int, number);
        bool completed = false;
        int faultsSeen = 0;
        int landedAnyway = 0;
        for (int nth = 1; !completed && nth < 200; ++nth) {
            const QString where = QStringLiteral("fault at call %1").arg(nth);
            TestEnv local;
            seed(true, true);
            Run run(vb::vbYes);
            run.beforeDelete = [nth, errnoValue](int n) { if (n == 1) vb::injectSettingsFault(nth, errnoValue); };
            QVERIFY2(run.form.Form_Load(), qPrintable(where));
            const bool fired = vb::settingsFaultFired();
            vb::injectSettingsFault(0, 0);

            QCOMPARE(stored(kPlugIn, kRestart), QStringLiteral("-42"));
            QCOMPARE(stored(kMain, kOther), QStringLiteral("120"));
            if (!fired) {
                completed = true;
                QCOMPARE(run.boxes.shown.size(), 1);
                QVERIFY(run.form.cmdMain()->isEnabled());
                QCOMPARE(stored(kMain, kFormat), kAbsent);
                QCOMPARE(stored(kPlugIn, kEnable), kAbsent);
                continue;
            }
            ++faultsSeen;
            QVERIFY2(run.boxes.shown.size() == 2, qPrintable(where));
            QVERIFY2(run.boxes.shown[1].prompt.startsWith(QStringLiteral("エラー番号:%1\r\n").arg(number)),
                     qPrintable(where + u' ' + run.boxes.shown[1].prompt));
            QVERIFY2(!run.form.cmdMain()->isEnabled(), qPrintable(where));
            QCOMPARE(run.form.surface().lines().value(1), QStringLiteral(" 設定/登録情報削除中..."));
            // A deletion not attempted leaves its value. The failed one may have landed: the
            // store syncs the folder after the rename, and a failure there comes after it.
            const bool formatGone = stored(kMain, kFormat) == kAbsent;
            const bool flagGone = stored(kPlugIn, kEnable) == kAbsent;
            if (run.deletions.size() == 1) {
                QVERIFY2(!flagGone, qPrintable(where));
            } else {
                QCOMPARE(run.deletions, kBothDeleted);
                QVERIFY2(formatGone, qPrintable(where));
            }
            landedAnyway += (run.deletions.size() == 1 ? formatGone : flagGone) ? 1 : 0;
        }
        QVERIFY(completed);
        QVERIFY(faultsSeen >= 2); // at least one call in each deletion
        QVERIFY(landedAnyway < faultsSeen);
    }

    // A failure that the store does not make: the delete operation handed to the window.
    void anErrorOfTheSecondDeletionKeepsTheFirstDone()
    {
        seed(true, true);
        Run run(vb::vbYes);
        run.beforeDelete = [](int n) { if (n == 2) vb::raiseError(vb::TypeMismatch); };
        QVERIFY(run.form.Form_Load());
        QCOMPARE(run.deletions, kBothDeleted);
        QCOMPARE(run.boxes.shown.size(), 2);
        QCOMPARE(run.boxes.shown[1].prompt, QStringLiteral("エラー番号:13\r\n型が一致しません。"));
        QCOMPARE(stored(kMain, kFormat), kAbsent);
        QCOMPARE(stored(kPlugIn, kEnable), QStringLiteral("1"));
        QVERIFY(!run.form.cmdMain()->isEnabled());
    }

    // Error 5 from anywhere in the handler is skipped, not only from an absent value.
    void errorFiveIsAlwaysSkippedSilently()
    {
        seed(true, true);
        Run run(vb::vbYes);
        run.beforeDelete = [](int n) { if (n == 1) vb::raiseError(vb::InvalidArgument); };
        QVERIFY(run.form.Form_Load());
        QCOMPARE(run.boxes.shown.size(), 1);
        QCOMPARE(stored(kMain, kFormat), QStringLiteral("%h:nn% %RS%")); // never reached
        QCOMPARE(stored(kPlugIn, kEnable), kAbsent);
        QVERIFY(run.form.cmdMain()->isEnabled());
    }
};

QTEST_MAIN(UninstallerTest)
#include "frmMain_qtest.moc"
