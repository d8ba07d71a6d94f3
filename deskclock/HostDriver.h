#pragma once
// The clock host driven from Qt's event loop: the host core (clock/HostCore.h) with one
// QSocketNotifier per descriptor, so the window wakes only when the core has something to do
// (the next change of the time key, a restart request, a change of the settings file, a clock
// set) and never polls. It also collects the engine's reports, which a clock must not show as
// boxes: each distinct report goes once to the sink given (standard error in TamoClock), and
// the driver says whether the last expansion reported and what.
// Depends on the clock host, the runtime and Qt Core.

#include "clock/HostCore.h"
#include "runtime/MessageBox.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace deskclock {

// The message-box service for the engine's reports in TamoClock, installed for its lifetime
// over the one before it: a report is passed to `sink` the first time its title and text are
// seen and only counted after that; every box is answered as the sink would answer it.
class EngineReports final : public vb::MessageBoxService {
public:
    explicit EngineReports(vb::MessageBoxService& sink);
    ~EngineReports() override;
    EngineReports(const EngineReports&) = delete;
    EngineReports& operator=(const EngineReports&) = delete;
    int show(const QString& prompt, int style, const QString& title) override;

    // Boxes shown so far, repeats included.
    quint64 count() const { return count_; }
    // The last one: its title, a line break and its prompt (CR LF as LF).
    const QString& last() const { return last_; }

private:
    vb::MessageBoxService& sink_;
    vb::MessageBoxService* previous_;
    QSet<QString> seen_;
    quint64 count_ = 0;
    QString last_;
};

class HostDriver final : public QObject {
    Q_OBJECT
public:
    // `lines` receives the core's own lines (what went wrong with the socket, the store, the
    // timer); `reports` must be the installed message-box service to see the engine's reports.
    HostDriver(const vb::SettingsStore& store, clk::HostCore::Options options, EngineReports& reports,
               clk::HostCore::Report lines, QObject* parent = nullptr);
    ~HostDriver() override;

    // Starts the core and listens on its descriptors. False when the core cannot run; the
    // reason is then in lastLine().
    bool start();

    const QString& text() const { return core_.text(); }
    // The report of the last expansion, empty when it reported nothing.
    const QString& report() const { return report_; }
    const QString& lastLine() const { return lastLine_; }
    qint32 handle() const { return core_.handle(); }

signals:
    // The text or the report changed.
    void changed();

private:
    bool step(const std::function<bool()>& work);
    void ready(QSocketNotifier* notifier);

    EngineReports& reports_;
    clk::HostCore::Report lines_;
    QString lastLine_;
    clk::HostCore core_;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
    QString report_;
};

} // namespace deskclock
