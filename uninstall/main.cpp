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
        unzp::frmMain form({
            .store = vb::SettingsStore::fromEnvironment(),
            .boxes = app.messageBox(),
        });
        if (!form.Form_Load())
            return 0;
        return app.exec();
    });
}
