#include "deskclock/HostDriver.h"

#include <QSocketNotifier>

#include <poll.h>

namespace deskclock {

namespace {

// What the box would have answered: OK, or the default of a Yes/No box.
int defaultAnswer(int style)
{
    if ((style & 7) == vb::vbYesNo)
        return (style & vb::vbDefaultButton2) ? vb::vbNo : vb::vbYes;
    return vb::vbOK;
}

// Bounds the memory of a format whose reports never repeat: past this many, the set starts over
// (and a report may then be printed a second time).
constexpr qsizetype kMaxRemembered = 256;

} // namespace

EngineReports::EngineReports(vb::MessageBoxService& sink)
    : sink_(sink), previous_(&vb::messageBoxService())
{
    vb::setMessageBoxService(this);
}

EngineReports::~EngineReports()
{
    vb::setMessageBoxService(previous_);
}

int EngineReports::show(const QString& prompt, int style, const QString& title)
{
    ++count_;
    last_ = title + u'\n' + QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (seen_.contains(last_))
        return defaultAnswer(style);
    if (seen_.size() >= kMaxRemembered)
        seen_.clear();
    seen_.insert(last_);
    return sink_.show(prompt, style, title);
}

HostDriver::HostDriver(const vb::SettingsStore& store, clk::HostCore::Options options,
                       EngineReports& reports, clk::HostCore::Report lines, QObject* parent)
    : QObject(parent), reports_(reports), lines_(std::move(lines)),
      core_(store, std::move(options), [this](const QString& line) {
          lastLine_ = line;
          lines_(line);
      })
{
}

HostDriver::~HostDriver() = default;

bool HostDriver::start()
{
    if (!step([this] { return core_.start(); }))
        return false;
    for (const int fd : core_.descriptors()) {
        auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QSocketNotifier* n = notifier.get();
        connect(n, &QSocketNotifier::activated, this, [this, n] { ready(n); });
        notifiers_.push_back(std::move(notifier));
    }
    return true;
}

// Runs work that may expand; afterwards report_ says whether the expansion reported. True when
// work returned true.
bool HostDriver::step(const std::function<bool()>& work)
{
    const quint64 reportsBefore = reports_.count();
    const quint64 expansionsBefore = core_.expansions();
    const QString textBefore = core_.text();
    const bool result = work();
    if (core_.expansions() == expansionsBefore)
        return result;
    const QString report = reports_.count() != reportsBefore ? reports_.last() : QString();
    if (report != report_ || core_.text() != textBefore) {
        report_ = report;
        emit changed();
    }
    return result;
}

void HostDriver::ready(QSocketNotifier* notifier)
{
    const int fd = static_cast<int>(notifier->socket());
    // A descriptor in error would wake the loop at once, for ever: drop it, say so once.
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLNVAL))) {
        notifier->setEnabled(false);
        lastLine_ = QStringLiteral("stopped listening on descriptor %1 after an error").arg(fd);
        lines_(lastLine_);
        return;
    }
    step([this, fd] { return core_.ready(fd); });
}

} // namespace deskclock
