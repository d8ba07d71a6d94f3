#include "gui/GuiSupport.h"

#include "runtime/Program.h"

namespace gui {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv), previousService_(&vb::messageBoxService())
{
    installJapaneseTranslations();
    setWindowIcon(applicationIcon());
    clickAccessKeysAtOnce(*this);
    vb::setMessageBoxService(&messageBox_);
}

Application::~Application()
{
    vb::setMessageBoxService(previousService_);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    // Qt cannot carry an exception through its event loop; this is the last place to stop one.
    try {
        return QApplication::notify(receiver, event);
    } catch (const vb::Error& e) {
        vb::endWithUnhandledError(e);
    }
}

} // namespace gui
