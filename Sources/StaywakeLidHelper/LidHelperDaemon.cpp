#include "StaywakeLidHelper/LidHelperDaemon.h"

#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeCore/LidHelper/LidSleepLease.h"
#include "StaywakeLinux/Bundle/BundleInfo.h"
#include "StaywakeLinux/Clock/SystemClocks.h"
#include "StaywakeLinux/Identity/CodeSigningIdentity.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
#include "StaywakeLinux/Identity/ProcessExecutable.h"
#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"
#include "StaywakeLinux/Socket/PolkitPeerAuthority.h"
#include "ZorIdiDurirad/PmsetSleepSetting.h"
#include "ZorIdiDurirad/PmsetToolPath.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace staywake {
namespace {

/// Descriptors kept out of the connections' reach: the journal, the main
/// loop's, the bus's, the spare, and the restore of the sleep setting (pipes
/// and the tool's own), with room to spare. The unit's LimitNOFILE leaves
/// room for the most connections above it.
constexpr std::size_t reservedDescriptors = 64;
constexpr std::size_t mostConnections = 64;

std::size_t descriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return reservedDescriptors + 2 * mostConnections;
    }
    return limit.rlim_cur;
}

} // namespace

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
    LidLeaseSocketListener::Guards guards;
    guards.authority = std::make_unique<PolkitPeerAuthority>(std::string(LidHelperService::holdAction),
                                                             LidHelperService::authorizationTimeout);
    guards.log = lines;
    guards.failed = [this](const std::string& why) { requestStop("the lease listener could not go on: " + why); };
    guards.limits.connections =
        std::min(mostConnections, LidLeaseSocketListener::connectionsWithin(descriptorLimit(), reservedDescriptors));
    listener_ = std::make_unique<LidLeaseSocketListener>(
        LidHelperListeningSocket::activatedOrBound(LidHelperListeningSocket::defaultPath),
        [delegate = delegate_.get()](LidLeaseIncomingConnection& connection) {
            return delegate->shouldAcceptNewConnection(connection);
        },
        [signing = std::make_shared<const ElfNoteCodeSigning>()](const PeerProcess& peer,
                                                                 const std::string& requirement) {
            // The program the process runs now, opened once after its pidfd
            // proved it is still that process: not whatever its path names.
            const auto program = peer.openExecutable();
            return program && signing->codeDirectoryHashOfOpenProgram(*program, requirement).has_value();
        },
        std::move(guards));
    listener_->resume();
    logLine("listening on " + std::string(LidHelperService::label));

    watch_ = LidHelperFileWatch::forRunningHelper(launchedPath, startedFrom, codeDirectoryHash, teamIdentifier,
                                                  std::make_shared<const ElfNoteCodeSigning>());
    if (!watch_) {
        logLine("cannot tell this helper from another, so an update will not restart it");
    }

    leaseHeld_ = false;
    mainLoop_->repeat(1.0, [this] { checkLease(); });
    terminationThread_.emplace([this] { requestStop(std::nullopt); });
}

void LidHelperDaemon::requestStop(std::optional<std::string> failure) {
    const double deadline = SystemUptimeProvider().uptime() + LidHelperService::stopRetryWindow;
    // A pmset still running is killed now, not after its own limit.
    interrupt_->interrupt();
    mainLoop_->stopWith([this, deadline, failure = std::move(failure)] { stop(deadline, failure); });
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

void LidHelperDaemon::stop(double deadline, const std::optional<std::string>& failure) {
    if (stopping_) {
        return;
    }
    stopping_ = true;
    logLine("stopping");
    const SystemUptimeProvider uptime;
    const bool restored = keeper_->revokeBeforeExit(
        [&] { return uptime.uptime() >= deadline; },
        [] { std::this_thread::sleep_for(std::chrono::duration<double>(LidHelperService::stopRetryPause)); });
    if (failure) {
        // Exits 1 so that the service manager starts a helper that listens.
        log_->fault("stopping, " + *failure + (restored ? "; sleep restored" : "; sleep NOT restored: " +
                                               keeper_->lastErrorDescription().value_or("unknown")));
        mainLoop_->quit(1);
        return;
    }
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
