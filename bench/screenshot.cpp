// Draws TamoZP's window into a PNG for the README: a stored format, loaded and selected, its
// sample clicked, at a fixed instant in empty settings of its own, so the picture changes only
// when the window does.  Usage: tamozp_screenshot OUT.png

#include "editor/ZPSettings.h"
#include "editor/frmMain.h"
#include "gui/GuiSupport.h"
#include "runtime/Clock.h"
#include "runtime/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    // Empty settings and runtime folders of its own.
    const QTemporaryDir home;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = home.filePath(QString::fromLatin1(name));
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(name, QFile::encodeName(path));
    }
    gui::Application app(argc, argv);
    QApplication::setCursorFlashTime(0); // a caret that does not blink draws the same each time
    vb::setProgramTitle(QStringLiteral("TamoZP"));
    vb::setFixedNow(vb::DateValue(2001, 3, 29, 14, 5, 9));
    vb::SettingsStore::fromEnvironment().SaveSetting(QString::fromUtf16(zp::kAppName), QString::fromUtf16(zp::kSectionMain),
                    QString::fromUtf16(zp::kKeyFormat), QStringLiteral("%yyyy%/%m%/%d%(%aaa%) %h:nn%"));

    zp::frmMain window({.end = [](int) { }});
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
