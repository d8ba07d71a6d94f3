// TamoZP: the settings window of the Tamo Zephyr Panel plug-in.

#include "editor/frmMain.h"
#include "gui/GuiSupport.h"
#include "gui/SingleInstance.h"
#include "gui/WindowServices.h"
#include "runtime/Program.h"
#include "runtime/RuntimeFolder.h"

int main(int argc, char** argv)
{
    gui::Application app(argc, argv);
    vb::setProgramTitle(QStringLiteral("TamoZP"));

    // One per user; a second start brings the first to the front and ends without a word.
    gui::SingleInstance instance(QStringLiteral("TamoZP"), vb::runtimeFolder());
    zp::frmMain window({
        .store = vb::SettingsStore::fromEnvironment(),
        .boxes = app.messageBox(),
        .now = vb::Now,
        .anotherInstanceRunning = [&instance] { return instance.anotherInstanceRunning(); },
        .end = vb::End,
    });
    if (!window.Form_Load())
        return 0;
    instance.raiseOnRequest(&window);
    window.show();
    return app.exec();
}
