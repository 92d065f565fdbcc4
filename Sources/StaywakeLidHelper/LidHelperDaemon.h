#pragma once

#include "StaywakeCore/Identity/LidHelperFileWatch.h"
#include "StaywakeCore/LidHelper/LidHelperLog.h"
#include "StaywakeCore/LidHelper/LidLeaseListenerDelegate.h"
#include "StaywakeCore/LidHelper/LidLeaseService.h"
#include "StaywakeCore/LidHelper/LidSleepLeaseKeeper.h"
#include "StaywakeLidHelper/PollMainLoop.h"
#include "StaywakeLidHelper/TerminationSignalThread.h"
#include "StaywakeLinux/Socket/LidLeaseSocketListener.h"
#include "ZorIdiDurirad/CommandInterrupt.h"

#include <atomic>
#include <memory>
#include <optional>

namespace staywake {

/// The lid helper as a daemon: it turns the sleep setting off at start,
/// whoever set it; serves leases on its socket; checks the lease when it
/// ends (and once a second while a write is to be retried); stops on SIGTERM with the setting put back; and steps
/// aside when an update has replaced its program file, so the service manager starts the new one.
///
/// Every use of the setting happens on the main loop's thread. SIGTERM must be
/// blocked in every thread before this is created (TerminationSignalThread).
class LidHelperDaemon {
public:
    explicit LidHelperDaemon(std::shared_ptr<LidHelperLog> log);
    LidHelperDaemon(const LidHelperDaemon&) = delete;
    LidHelperDaemon& operator=(const LidHelperDaemon&) = delete;
    ~LidHelperDaemon();

    /// Starts and runs until stopped; returns the exit status: 0 when the
    /// setting was confirmed restored (or for stepping aside), 1 otherwise.
    int run();

private:
    void start();
    /// The lease check: settles the lease, retries a failed write, then
    /// `review`.
    void checkLease();
    /// After the check and after every request: logs a lease granted or
    /// ended, arms the next check, and looks at the program file.
    void review();
    void noteLease();
    void armCheck();
    /// Looks at the program file again whenever its folder changes.
    void watchProgramFolder();
    void logFinding(const LidHelperFileWatch::Finding& finding);
    /// Stops first, before any queued request: a running pmset is killed,
    /// the queued requests are dropped (closing their connections) and the
    /// setting is put back for up to the stop window.
    void requestStop(std::optional<std::string> failure);
    void stop(double deadline, const std::optional<std::string>& failure);
    void logLine(const std::string& line) { log_->log(line); }

    std::shared_ptr<LidHelperLog> log_;
    std::shared_ptr<PollMainLoop> mainLoop_;
    std::shared_ptr<CommandInterrupt> interrupt_;
    std::shared_ptr<LidSleepLeaseKeeper> keeper_;
    std::unique_ptr<LidLeaseService> service_;
    std::unique_ptr<LidLeaseListenerDelegate> delegate_;
    std::unique_ptr<LidLeaseSocketListener> listener_;
    std::optional<LidHelperFileWatch> watch_;
    PollMainLoop::Timer checkTimer_ = 0;
    bool leaseHeld_ = false;
    bool stopping_ = false;
    std::atomic<bool> stopRequested_ = false; // set from the termination thread
    // Last, so it is gone before anything its handler reaches.
    std::optional<TerminationSignalThread> terminationThread_;
};

} // namespace staywake
