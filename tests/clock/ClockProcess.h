#pragma once
// Runs the built tamo-clock as a process, with the test process's environment (TestEnv's
// settings and runtime folders), TZ=Asia/Tokyo and a UTF-8 locale. One-shot runs wait for the
// end; a following host is read line by line.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

QString clockProgram();
QProcessEnvironment clockEnvironment();

struct ClockRun {
    int exitCode = -1;
    bool normalExit = false;
    QByteArray out;
    QByteArray err;
};

// Runs tamo-clock with `args` to its end (10 s at most).
ClockRun runClock(const QStringList& args);

class FollowingClock {
public:
    // Starts `program` (tamo-clock by default) with `args`.
    explicit FollowingClock(const QStringList& args,
                            const QProcessEnvironment& environment = clockEnvironment(),
                            const QString& program = clockProgram());
    ~FollowingClock();
    FollowingClock(const FollowingClock&) = delete;
    FollowingClock& operator=(const FollowingClock&) = delete;

    qint64 pid() const { return process_.processId(); }
    QProcess& process() { return process_; }

    // The next line on standard output without its LF, or nullopt when none comes in time.
    std::optional<QByteArray> nextLine(int timeoutMs);
    // Reads lines until `expected` comes (true) or the time is up (false). For changes made in
    // more than one write (SetZP stores the flag, then the format), where the host may show the
    // state in between.
    bool waitForLine(const QByteArray& expected, int timeoutMs);
    // Sends a signal to the host.
    void signal(int signalNumber);
    // Waits for the end; false when the host still runs after `timeoutMs`.
    bool waitForExit(int timeoutMs);
    // Everything the host wrote on standard error so far.
    QByteArray errorOutput();

private:
    QProcess process_;
    QByteArray buffer_;
    QByteArray err_;
};
