// TamoUnZP: removes the settings that TamoZP stored, after asking.

#include "gui/GuiSupport.h"
#include "gui/WindowServices.h"
#include "runtime/Program.h"
#include "uninstall/frmMain.h"

int main(int argc, char** argv)
{
    vb::setProgramTitle(QString::fromUtf16(unzp::kProgramTitle));
    gui::Application app(argc, argv);
    return vb::runMain([&app] {
        // Closing the window ends the program through vb::End: 1 after a failed removal, else 0.
        unzp::frmMain form({
            .store = vb::SettingsStore::fromEnvironment(),
            .boxes = app.messageBox(),
            .end = vb::End,
        });
        if (!form.Form_Load())
            return 0;
        return app.exec();
    });
}
