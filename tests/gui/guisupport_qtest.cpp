// The shared Qt support of the window programs: message boxes, translations, font, twips, icon,
// and the top-level catcher (checked in a child process, since it ends the program).

#include "gui/GuiSupport.h"
#include "runtime/Program.h"

#include <QAbstractButton>
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

    // Every group of buttons, icon and default button (one beyond the last falls back to the
    // first); then the real dialog, answered by a key or a click while it runs, and the
    // runtime's answer for each button.
    void messageBox_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<Buttons>("buttons"); // in order of the Qt enumeration
        QTest::addColumn<QMessageBox::Icon>("icon");
        QTest::addColumn<QMessageBox::StandardButton>("defaultButton");
        QTest::addColumn<int>("input"); // a Qt::Key, or the button to click
        QTest::addColumn<int>("answer");
        using B = QMessageBox;
        const int esc = Qt::Key_Escape, enter = Qt::Key_Return;
        QTest::newRow("0: Esc on OK") << 0 << Buttons{B::Ok} << B::NoIcon << B::Ok << esc << int(vb::vbOK);
        QTest::newRow("17: Cancel") << 17 << Buttons{B::Ok, B::Cancel} << B::Critical << B::Ok << int(B::Cancel) << 2;
        QTest::newRow("514: Abort") << 514 << Buttons{B::Abort, B::Retry, B::Ignore} << B::NoIcon << B::Ignore << int(B::Abort) << 3;
        QTest::newRow("2: Ignore") << 2 << Buttons{B::Abort, B::Retry, B::Ignore} << B::NoIcon << B::Abort << int(B::Ignore) << 5;
        QTest::newRow("4165: Retry") << 4165 << Buttons{B::Retry, B::Cancel} << B::Information << B::Retry << int(B::Retry) << 4;
        QTest::newRow("51: Yes") << 51 << Buttons{B::Yes, B::No, B::Cancel} << B::Warning << B::Yes << int(B::Yes) << int(vb::vbYes);
        QTest::newRow("4388: Enter at once") << 4388 << Buttons{B::Yes, B::No} << B::Question << B::No << enter << int(vb::vbNo);
        QTest::newRow("516: Esc, not the default") << 516 << Buttons{B::Yes, B::No} << B::NoIcon << B::Yes << esc << int(vb::vbNo);
    }
    void messageBox()
    {
        QFETCH(int, style);
        QFETCH(Buttons, buttons);
        QFETCH(QMessageBox::Icon, icon);
        QFETCH(QMessageBox::StandardButton, defaultButton);
        QFETCH(int, input);
        QFETCH(int, answer);
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

        QString seenTitle;
        QTimer timer; // acts on the dialog once it is up, from inside its exec()
        connect(&timer, &QTimer::timeout, this, [&] {
            auto* shownBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!shownBox)
                return;
            timer.stop();
            seenTitle = shownBox->windowTitle();
            if (input >= Qt::Key_Escape)
                QTest::keyClick(shownBox, Qt::Key(input));
            else
                shownBox->button(QMessageBox::StandardButton(input))->click();
        });
        timer.start(5);
        gui::QtMessageBox service;
        QCOMPARE(service.show(u"?"_s, style, u"T"_s), answer);
        QCOMPARE(seenTitle, u"T"_s);
    }

    // The window font, drawn by its substitute; twips rounded to the nearest pixel.
    void appearance()
    {
        const QFont font = gui::windowFont();
        QCOMPARE(font.family(), u"ＭＳ Ｐゴシック"_s);
        QCOMPARE(font.weight(), QFont::Normal);
        QCOMPARE(QFontInfo(font).family(), u"IPAPGothic"_s);
        QCOMPARE(gui::windowFont(10.2).pointSizeF(), 10.2);
        const struct { int twips; qreal dpi; int pixels; } rows[] = {
            {7, 96, 0}, {8, 96, 1}, {3072, 96, 205}, {1428, 96, 95}, {2880, 120, 240}, {3072, 144, 307}, {-15, 96, -1},
        };
        for (const auto& r : rows)
            QCOMPARE(gui::twipsToPixels(r.twips, r.dpi), r.pixels);
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
