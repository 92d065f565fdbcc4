#include "StaywakeLidHelper/LidHelperDaemon.h"

#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeCore/LidHelper/LidSleepLease.h"
#include "StaywakeLinux/Bundle/BundleInfo.h"
#include "StaywakeLinux/Clock/SystemDateProvider.h"
#include "StaywakeLinux/Clock/SystemUptimeProvider.h"
#include "StaywakeLinux/Identity/CodeSigningIdentity.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
#include "StaywakeLinux/Identity/ProcessExecutable.h"
#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"
#include "ZorIdiDurirad/PmsetSleepSetting.h"
#include "ZorIdiDurirad/PmsetToolPath.h"

#include <chrono>
#include <thread>

namespace staywake {

LidHelperDaemon::LidHelperDaemon(std::shared_ptr<LidHelperLog> log)
    : log_(std::move(log)), mainLoop_(std::make_shared<PollMainLoop>([log = log_](const std::string& failure) {
          log->log("unexpected failure, carrying on: " + failure);
      })) {}

LidHelperDaemon::~LidHelperDaemon() = default;

int LidHelperDaemon::run() {
    start();
    return mainLoop_->run();
}

void LidHelperDaemon::start() {
    const auto executablePath = ProcessExecutable::path();
    const auto launchedPath = ProcessExecutable::launchedPath(executablePath);
    const auto startedFrom = ProcessExecutable::runningExecutableFile();
    const auto codeDirectoryHash = CodeSigningIdentity::currentCodeDirectoryHash();
    const auto teamIdentifier = CodeSigningIdentity::currentTeamIdentifier();
    logLine(LidHelperService::startLine(BundleInfo::versionAround(executablePath), executablePath, launchedPath,
                                        codeDirectoryHash));

    interrupt_ = std::make_shared<CommandInterrupt>();
    const auto lines = [log = log_](const std::string& line) { log->log(line); };
    auto setting = std::make_shared<PmsetSleepSetting>(lines, LidSleepLease::writeTimeout,
                                                       LidSleepLease::readTimeout, interrupt_, defaultPmsetPath());
    bool foundOn = false;
    try {
        foundOn = setting->isSleepDisabled();
    } catch (const std::exception&) {
        // An unreadable setting counts as off here; the keeper writes 0 next
        // whatever it is.
    }
    if (foundOn) {
        logLine("found disablesleep 1 at start; this helper holds no lease, so it is writing it off, whoever set it");
    }
    keeper_ = std::make_shared<LidSleepLeaseKeeper>(setting, std::make_shared<SystemDateProvider>(),
                                                    std::make_shared<SystemUptimeProvider>());
    service_ = std::make_unique<LidLeaseService>(keeper_, lines, mainLoop_);

    auto callerRequirement = LidHelperService::codeRequirement(LidHelperService::appIdentifier, teamIdentifier);
    if (!callerRequirement) {
        logLine("not signed with a Team ID, so no caller can be checked; refusing every connection");
    }
    delegate_ = std::make_unique<LidLeaseListenerDelegate>(std::move(callerRequirement), service_->requests());
    listener_ = std::make_unique<LidLeaseSocketListener>(
        LidHelperListeningSocket::activatedOrBound(LidHelperListeningSocket::defaultPath),
        [delegate = delegate_.get()](LidLeaseIncomingConnection& connection) {
            return delegate->shouldAcceptNewConnection(connection);
        },
        [](const PeerCredentials& peer, const std::string& requirement) {
            // pid 0: the peer lives in a process namespace this helper cannot see.
            return peer.pid > 0 && CodeSigningIdentity::codeDirectoryHashOfProcess(peer.pid, requirement).has_value();
        });
    listener_->resume();
    logLine("listening on " + std::string(LidHelperService::label));

    watch_ = LidHelperFileWatch::forRunningHelper(launchedPath, startedFrom, codeDirectoryHash, teamIdentifier,
                                                  std::make_shared<const ElfNoteCodeSigning>());
    if (!watch_) {
        logLine("cannot tell this helper from another, so an update will not restart it");
    }

    leaseHeld_ = false;
    mainLoop_->repeat(1.0, [this] { checkLease(); });
    terminationThread_.emplace([this, interrupt = interrupt_, mainLoop = mainLoop_] {
        const double deadline = SystemUptimeProvider().uptime() + LidHelperService::stopRetryWindow;
        // A pmset still running is killed now, not after its own limit.
        interrupt->interrupt();
        mainLoop->perform([this, deadline] { stop(deadline); });
    });
}

void LidHelperDaemon::checkLease() {
    if (stopping_) {
        return;
    }
    service_->checkLease();
    const bool held = keeper_->leaseExpiry().has_value();
    if (held != leaseHeld_) {
        logLine(held ? "lease granted" : "lease ended");
        leaseHeld_ = held;
    }
    if (const auto error = keeper_->lastErrorDescription()) {
        logLine((held ? "could not write disablesleep 1, will retry: " : "sleep is NOT confirmed restored, will retry: ") +
                *error);
    }
    if (!watch_) {
        return;
    }
    const auto look = watch_->look();
    if (look.changed) {
        logFinding(look.finding);
    }
    const bool isLeaseHeld = held || !service_->holders().empty();
    const bool isResetInDoubt = keeper_->lastError() != nullptr;
    if (LidHelperFileWatch::stepsAside(look.finding, isLeaseHeld, isResetInDoubt)) {
        logLine("exiting, holding no lease and with sleep restored, so launchd starts the helper now in the bundle");
        mainLoop_->quit(0);
    }
}

void LidHelperDaemon::logFinding(const LidHelperFileWatch::Finding& finding) {
    const std::string& path = watch_->path();
    switch (finding.kind()) {
    case LidHelperFileWatch::Finding::Case::running:
        logLine("watching " + path + " for an update");
        break;
    case LidHelperFileWatch::Finding::Case::missing:
        logLine("no helper at " + path + "; staying, since launchd has nothing to start in its place");
        break;
    case LidHelperFileWatch::Finding::Case::unrecognised:
        logLine(path + " is now something this helper does not recognise as a helper; staying");
        break;
    case LidHelperFileWatch::Finding::Case::replaced:
        logLine(path + " is now another file, a helper with cdhash " + finding.codeDirectoryHash() +
                "; it takes over once no lease is held");
        break;
    }
}

void LidHelperDaemon::stop(double deadline) {
    if (stopping_) {
        return;
    }
    stopping_ = true;
    logLine("stopping");
    const SystemUptimeProvider uptime;
    const bool restored = keeper_->revokeBeforeExit(
        [&] { return uptime.uptime() >= deadline; },
        [] { std::this_thread::sleep_for(std::chrono::duration<double>(LidHelperService::stopRetryPause)); });
    if (restored) {
        logLine("stopped, with sleep restored");
        mainLoop_->quit(0);
        return;
    }
    log_->fault("stopping with sleep NOT restored; disablesleep may still be 1: " +
                keeper_->lastErrorDescription().value_or("unknown"));
    mainLoop_->quit(1);
}

} // namespace staywake
