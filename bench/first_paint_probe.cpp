// Loaded into a Qt program with LD_PRELOAD by bench_startup: when the program's first window
// has been painted, writes the CLOCK_MONOTONIC time in nanoseconds to the file descriptor
// named by TAMO_PROBE_FD and ends the process. The program itself is not changed.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

[[noreturn]] void reportAndExit()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    if (const char* fd = std::getenv("TAMO_PROBE_FD"))
        dprintf(std::atoi(fd), "%lld\n", static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
    _exit(0);
}

class FirstPaint final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!seen_ && event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget*>(watched)->isWindow()) {
            seen_ = true;
            // After this paint and the flush that follows it.
            QTimer::singleShot(0, [] { reportAndExit(); });
        }
        return false;
    }

private:
    bool seen_ = false;
};

void installProbe()
{
    QCoreApplication::instance()->installEventFilter(new FirstPaint);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
