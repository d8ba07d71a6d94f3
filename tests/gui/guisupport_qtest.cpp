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
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QtTest>

#include <functional>

using Buttons = QList<QMessageBox::StandardButton>;
Q_DECLARE_METATYPE(QMessageBox::Icon)
Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {

// Runs `act` on the modal dialog once it is up, from inside its exec().
void whenModal(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start();
}

Buttons buttonsOf(const QMessageBox& box)
{
    Buttons out;
    for (QAbstractButton* b : box.buttons())
        out.append(box.standardButton(b));
    std::sort(out.begin(), out.end());
    return out;
}

constexpr char kChildVariable[] = "TAMO_GUISUPPORT_CHILD";

// The child: a real Application whose event handler raises error 6. Boxes go to standard
// error so that nothing waits for a click. Before that it prints what the constructor set up.
int childMain(int argc, char** argv)
{
    gui::Application app(argc, argv);
    const bool qtBoxInstalled =
        dynamic_cast<gui::QtMessageBox*>(&vb::messageBoxService()) != nullptr;
    vb::StderrMessageBox stderrBox;
    vb::setMessageBoxService(&stderrBox);
    vb::setProgramTitle(QStringLiteral("guichild"));
    const QString yes = QCoreApplication::translate("QPlatformTheme", "&Yes");
    std::printf("box=%d icon=%d yes=%s\n", qtBoxInstalled ? 1 : 0,
                QApplication::windowIcon().isNull() ? 0 : 1, yes.toUtf8().constData());
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
        QTest::addColumn<Buttons>("buttons");
        QTest::addColumn<QMessageBox::Icon>("icon");
        QTest::addColumn<QMessageBox::StandardButton>("defaultButton");
        using B = QMessageBox;
        QTest::newRow("0 OK only") << 0 << Buttons{B::Ok} << B::NoIcon << B::Ok;
        QTest::newRow("16 critical") << 16 << Buttons{B::Ok} << B::Critical << B::Ok;
        QTest::newRow("48 exclamation") << 48 << Buttons{B::Ok} << B::Warning << B::Ok;
        QTest::newRow("4160 information, system-modal")
            << 4160 << Buttons{B::Ok} << B::Information << B::Ok;
        QTest::newRow("4 Yes No") << 4 << Buttons{B::Yes, B::No} << B::NoIcon << B::Yes;
        QTest::newRow("4388 question, No default, system-modal")
            << 4388 << Buttons{B::Yes, B::No} << B::Question << B::No;
        QTest::newRow("36 question, Yes default")
            << 36 << Buttons{B::Yes, B::No} << B::Question << B::Yes;
        QTest::newRow("1 OK Cancel") << 1 << Buttons{B::Ok, B::Cancel} << B::NoIcon << B::Ok;
        QTest::newRow("257 Cancel default") << 257 << Buttons{B::Ok, B::Cancel} << B::NoIcon << B::Cancel;
        QTest::newRow("2 Abort Retry Ignore")
            << 2 << Buttons{B::Abort, B::Retry, B::Ignore} << B::NoIcon << B::Abort;
        QTest::newRow("514 Ignore default")
            << 514 << Buttons{B::Abort, B::Retry, B::Ignore} << B::NoIcon << B::Ignore;
        QTest::newRow("3 Yes No Cancel")
            << 3 << Buttons{B::Yes, B::No, B::Cancel} << B::NoIcon << B::Yes;
        QTest::newRow("5 Retry Cancel") << 5 << Buttons{B::Retry, B::Cancel} << B::NoIcon << B::Retry;
        QTest::newRow("516 third default of two falls back to the first")
            << 516 << Buttons{B::Yes, B::No} << B::NoIcon << B::Yes;
    }

    void boxStyle()
    {
        QFETCH(int, style);
        QFETCH(Buttons, buttons);
        QFETCH(QMessageBox::Icon, icon);
        QFETCH(QMessageBox::StandardButton, defaultButton);
        const auto box = gui::QtMessageBox::build(QStringLiteral("p"), style, QStringLiteral("t"));
        std::sort(buttons.begin(), buttons.end());
        QCOMPARE(buttonsOf(*box), buttons);
        QCOMPARE(box->icon(), icon);
        QVERIFY(box->defaultButton());
        QCOMPARE(box->standardButton(box->defaultButton()), defaultButton);
        QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    }

    void boxTextTitleAndJapaneseButtons()
    {
        const auto box = gui::QtMessageBox::build(QStringLiteral("エラー番号:70\r\n<b>書き込み</b>"),
                                                  4388, QStringLiteral("題"));
        QCOMPARE(box->text(), QStringLiteral("エラー番号:70\n<b>書き込み</b>"));
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->windowTitle(), QStringLiteral("題"));
        QVERIFY2(box->button(QMessageBox::Yes)->text().contains(u"はい"),
                 qPrintable(box->button(QMessageBox::Yes)->text()));
        QVERIFY2(box->button(QMessageBox::No)->text().contains(u"いいえ"),
                 qPrintable(box->button(QMessageBox::No)->text()));
    }

    // The real dialog, answered by the keyboard or a click while it runs.
    void showAnswers_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("key");    // 0: click `press` instead
        QTest::addColumn<int>("press");
        QTest::addColumn<int>("answer");
        using B = QMessageBox;
        QTest::newRow("Enter at once on 4388 says No") << 4388 << int(Qt::Key_Return) << 0 << int(vb::vbNo);
        QTest::newRow("Esc on 4388 says No") << 4388 << int(Qt::Key_Escape) << 0 << int(vb::vbNo);
        QTest::newRow("Enter on 4 says Yes") << 4 << int(Qt::Key_Return) << 0 << int(vb::vbYes);
        QTest::newRow("Yes clicked on 4388") << 4388 << 0 << int(B::Yes) << int(vb::vbYes);
        QTest::newRow("Enter on OK only") << 16 << int(Qt::Key_Return) << 0 << int(vb::vbOK);
        QTest::newRow("Esc on OK only") << 0 << int(Qt::Key_Escape) << 0 << int(vb::vbOK);
        QTest::newRow("Cancel clicked") << 1 << 0 << int(B::Cancel) << 2;
        QTest::newRow("Abort clicked") << 2 << 0 << int(B::Abort) << 3;
        QTest::newRow("Retry clicked") << 5 << 0 << int(B::Retry) << 4;
        QTest::newRow("Ignore clicked") << 2 << 0 << int(B::Ignore) << 5;
        QTest::newRow("No clicked on Yes No Cancel") << 3 << 0 << int(B::No) << int(vb::vbNo);
    }

    void showAnswers()
    {
        QFETCH(int, style);
        QFETCH(int, key);
        QFETCH(int, press);
        QFETCH(int, answer);
        QString seenTitle;
        whenModal([&](QWidget* modal) {
            seenTitle = modal->windowTitle();
            if (key) {
                QTest::keyClick(modal, Qt::Key(key));
            } else {
                auto* box = qobject_cast<QMessageBox*>(modal);
                box->button(QMessageBox::StandardButton(press))->click();
            }
        });
        gui::QtMessageBox service;
        QCOMPARE(service.show(QStringLiteral("?"), style, QStringLiteral("T")), answer);
        QCOMPARE(seenTitle, QStringLiteral("T"));
    }

    void windowFont_data()
    {
        QTest::addColumn<qreal>("points");
        QTest::newRow("window 9.6") << 9.6;
        QTest::newRow("txtSet 10.2") << 10.2;
    }

    void windowFont()
    {
        QFETCH(qreal, points);
        const QFont font = points == gui::kWindowFontPoints ? gui::windowFont() : gui::windowFont(points);
        QCOMPARE(font.family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(font.pointSizeF(), points);
        QCOMPARE(font.weight(), QFont::Normal);
        // Qt keeps substitutes in lower case.
        QCOMPARE(QFont::substitutes(font.family()),
                 (QStringList{QStringLiteral("ipapgothic"), QStringLiteral("noto sans cjk jp")}));
        // The Japanese font of the build machine actually draws it.
        QCOMPARE(QFontInfo(font).family(), QStringLiteral("IPAPGothic"));
    }

    void twips_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<qreal>("dpi");
        QTest::addColumn<int>("pixels");
        QTest::newRow("zero") << 0 << 96.0 << 0;
        QTest::newRow("one inch at 96") << 1440 << 96.0 << 96;
        QTest::newRow("15 twips are one pixel at 96") << 15 << 96.0 << 1;
        QTest::newRow("7 rounds down") << 7 << 96.0 << 0;
        QTest::newRow("8 rounds up") << 8 << 96.0 << 1;
        QTest::newRow("TamoUnZP width") << 3072 << 96.0 << 205;
        QTest::newRow("TamoUnZP height") << 1428 << 96.0 << 95;
        QTest::newRow("two inches at 120") << 2880 << 120.0 << 240;
        QTest::newRow("TamoUnZP width at 144") << 3072 << 144.0 << 307;
        QTest::newRow("negative") << -15 << 96.0 << -1;
    }

    void twips()
    {
        QFETCH(int, twips);
        QFETCH(qreal, dpi);
        QFETCH(int, pixels);
        QCOMPARE(gui::twipsToPixels(twips, dpi), pixels);
    }

    void twipsOnTheScreen()
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        if (screen->logicalDotsPerInchX() != 96 || screen->logicalDotsPerInchY() != 96)
            QSKIP("the rows below are for a 96 DPI screen");
        QCOMPARE(gui::twipsRect(2040, 960, 975, 375), QRect(136, 64, 65, 25));
        QCOMPARE(gui::twipsSize(3072, 1428), QSize(205, 95));
        QWidget w;
        QCOMPARE(gui::twipsRect(15, 30, 45, 60, &w), QRect(1, 2, 3, 4));
    }

    void icon()
    {
        const QIcon icon = gui::applicationIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
        const QImage image(QStringLiteral(":/tamozp/tamozp.png"));
        QCOMPARE(image.size(), QSize(32, 32));
        QSet<QRgb> opaque;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (qAlpha(image.pixel(x, y)) == 255)
                    opaque.insert(image.pixel(x, y));
                else
                    QCOMPARE(qAlpha(image.pixel(x, y)), 0);
        QVERIFY2(opaque.size() <= 16, qPrintable(QString::number(opaque.size())));
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);             // round face, clear corners
        QCOMPARE(image.pixel(20, 22), qRgb(255, 255, 255)); // the dial
        QFile svg(QStringLiteral(":/tamozp/tamozp.svg"));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QVERIFY(svg.readAll().contains("viewBox=\"0 0 32 32\""));
    }

    void unhandledErrorInAnEventEndsWithStatusOne()
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()),
                 QStringLiteral("box=1 icon=1 yes=はい(&Y)\n"));
        QCOMPARE(QString::fromUtf8(child.readAllStandardError()),
                 QStringLiteral("guichild\n実行時エラー '6':\n\nオーバーフローしました。\n"));
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
