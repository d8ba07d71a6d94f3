// The shared Qt support of the window programs: message boxes, translations, font, twips, icon,
// and the top-level catcher (checked in a child process, since it ends the program).

#include "gui/GuiSupport.h"
#include "runtime/Program.h"

#include <QAbstractButton>
#include <QFile>
#include <QFontInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using Buttons = QList<QMessageBox::StandardButton>;
Q_DECLARE_METATYPE(QMessageBox::Icon)
Q_DECLARE_METATYPE(QMessageBox::StandardButton)
using namespace Qt::StringLiterals;

namespace {

constexpr char kChildVariable[] = "TAMO_GUISUPPORT_CHILD";

// The child: a real Application whose event handler raises error 6, its boxes on standard
// error so that nothing waits for a click. First it prints what the constructor set up.
int childMain(int argc, char** argv)
{
    gui::Application app(argc, argv);
    const bool qtBox = dynamic_cast<gui::QtMessageBox*>(&vb::messageBoxService()) != nullptr;
    vb::StderrMessageBox stderrBox;
    vb::setMessageBoxService(&stderrBox);
    vb::setProgramTitle(u"guichild"_s);
    std::printf("box=%d icon=%d yes=%s\n", qtBox, !QApplication::windowIcon().isNull(),
                QCoreApplication::translate("QPlatformTheme", "&Yes").toUtf8().constData());
    std::fflush(stdout);
    QTimer::singleShot(0, [] { vb::raiseError(vb::Overflow); });
    app.exec();
    return 0; // not reached: the catcher ends the program
}

} // namespace

class GuiSupportTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(gui::installJapaneseTranslations()); }

    void boxStyle_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<Buttons>("buttons"); // in order of the Qt enumeration
        QTest::addColumn<QMessageBox::Icon>("icon");
        QTest::addColumn<QMessageBox::StandardButton>("defaultButton");
        using B = QMessageBox;
        QTest::newRow("0") << 0 << Buttons{B::Ok} << B::NoIcon << B::Ok;
        QTest::newRow("16 critical") << 16 << Buttons{B::Ok} << B::Critical << B::Ok;
        QTest::newRow("48 exclamation") << 48 << Buttons{B::Ok} << B::Warning << B::Ok;
        QTest::newRow("4160 information") << 4160 << Buttons{B::Ok} << B::Information << B::Ok;
        QTest::newRow("4388 question, No") << 4388 << Buttons{B::Yes, B::No} << B::Question << B::No;
        QTest::newRow("257 OK Cancel") << 257 << Buttons{B::Ok, B::Cancel} << B::NoIcon << B::Cancel;
        QTest::newRow("514 Abort Retry Ignore") << 514 << Buttons{B::Abort, B::Retry, B::Ignore} << B::NoIcon << B::Ignore;
        QTest::newRow("3 Yes No Cancel") << 3 << Buttons{B::Yes, B::No, B::Cancel} << B::NoIcon << B::Yes;
        QTest::newRow("5 Retry Cancel") << 5 << Buttons{B::Retry, B::Cancel} << B::NoIcon << B::Retry;
        QTest::newRow("516 no third: first") << 516 << Buttons{B::Yes, B::No} << B::NoIcon << B::Yes;
    }
    void boxStyle()
    {
        QFETCH(int, style);
        QFETCH(Buttons, buttons);
        QFETCH(QMessageBox::Icon, icon);
        QFETCH(QMessageBox::StandardButton, defaultButton);
        const auto box = gui::QtMessageBox::build(u"エラー番号:70\r\n<b>書き込み</b>"_s, style, u"題"_s);
        Buttons shown;
        for (QAbstractButton* b : box->buttons())
            shown << box->standardButton(b);
        std::sort(shown.begin(), shown.end());
        QCOMPARE(shown, buttons);
        QCOMPARE(box->icon(), icon);
        QVERIFY(box->defaultButton());
        QCOMPARE(box->standardButton(box->defaultButton()), defaultButton);
        QCOMPARE(box->windowModality(), Qt::ApplicationModal);
        QCOMPARE(box->text(), u"エラー番号:70\n<b>書き込み</b>"_s);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->windowTitle(), u"題"_s);
        if (auto* yes = box->button(QMessageBox::Yes))
            QVERIFY2(yes->text().contains(u"はい"_s), qPrintable(yes->text()));
    }

    // The real dialog, answered by the keyboard or a click while it runs.
    void showAnswers_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("key"); // 0: click `press` instead
        QTest::addColumn<int>("press");
        QTest::addColumn<int>("answer");
        using B = QMessageBox;
        QTest::newRow("Enter at once on 4388: No") << 4388 << int(Qt::Key_Return) << 0 << int(vb::vbNo);
        QTest::newRow("Esc on 4388: No") << 4388 << int(Qt::Key_Escape) << 0 << int(vb::vbNo);
        QTest::newRow("Yes clicked") << 4388 << 0 << int(B::Yes) << int(vb::vbYes);
        QTest::newRow("Esc on OK only") << 0 << int(Qt::Key_Escape) << 0 << int(vb::vbOK);
        QTest::newRow("Cancel clicked") << 1 << 0 << int(B::Cancel) << 2;
        QTest::newRow("Abort clicked") << 2 << 0 << int(B::Abort) << 3;
        QTest::newRow("Retry clicked") << 5 << 0 << int(B::Retry) << 4;
        QTest::newRow("Ignore clicked") << 2 << 0 << int(B::Ignore) << 5;
    }
    void showAnswers()
    {
        QFETCH(int, style);
        QFETCH(int, key);
        QFETCH(int, press);
        QFETCH(int, answer);
        QString seenTitle;
        QTimer timer; // acts on the dialog once it is up, from inside its exec()
        connect(&timer, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            timer.stop();
            seenTitle = box->windowTitle();
            if (key)
                QTest::keyClick(box, Qt::Key(key));
            else
                box->button(QMessageBox::StandardButton(press))->click();
        });
        timer.start(5);
        gui::QtMessageBox service;
        QCOMPARE(service.show(u"?"_s, style, u"T"_s), answer);
        QCOMPARE(seenTitle, u"T"_s);
    }

    void windowFont()
    {
        for (const qreal points : {9.6, 10.2}) {
            const QFont font = points == 9.6 ? gui::windowFont() : gui::windowFont(points);
            QCOMPARE(font.family(), u"ＭＳ Ｐゴシック"_s);
            QCOMPARE(font.pointSizeF(), points);
            QCOMPARE(font.weight(), QFont::Normal);
            QCOMPARE(QFontInfo(font).family(), u"IPAPGothic"_s); // the substitute draws it
        }
    }

    void twips()
    {
        const struct { int twips; qreal dpi; int pixels; } rows[] = {
            {0, 96, 0}, {1440, 96, 96}, {7, 96, 0}, {8, 96, 1}, {3072, 96, 205}, {1428, 96, 95},
            {2880, 120, 240}, {3072, 144, 307}, {-15, 96, -1},
        };
        for (const auto& r : rows)
            QCOMPARE(gui::twipsToPixels(r.twips, r.dpi), r.pixels);
        QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInchX(), 96.0);
        QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInchY(), 96.0);
        QCOMPARE(gui::twipsRect(2040, 960, 975, 375), QRect(136, 64, 65, 25));
        QWidget w;
        QCOMPARE(gui::twipsSize(3072, 1428, &w), QSize(205, 95));
    }

    void icon()
    {
        QVERIFY(gui::applicationIcon().availableSizes().contains(QSize(32, 32)));
        QFile svg(u":/tamozp/tamozp.svg"_s);
        QVERIFY(svg.open(QIODevice::ReadOnly) && svg.readAll().contains("viewBox=\"0 0 32 32\""));
    }

    void unhandledErrorInAnEventEndsWithStatusOne()
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildVariable), u"1"_s);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), u"box=1 icon=1 yes=はい(&Y)\n"_s);
        QCOMPARE(QString::fromUtf8(child.readAllStandardError()), u"guichild\n実行時エラー '6':\n\nオーバーフローしました。\n"_s);
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(kChildVariable))
        return childMain(argc, argv);
    QApplication app(argc, argv);
    GuiSupportTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "guisupport_qtest.moc"
