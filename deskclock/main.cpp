// TamoClock: the clock window, the host for desktops without a status bar.

#include "clock/FollowHost.h"
#include "deskclock/ClockWindow.h"
#include "deskclock/Desktop.h"
#include "gui/GuiSupport.h"
#include "gui/SingleInstance.h"
#include "gui/WindowServices.h"
#include "runtime/FileDescriptor.h"
#include "runtime/Program.h"
#include "runtime/RuntimeFolder.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <optional>
#include <sys/signalfd.h>

namespace {

void errorLine(const QString& what)
{
    QString line = QStringLiteral("TamoClock: ") + what;
    line.replace(u'\n', u' ');
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace

int main(int argc, char** argv)
{
    // SIGINT, SIGTERM and SIGHUP (a session that ends) close the window in order, so that the
    // host removes its socket and withdraws its handle. Blocked before Qt starts a thread; the
    // mask is then exactly those signals, and a signalfd reads them in the event loop.
    clk::blockExitSignals();
    sigset_t exitSignals;
    ::sigprocmask(SIG_BLOCK, nullptr, &exitSignals);
    const vb::FileDescriptor exitSignalFd(::signalfd(-1, &exitSignals, SFD_NONBLOCK | SFD_CLOEXEC));

    // Under X11, Qt sends each repaint through shared memory and then waits for the server's
    // completion event: two more wakeups for every change of the text. A window this small is
    // as cheap to send through the socket. Read when the connection opens; TamoZP, started
    // later, does not inherit it.
    const bool shmChosen = qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (!shmChosen)
        qputenv("QT_XCB_NO_MITSHM", "1");
    gui::Application app(argc, argv);
    if (!shmChosen)
        qunsetenv("QT_XCB_NO_MITSHM");
    vb::setProgramTitle(QStringLiteral("TamoClock"));
    // Wayland compositors find the desktop entry (icon, name, window rules) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("tamoclock"));
    // The engine's reports go to standard error, each once: a box every second helps nobody.
    vb::StderrMessageBox standardError;
    deskclock::EngineReports reports(standardError);

    // One per user; a second start brings the first to the front and ends with status 0.
    gui::SingleInstance instance(QStringLiteral("TamoClock"), vb::runtimeFolder());
    const QString folder = QCoreApplication::applicationDirPath();
    deskclock::ClockWindow window(
        {
            .store = vb::SettingsStore::fromEnvironment(),
            .boxes = app.messageBox(),
            .now = vb::Now,
            .anotherInstanceRunning = [&instance] { return instance.anotherInstanceRunning(); },
            .end = vb::End,
            .launch = [folder](const QString& program) { return deskclock::launchProgram(program, folder); },
        },
        {.reports = reports, .lines = errorLine, .programPath = QCoreApplication::applicationFilePath()});
    if (!window.load())
        return 0;
    instance.raiseOnRequest(&window);
    std::optional<QSocketNotifier> exitRequest;
    if (exitSignalFd) {
        exitRequest.emplace(exitSignalFd.get(), QSocketNotifier::Read);
        QObject::connect(&*exitRequest, &QSocketNotifier::activated, &app, [&window] {
            window.close();
            QCoreApplication::quit();
        });
    }
    window.show();
    return app.exec();
}
