// The shared Qt support of the window programs: the message boxes and their keys, what the
// application object sets up with its top-level catcher (checked in a child process, since it
// ends the program), and one instance per user that a second start brings to the front.

#include "gui/GuiSupport.h"
#include "gui/SingleInstance.h"
#include "runtime/DatagramSocket.h"
#include "runtime/Program.h"
#include "runtime/RuntimeFolder.h"
#include "support/TestEnv.h"

#include <QFontInfo>
#include <QMessageBox>
#include <QMetaEnum>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// The child: a real Application whose event handler raises error 6, its boxes on standard
// error so that nothing waits for a click. First it prints what the constructor set up and the
// family that draws the window font.
int childMain(int argc, char** argv)
{
    gui::Application app(argc, argv);
    const bool qtBox = &vb::messageBoxService() == &app.messageBox();
    vb::StderrMessageBox stderrBox;
    vb::setMessageBoxService(&stderrBox);
    vb::setProgramTitle(u"guichild"_s);
    std::printf("box=%d icon=%d yes=%s font=%s\n", qtBox, !QApplication::windowIcon().isNull(),
                QCoreApplication::translate("QPlatformTheme", "&Yes").toUtf8().constData(),
                QFontInfo(gui::windowFont()).family().toUtf8().constData());
    std::fflush(stdout);
    QTimer::singleShot(0, [] { vb::raiseError(vb::Overflow); });
    return app.exec(); // the catcher ends the program first
}

// A dialog as "<buttons>|<icon>|<default button>|<text>|<title>|<text format>|<modality>".
QString describe(const QMessageBox& box)
{
    const auto key = [](auto value) { return QString::fromLatin1(QMetaEnum::fromType<decltype(value)>().valueToKey(int(value))); };
    QStringList buttons;
    for (QAbstractButton* b : box.buttons())
        buttons << key(QMessageBox::StandardButtons(box.standardButton(b)));
    buttons.sort();
    return QStringList{buttons.join(u' '), key(box.icon()), key(QMessageBox::StandardButtons(box.standardButton(box.defaultButton()))),
                       box.text(), box.windowTitle(), key(box.textFormat()), key(box.windowModality())}.join(u'|');
}

} // namespace

class GuiSupportTest : public QObject {
    Q_OBJECT

private slots:
    // The styles the programs show, as dialogs answered by keys or a click while they run: the
    // buttons, icon, default button, text, title, text format and modality, and the answer. A
    // button's letter, with or without Alt, answers before the key typed right after it.
    void messageBox()
    {
        const int modal = vb::vbSystemModal, yesNo2 = vb::vbYesNo | vb::vbDefaultButton2;
        const struct { int style; QString input; QString box; int answer; } rows[] = {
            {vb::vbOKOnly, u"Esc"_s, u"Ok|NoIcon|Ok"_s, vb::vbOK},
            {vb::vbCritical | modal, u"Return"_s, u"Ok|Critical|Ok"_s, vb::vbOK},
            {vb::vbInformation | modal, u"click"_s, u"Ok|Information|Ok"_s, vb::vbOK},
            {yesNo2 | vb::vbQuestion | modal, u"Return"_s, u"No Yes|Question|No"_s, vb::vbNo},
            {yesNo2, u"click"_s, u"No Yes|NoIcon|No"_s, vb::vbYes},
            {vb::vbYesNo, u"Esc"_s, u"No Yes|NoIcon|Yes"_s, vb::vbNo}, // Esc answers No, even when Yes is the default
            {yesNo2, u"Y, Return"_s, u"No Yes|NoIcon|No"_s, vb::vbYes},
            {yesNo2, u"Alt+Y, Return"_s, u"No Yes|NoIcon|No"_s, vb::vbYes},
            {vb::vbYesNo, u"N, Return"_s, u"No Yes|NoIcon|Yes"_s, vb::vbNo},
        };
        for (const auto& row : rows) {
            QString seen;
            QTimer::singleShot(0, this, [&] { // runs inside the dialog's exec()
                auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                seen = describe(*shown);
                if (row.input == u"click") { // OK, or Yes
                    (shown->button(QMessageBox::Yes) ? shown->button(QMessageBox::Yes) : shown->buttons()[0])->click();
                    return;
                }
                // Each key goes where the focus is, while the box is still open; access keys need it active.
                QVERIFY(QTest::qWaitForWindowActive(shown));
                const QKeySequence keys = QKeySequence::fromString(row.input);
                for (int i = 0; i < keys.count() && shown->isVisible(); ++i)
                    QTest::keyClick(shown->focusWidget(), keys[i].key(), keys[i].keyboardModifiers());
            });
            const int answer = gui::QtMessageBox().show(u"エラー番号:70\r\n<b>書き込み</b>"_s, row.style, u"題"_s);
            QCOMPARE(row.input + u": "_s + seen + u' ' + QString::number(answer), row.input + u": "_s + row.box
                     + u"|エラー番号:70\n<b>書き込み</b>|題|PlainText|ApplicationModal "_s + QString::number(row.answer));
        }
    }

    // What the application object sets up, and its catcher: an error that escapes an event
    // handler ends the program with the runtime's message and status 1.
    void unhandledErrorInAnEventEndsWithStatusOne()
    {
        QProcess child;
        qputenv("TAMO_GUISUPPORT_CHILD", "1");
        child.start(QCoreApplication::applicationFilePath(), {});
        qunsetenv("TAMO_GUISUPPORT_CHILD");
        QVERIFY(child.waitForFinished(30000));
        QVERIFY(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 1);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), u"box=1 icon=1 yes=はい(&Y) font=IPAPGothic\n"_s);
        QCOMPARE(QString::fromUtf8(child.readAllStandardError()), u"guichild\n実行時エラー '6':\n\nオーバーフローしました。\n"_s);
    }

    // Of two instances in one runtime folder the first holds the lock and hears the second, which
    // learns that it is not alone. Requests that arrive together raise once, anything else never;
    // the usual request brings a minimised window, behind another, back to the front. The socket
    // goes with the first, whose lock then passes on; a socket left behind by an instance that
    // ended at once is taken over; a folder that cannot hold the lock keeps no one out.
    void singleInstance()
    {
        TestEnv env;
        const QString folder = env.runtimeDir();
        vb::bindDatagramSocket(vb::instanceSocketPath(folder, u"Probe"_s)); // left behind
        int raised = 0;
        auto first = std::make_unique<gui::SingleInstance>(u"Probe"_s, folder);
        first->onRaiseRequest([&] { ++raised; });
        QVERIFY(!first->anotherInstanceRunning() && !first->anotherInstanceRunning() && first->held());
        QCOMPARE(first->lockPath() + u' ' + first->socketPath(), folder + u"/Probe.lock "_s + folder + u"/Probe.raise"_s);
        gui::SingleInstance second(u"Probe"_s, folder), other(u"Other"_s, folder);
        QVERIFY(second.anotherInstanceRunning() && second.anotherInstanceRunning() && !second.held());
        QVERIFY(!other.anotherInstanceRunning() && other.held());
        QTRY_COMPARE(raised, 1);
        for (const QByteArray& stray : {QByteArray("raise!"), QByteArray(), QByteArray("rais")})
            QVERIFY(vb::sendDatagram(first->socketPath(), stray));
        QCoreApplication::processEvents(); // a datagram is in the queue once sent
        QCOMPARE(raised, 1);

        QWidget window, above;
        window.showMinimized();
        above.show();
        QVERIFY(QTest::qWaitForWindowActive(&above) && window.isMinimized());
        first->raiseOnRequest(&window);
        QVERIFY(second.anotherInstanceRunning());
        QTRY_VERIFY(window.isActiveWindow() && !window.isMinimized() && window.isVisible());

        first.reset();
        QVERIFY(!QFile::exists(second.socketPath()));
        QVERIFY(!second.anotherInstanceRunning() && second.held() && QFile::exists(second.socketPath()));
        QVERIFY(QDir(folder).mkdir(u"Blocked.lock"_s)); // a folder where the lock file should be
        for (const auto& [program, unusable] : {std::pair(u"Probe"_s, QString()), std::pair(u"Probe"_s, folder + u"/no/such"_s),
                                                std::pair(u"Blocked"_s, folder)}) {
            gui::SingleInstance alone(program, unusable);
            QVERIFY2(!alone.anotherInstanceRunning() && !alone.held(), qPrintable(program + u' ' + unusable));
        }
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("TAMO_GUISUPPORT_CHILD"))
        return childMain(argc, argv);
    QApplication app(argc, argv);
    gui::clickAccessKeysAtOnce(app); // as gui::Application does
    GuiSupportTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "guisupport_qtest.moc"
