#pragma once

#include "StaywakeLinux/Socket/UniqueFd.h"

#include <QObject>
#include <csignal>
#include <vector>

class QSocketNotifier;

namespace staywake {

/// Brings termination signals into the event loop. The handler only writes
/// the signal's number into a pipe (the one thing a handler may safely do);
/// the event loop reads it and emits `received`, where any work is allowed.
///
/// One intake at a time per process: it owns the signals' dispositions while
/// it lives and puts the previous ones back when it goes. Signals that arrive
/// faster than the loop reads may be merged into one.
class SignalIntake final : public QObject {
    Q_OBJECT

public:
    /// The signals a desktop session and a terminal use to end a program.
    static std::vector<int> terminationSignals() { return {SIGTERM, SIGINT, SIGHUP}; }

    /// Throws SystemError when the pipe or a handler cannot be set up, and
    /// std::logic_error when another intake exists.
    explicit SignalIntake(const std::vector<int>& signalNumbers = terminationSignals(), QObject* parent = nullptr);
    ~SignalIntake() override;

    SignalIntake(const SignalIntake&) = delete;
    SignalIntake& operator=(const SignalIntake&) = delete;

Q_SIGNALS:
    void received(int signalNumber);

private:
    void drain();
    /// Puts the previous dispositions back and stops the handler writing.
    void restore();

    UniqueFd readEnd_;
    UniqueFd writeEnd_;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<std::pair<int, struct sigaction>> previous_;
};

} // namespace staywake
