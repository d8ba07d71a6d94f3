// TamoZP: the settings window of the Tamo Zephyr Panel plug-in.

#include "editor/InstanceLock.h"
#include "editor/frmMain.h"
#include "gui/GuiSupport.h"
#include "gui/WindowServices.h"
#include "runtime/Program.h"
#include "runtime/RuntimeFolder.h"

int main(int argc, char** argv)
{
    gui::Application app(argc, argv);
    vb::setProgramTitle(QStringLiteral("TamoZP"));

    // Without a usable runtime folder there is nowhere safe to lock: run alone.
    const QString folder = vb::runtimeFolder();
    zp::InstanceLock lock(folder.isEmpty() ? QString()
                                           : vb::instanceLockPath(folder, QStringLiteral("TamoZP")));
    zp::frmMain window({
        .store = vb::SettingsStore::fromEnvironment(),
        .boxes = app.messageBox(),
        .now = vb::Now,
        .anotherInstanceRunning = [&lock] { return lock.anotherInstanceRunning(); },
        .end = vb::End,
    });
    if (!window.Form_Load())
        return 0;
    window.show();
    return app.exec();
}
