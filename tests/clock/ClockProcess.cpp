#include "ClockProcess.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <csignal>

namespace {

// QProcess wants an application object; one for the whole test program.
class ApplicationEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        if (!QCoreApplication::instance())
            app_ = new QCoreApplication(argc_, argv_);
    }
    void TearDown() override
    {
        delete app_;
        app_ = nullptr;
    }

private:
    int argc_ = 1;
    char name_[16] = "clock_test";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication* app_ = nullptr;
};

testing::Environment* const g_application =
    testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

} // namespace

QString clockProgram()
{
    return QStringLiteral(TAMO_CLOCK_PROGRAM);
}

QProcessEnvironment clockEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TZ"), QStringLiteral("Asia/Tokyo"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    environment.remove(QStringLiteral("LC_ALL"));
    return environment;
}

ClockRun runClock(const QStringList& args)
{
    QProcess process;
    process.setProcessEnvironment(clockEnvironment());
    process.start(clockProgram(), args);
    ClockRun run;
    if (!process.waitForStarted(10000) || !process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.normalExit = process.exitStatus() == QProcess::NormalExit;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

FollowingClock::FollowingClock(const QStringList& args, const QProcessEnvironment& environment,
                               const QString& program)
{
    process_.setProcessEnvironment(environment);
    process_.start(program, args);
    process_.waitForStarted(10000);
}

FollowingClock::~FollowingClock()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

std::optional<QByteArray> FollowingClock::nextLine(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        buffer_ += process_.readAllStandardOutput();
        err_ += process_.readAllStandardError();
        const qsizetype end = buffer_.indexOf('\n');
        if (end >= 0) {
            QByteArray line = buffer_.left(end);
            buffer_.remove(0, end + 1);
            return line;
        }
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
            return std::nullopt;
        process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
}

bool FollowingClock::waitForLine(const QByteArray& expected, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (const auto line = nextLine(static_cast<int>(qMax<qint64>(0, deadline.remainingTime())))) {
        if (*line == expected)
            return true;
    }
    return false;
}

void FollowingClock::signal(int signalNumber)
{
    ::kill(static_cast<pid_t>(process_.processId()), signalNumber);
}

bool FollowingClock::waitForExit(int timeoutMs)
{
    const bool finished = process_.state() == QProcess::NotRunning || process_.waitForFinished(timeoutMs);
    buffer_ += process_.readAllStandardOutput();
    err_ += process_.readAllStandardError();
    return finished;
}

QByteArray FollowingClock::errorOutput()
{
    err_ += process_.readAllStandardError();
    return err_;
}
