// TamoUnZP: removes the settings that TamoZP stored, after asking.

#include "gui/GuiSupport.h"
#include "runtime/Program.h"
#include "runtime/SettingsStore.h"
#include "uninstall/frmMain.h"

int main(int argc, char** argv)
{
    vb::setProgramTitle(QString::fromUtf16(unzp::kProgramTitle));
    gui::Application app(argc, argv);
    return vb::runMain([&app] {
        const vb::SettingsStore store = vb::SettingsStore::fromEnvironment();
        unzp::frmMain form([&store](const QString& app, const QString& section, const QString& key) {
            store.DeleteSetting(app, section, key);
        });
        if (!form.Form_Load())
            return 0;
        return app.exec();
    });
}
