// Draws TamoZP's window into a PNG for the README: a stored format, loaded and selected, its
// sample clicked, at a fixed instant in empty settings of its own, so the picture changes only
// when the window does.  Usage: tamozp_screenshot OUT.png

#include "editor/ZPSettings.h"
#include "editor/frmMain.h"
#include "ScreenshotHome.h"
#include "gui/GuiSupport.h"
#include "gui/WindowServices.h"

#include <QLineEdit>
#include <QtTest>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    const ScreenshotHome home;
    const vb::SettingsStore store = home.store();

    gui::Application app(argc, argv);
    QApplication::setCursorFlashTime(0); // a caret that does not blink draws the same each time
    vb::setProgramTitle(QStringLiteral("TamoZP"));
    store.SaveSetting(QString::fromUtf16(zp::kAppName), QString::fromUtf16(zp::kSectionMain),
                      QString::fromUtf16(zp::kKeyFormat), QStringLiteral("%yyyy%/%m%/%d%(%aaa%) %h:nn%"));

    zp::frmMain window({
        .store = store,
        .boxes = app.messageBox(),
        .now = [] { return vb::DateValue(2001, 3, 29, 14, 5, 9); },
        .end = [](int) { },
    });
    if (!window.Form_Load())
        return 1;
    window.show();
    window.activateWindow(); // so that the focused box draws its focus frame
    if (!QTest::qWaitForWindowActive(&window) && !QTest::qWaitForWindowExposed(&window))
        return 1;
    auto* sample = window.findChild<QLineEdit*>(QStringLiteral("txtSample"));
    QTest::mouseClick(sample, Qt::LeftButton, {}, sample->rect().center());
    window.findChild<QLineEdit*>(QStringLiteral("txtSet"))->setFocus();
    QTest::qWait(50);
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
