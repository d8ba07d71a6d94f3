#pragma once
// Report and resume: a procedure arms a Guard at its first statement and runs each step through
// it. When a step raises an Error, the guard hands it to the procedure's report (or handler) and
// the procedure goes on with its next step; whatever the failed step was to assign keeps its
// previous value, because the assignment never happened. Guards are the only catchers of Error
// besides the one top-level catcher of each program.

#include "runtime/Error.h"

#include <functional>
#include <utility>

namespace vb {

// Shows a report for a failure at a named place and returns when the user has closed it.
using Report = void (*)(const QString& sPlace, const Error& error);

enum class OnError {
    ResumeNext, // go on with the step after the failing one
    Exit,       // leave the procedure: every later step is skipped
};

class Guard {
public:
    // Every failure: report(place, error), then resume with the next step.
    Guard(QString place, Report report) : place_(std::move(place)), report_(report) { }
    // Every failure goes to the handler, which decides.
    explicit Guard(std::function<OnError(const Error&)> handler) : handler_(std::move(handler)) { }

    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

    // Runs one step. True when it completed; false when it failed or the guard has exited.
    template <class Step>
    bool operator()(Step&& step)
    {
        if (exited_)
            return false;
        try {
            std::forward<Step>(step)();
            return true;
        } catch (const Error& e) {
            fail(e);
            return false;
        }
    }

    // A guarded test: a test that fails counts as true, so the procedure continues with the
    // first step of the branch that the test guards.
    template <class Test>
    bool test(Test&& condition)
    {
        if (exited_)
            return false;
        try {
            return static_cast<bool>(std::forward<Test>(condition)());
        } catch (const Error& e) {
            fail(e);
            return !exited_;
        }
    }

    bool exited() const { return exited_; }
    bool failed() const { return failures_ > 0; }
    int failures() const { return failures_; }
    // The current error: the last one a step raised (number 0 while none has).
    const Error& error() const { return error_; }

private:
    void fail(const Error& e)
    {
        ++failures_;
        error_ = e;
        if (handler_) {
            exited_ = handler_(e) == OnError::Exit;
        } else if (report_) {
            report_(place_, e);
        }
    }

    QString place_;
    Report report_ = nullptr;
    std::function<OnError(const Error&)> handler_;
    Error error_;
    int failures_ = 0;
    bool exited_ = false;
};

} // namespace vb
