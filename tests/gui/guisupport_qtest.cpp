// The shared Qt support of the window programs: the message boxes and their keys, what the
// application object sets up with its top-level catcher (checked in a child process, since it
// ends the program), and one instance per user that a second start brings to the front.

#include "gui/GuiSupport.h"
#include "gui/SingleInstance.h"
#include "runtime/DatagramSocket.h"
#include "runtime/Program.h"
#include "runtime/RuntimeFolder.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

class GuiSupportTest : public QObject {
    Q_OBJECT

private slots:
    // The styles the programs show, as dialogs answered by keys or a click: the buttons, default
    // button, icon, text, title, text format and modality, and the answer. Esc answers No, even when
    // Yes is the default; a button's letter, with or without Alt, answers before the key after it.
    void messageBox()
    {
        const auto key = [](auto value) { return QVariant::fromValue(value).toString(); }; // its name
        const int modal = vb::vbSystemModal, yesNo2 = vb::vbYesNo | vb::vbDefaultButton2;
        const struct { int style; QString input, box; int answer; } rows[] = {
            {vb::vbOKOnly, u"Esc"_s, u"OK|OK|NoIcon"_s, vb::vbOK},
            {vb::vbCritical | modal, u"Return"_s, u"OK|OK|Critical"_s, vb::vbOK},
            {vb::vbInformation | modal, u"click"_s, u"OK|OK|Information"_s, vb::vbOK},
            {yesNo2 | vb::vbQuestion | modal, u"Return"_s, u"&Yes|&No|&No|Question"_s, vb::vbNo},
            {yesNo2, u"click"_s, u"&Yes|&No|&No|NoIcon"_s, vb::vbYes},
            {vb::vbYesNo, u"Esc"_s, u"&Yes|&No|&Yes|NoIcon"_s, vb::vbNo},
            {yesNo2, u"Y, Return"_s, u"&Yes|&No|&No|NoIcon"_s, vb::vbYes},
            {yesNo2, u"Alt+Y, Return"_s, u"&Yes|&No|&No|NoIcon"_s, vb::vbYes},
        };
        for (const auto& row : rows) {
            QStringList seen{row.input};
            QTimer::singleShot(0, this, [&] { // runs inside the dialog's exec()
                auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                for (QAbstractButton* b : shown->buttons() + QList<QAbstractButton*>{shown->defaultButton()})
                    seen << b->text();
                seen << key(shown->icon()) << shown->text() << shown->windowTitle() << key(shown->textFormat())
                     << key(shown->windowModality());
                if (row.input == u"click") // OK, or Yes
                    return (shown->button(QMessageBox::Yes) ?: shown->buttons()[0])->click();
                QVERIFY(QTest::qWaitForWindowActive(shown)); // for access keys; each key where the focus is
                const QKeySequence keys = QKeySequence::fromString(row.input);
                for (int i = 0; i < keys.count() && shown->isVisible(); ++i)
                    QTest::keyClick(shown->focusWidget(), keys[i].key(), keys[i].keyboardModifiers());
            });
            seen << QString::number(gui::QtMessageBox().show(u"エラー番号:70\r\n<b>書き込み</b>"_s, row.style, u"題"_s));
            QCOMPARE(seen.join(u'|'), u"%1|%2|エラー番号:70\n<b>書き込み</b>|題|PlainText|ApplicationModal|%3"_s
                                          .arg(row.input, row.box).arg(row.answer));
        }
    }

    // In a child, a real Application, its boxes then put on standard error: what it sets up (the Qt
    // boxes, the icon, Qt's own Japanese strings, the window font's family), and its catcher: error 6
    // escaping an event handler ends the program with the runtime's message and status 1.
    void unhandledErrorInAnEventEndsWithStatusOne()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {u"--child"_s});
        QVERIFY(child.waitForFinished(30000) && child.exitStatus() == QProcess::NormalExit);
        QCOMPARE(QString::number(child.exitCode()) + u'|' + QString::fromUtf8(child.readAllStandardError()),
                 u"1|box=1 icon=1 yes=はい(&Y) font=IPAPGothic\nguichild\n実行時エラー '6':\n\nオーバーフローしました。\n"_s);
    }

    // Of two instances in one runtime folder the first holds the lock and hears the second, which
    // learns that it is not alone. Requests that arrive together raise once, anything else never; the
    // usual one brings a minimised window, behind another, to the front. The socket goes with the first,
    // whose lock passes on; a socket left behind is taken over; a folder without a lock bars no one.
    void singleInstance()
    {
        const TestEnv env;
        const QString folder = env.runtimeDir();
        vb::bindDatagramSocket(vb::instanceSocketPath(folder, u"Probe"_s)); // left behind
        int raised = 0;
        auto first = std::make_unique<gui::SingleInstance>(u"Probe"_s, folder);
        first->onRaiseRequest([&] { ++raised; });
        QVERIFY(!first->anotherInstanceRunning() && !first->anotherInstanceRunning() && first->held());
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
        first.reset(); // its socket goes, then the second takes the lock and makes its own
        QVERIFY(!QFile::exists(second.socketPath()) && !second.anotherInstanceRunning() && second.held());
        QVERIFY(QFile::exists(second.socketPath()));
        QVERIFY(QDir(folder).mkdir(u"Blocked.lock"_s)); // a folder where the lock file should be
        for (const QString& unusable : {QString(), folder + u"/no/such"_s, folder}) {
            gui::SingleInstance alone(unusable == folder ? u"Blocked"_s : u"Probe"_s, unusable);
            QVERIFY2(!alone.anotherInstanceRunning() && !alone.held(), qPrintable(unusable));
        }
    }
};

int main(int argc, char** argv)
{
    if (argc == 2 && qstrcmp(argv[1], "--child") == 0) { // see unhandledErrorInAnEventEndsWithStatusOne
        gui::Application app(argc, argv);
        const bool qtBox = &vb::messageBoxService() == &app.messageBox();
        vb::StderrMessageBox stderrBox;
        vb::setMessageBoxService(&stderrBox);
        vb::setProgramTitle(u"guichild"_s);
        std::fprintf(stderr, "box=%d icon=%d yes=%s font=%s\n", qtBox, !QApplication::windowIcon().isNull(),
                     qUtf8Printable(QCoreApplication::translate("QPlatformTheme", "&Yes")),
                     qUtf8Printable(QFontInfo(gui::windowFont()).family()));
        QTimer::singleShot(0, [] { vb::raiseError(vb::Overflow); });
        return app.exec(); // the catcher ends the program first
    }
    QApplication app(argc, argv);
    gui::clickAccessKeysAtOnce(app); // as gui::Application does
    GuiSupportTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "guisupport_qtest.moc"
