// Draws TamoZP's window into a PNG for the README: a stored format, loaded and wholly
// selected, and its sample clicked, at a fixed instant and in empty settings of its own, so
// the picture changes only when the window does.
//   tamozp_screenshot OUT.png

#include "editor/ZPSettings.h"
#include "editor/frmMain.h"
#include "gui/GuiSupport.h"
#include "runtime/Clock.h"
#include "runtime/SettingsStore.h"

#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path() + QStringLiteral("/runtime")));
    QDir().mkpath(home.path() + QStringLiteral("/runtime"));
    QFile::setPermissions(home.path() + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    gui::Application app(argc, argv);
    QApplication::setCursorFlashTime(0); // a caret that does not blink draws the same each time
    vb::setProgramTitle(QStringLiteral("TamoZP"));
    vb::setFixedNow(vb::DateValue(2001, 3, 29, 14, 5, 9));
    vb::SaveSetting(QString::fromUtf16(zp::kAppName), QString::fromUtf16(zp::kSectionMain),
                    QString::fromUtf16(zp::kKeyFormat), QStringLiteral("%yyyy%/%m%/%d%(%aaa%) %h:nn%"));

    zp::WindowHooks hooks;
    hooks.end = [](int) { };
    zp::frmMain window(std::move(hooks));
    window.show();
    // Active, so that the focused box draws its focus frame on every platform.
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window) && !QTest::qWaitForWindowExposed(&window))
        return 1;
    auto* sample = window.findChild<QLineEdit*>(QStringLiteral("txtSample"));
    auto* format = window.findChild<QLineEdit*>(QStringLiteral("txtSet"));
    QTest::mouseClick(sample, Qt::LeftButton, {}, sample->rect().center());
    format->setFocus();
    QTest::qWait(50);
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
