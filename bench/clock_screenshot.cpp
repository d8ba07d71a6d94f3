// Draws TamoClock's window into a PNG for the README: a stored two-line format, enabled, at a
// fixed instant in empty settings of its own, so the picture changes only when the window does;
// with a second file, the month calendar that a click opens as well.
// Usage: tamoclock_screenshot OUT.png [CALENDAR.png]

#include "deskclock/CalendarPopup.h"
#include "deskclock/ClockWindow.h"
#include "editor/ZPSettings.h"
#include "ScreenshotHome.h"
#include "gui/GuiSupport.h"
#include "runtime/Clock.h"

#include <QtTest>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUT.png [CALENDAR.png]\n", argv[0]);
        return 2;
    }
    const ScreenshotHome home;
    const vb::SettingsStore store = home.store();

    gui::Application app(argc, argv);
    vb::setProgramTitle(QStringLiteral("TamoClock"));
    const QString plugIn = QString::fromUtf16(zp::kAppName);
    store.SaveSetting(plugIn, QString::fromUtf16(zp::kSectionPlugIn), QString::fromUtf16(zp::kKeyEnable),
                      QStringLiteral("1"));
    store.SaveSetting(plugIn, QString::fromUtf16(zp::kSectionMain), QString::fromUtf16(zp::kKeyFormat),
                      QStringLiteral("%m%月%d%日(%aaa%)\n%h:nn:ss%"));
    vb::setFixedNow(vb::DateValue(2001, 3, 29, 14, 5, 9));

    vb::StderrMessageBox standardError;
    deskclock::EngineReports reports(standardError);
    deskclock::ClockWindow window({.store = store, .boxes = app.messageBox(), .end = [](int) { }},
                                  {.reports = reports,
                                   .lines = [](const QString& line) { std::fprintf(stderr, "%s\n", qPrintable(line)); },
                                   .stillClock = true});
    if (!window.load())
        return 1;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QTest::qWait(50);
    const auto save = [](QWidget& widget, const char* path) {
        if (widget.grab().save(QString::fromLocal8Bit(path)))
            return true;
        std::fprintf(stderr, "cannot write %s\n", path);
        return false;
    };
    if (!save(window, argv[1]))
        return 1;
    if (argc == 3) {
        QTest::mouseClick(&window, Qt::LeftButton);
        deskclock::CalendarPopup* calendar = window.calendar();
        if (!calendar || !QTest::qWaitForWindowExposed(calendar))
            return 1;
        QTest::qWait(50);
        if (!save(*calendar, argv[2]))
            return 1;
    }
    return 0;
}
