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
#include "StaywakeLinux/SystemError.h"
#include "ZorIdiDurirad/FileHashCommand.h"
#include "ZorIdiDurirad/PmsetSleepSetting.h"
#include "ZorIdiDurirad/PmsetToolPath.h"

#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
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

/// Carries the lease requests to the main loop and runs `after` once each has
/// been handled, so that what a request changed is looked at right away.
class ThenAfter final : public MainRunLoop {
public:
    ThenAfter(std::shared_ptr<MainRunLoop> loop, Action after)
        : loop_(std::move(loop)), after_(std::move(after)) {}

    void perform(Action action) override { loop_->perform(wrapped(std::move(action))); }
    void perform(double delaySeconds, Action action) override {
        loop_->perform(delaySeconds, wrapped(std::move(action)));
    }

private:
    Action wrapped(Action action) const {
        return [action = std::move(action), after = after_] {
            try {
                action();
            } catch (...) {
                after(); // the main loop reports the failure
                throw;
            }
            after();
        };
    }

    std::shared_ptr<MainRunLoop> loop_;
    Action after_;
};

/// Retries of a failed write are spaced by the keeper; this is how often it
/// is asked.
constexpr double retryCheckInterval = 1.0;
/// A check armed for a lease's end fires this much after it, so that the
/// lease has lapsed on the clock that ends it.
constexpr double pastTheEnd = 0.005;

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
    interrupt_ = std::make_shared<CommandInterrupt>();
    const auto lines = [log = log_](const std::string& line) { log->log(line); };
    // Program files are hashed by a short-lived program beside this one; a
    // hash that does not come in time refuses the program being judged.
    const FileHashCommand hashes(executablePath ? FileHashCommand::pathBeside(*executablePath) : std::string(),
                                 interrupt_, lines);
    const auto signing = std::make_shared<const ElfNoteCodeSigning>(TrustAnchor{}, hashes.hasher());
    const auto codeDirectoryHash = CodeSigningIdentity::currentCodeDirectoryHash(hashes.hasher());
    const auto teamIdentifier = CodeSigningIdentity::currentTeamIdentifier();
    logLine(LidHelperService::startLine(BundleInfo::versionAround(executablePath), executablePath, launchedPath,
                                        codeDirectoryHash));

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
        logLine(
            "found disablesleep 1 at start; this helper holds no lease, so it is writing it off, whoever set it");
    }
    keeper_ = std::make_shared<LidSleepLeaseKeeper>(setting, std::make_shared<SystemDateProvider>(),
                                                    std::make_shared<SystemUptimeProvider>());
    checkTimer_ = mainLoop_->timer([this] { checkLease(); });
    service_ = std::make_unique<LidLeaseService>(keeper_, lines,
                                                 std::make_shared<ThenAfter>(mainLoop_, [this] { review(); }));

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
    guards.limits.connections = std::min(
        mostConnections, LidLeaseSocketListener::connectionsWithin(descriptorLimit(), reservedDescriptors));
    listener_ = std::make_unique<LidLeaseSocketListener>(
        LidHelperListeningSocket::activatedOrBound(LidHelperListeningSocket::defaultPath),
        [delegate = delegate_.get()](LidLeaseIncomingConnection& connection) {
            return delegate->shouldAcceptNewConnection(connection);
        },
        [signing](const PeerProcess& peer, const std::string& requirement) {
            // The program the process runs now, opened once after its pidfd
            // proved it is still that process: not whatever its path names.
            const auto program = peer.openExecutable();
            return program && signing->codeDirectoryHashOfOpenProgram(*program, requirement).has_value();
        },
        std::move(guards));
    listener_->resume();
    logLine("listening on " + std::string(LidHelperService::label));

    watch_ = LidHelperFileWatch::forRunningHelper(launchedPath, startedFrom, codeDirectoryHash, teamIdentifier,
                                                  signing);
    if (!watch_) {
        logLine("cannot tell this helper from another, so an update will not restart it");
    }

    leaseHeld_ = false;
    watchProgramFolder();
    review();
    terminationThread_.emplace([this] { requestStop(std::nullopt); });
}

void LidHelperDaemon::requestStop(std::optional<std::string> failure) {
    const double deadline = SystemUptimeProvider().uptime() + LidHelperService::stopRetryWindow;
    stopRequested_ = true;
    // A pmset still running is killed now, not after its own limit.
    interrupt_->interrupt();
    mainLoop_->stopWith([this, deadline, failure = std::move(failure)] { stop(deadline, failure); });
}

void LidHelperDaemon::checkLease() {
    if (stopping_) {
        return;
    }
    service_->checkLease();
    noteLease();
    if (const auto error = keeper_->lastErrorDescription()) {
        logLine((leaseHeld_ ? "could not write disablesleep 1, will retry: "
                            : "sleep is NOT confirmed restored, will retry: ") +
                *error);
    }
    review();
}

void LidHelperDaemon::noteLease() {
    const bool held = keeper_->leaseExpiry().has_value();
    if (held != leaseHeld_) {
        logLine(held ? "lease granted" : "lease ended");
        leaseHeld_ = held;
    }
}

void LidHelperDaemon::review() {
    // A request cut short by the stop is followed by nothing but the stop.
    if (stopping_ || stopRequested_) {
        return;
    }
    noteLease();
    armCheck();
    if (!watch_) {
        return;
    }
    const auto look = watch_->look();
    if (look.changed) {
        logFinding(look.finding);
    }
    const bool isLeaseHeld = leaseHeld_ || !service_->holders().empty();
    const bool isResetInDoubt = keeper_->lastError() != nullptr;
    if (LidHelperFileWatch::stepsAside(look.finding, isLeaseHeld, isResetInDoubt)) {
        logLine(
            "exiting, holding no lease and with sleep restored, so launchd starts the helper now in the bundle");
        mainLoop_->quit(0);
    }
}

void LidHelperDaemon::armCheck() {
    // Nothing can change by itself while no lease is held and the setting is
    // as written: an idle helper sleeps until a request or its program's
    // folder changes.
    std::optional<double> delay;
    if (keeper_->lastError() != nullptr || (!leaseHeld_ && !service_->holders().empty())) {
        delay = retryCheckInterval;
    } else if (const auto expiry = keeper_->leaseExpiry(); expiry && keeper_->leaseUptimeExpiry()) {
        // The lease ends on whichever clock reaches its end first; the wall
        // clock can be set forward meanwhile, which the lease's cap bounds.
        const double byUptime = *keeper_->leaseUptimeExpiry() - SystemUptimeProvider().uptime();
        const double byWall = *expiry - SystemDateProvider().now();
        delay = std::clamp(std::min(byUptime, byWall), 0.0, LidSleepLease::duration) + pastTheEnd;
    }
    mainLoop_->arm(checkTimer_, delay);
}

void LidHelperDaemon::watchProgramFolder() {
    if (!watch_) {
        return;
    }
    // The folder, not the file: an update renames a new file over the old one.
    UniqueFd events(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    const auto folder = std::filesystem::path(watch_->path()).parent_path();
    if (!events || ::inotify_add_watch(events.get(), folder.c_str(),
                                       IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                           IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF) < 0) {
        logLine(std::string(SystemError("could not watch", folder.string(), errno).what()) +
                "; an update is noticed only at the next request");
        return;
    }
    const int fd = events.get();
    mainLoop_->watch(std::move(events), [this, fd] {
        alignas(inotify_event) char buffer[4096];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        review();
    });
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
        log_->fault("stopping, " + *failure +
                    (restored ? "; sleep restored"
                              : "; sleep NOT restored: " + keeper_->lastErrorDescription().value_or("unknown")));
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
