#pragma once

#include "StaywakeCore/Awake/LidHelperRefusal.h"
#include "StaywakeCore/Clock/MainRunLoop.h"
#include "StaywakeCore/LidHelper/LidLeaseRequest.h"
#include "StaywakeCore/LidHelper/LidLeaseTerm.h"
#include "StaywakeCore/LidHelper/LidSleepLeaseKeeper.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace staywake {

/// Keeps one lease term per connected client and folds them into the one term
/// the keeper holds: the setting stays disabled while any client's lease runs,
/// and goes back only when the last one ends. Answers each request with
/// nothing (granted, or given back) or a refusal's wire text.
///
/// Everything but `requests()` runs on the main thread, one request at a
/// time, never overlapping the periodic check or the stop.
class LidLeaseService {
public:
    /// Takes one line for the helper's log at the default level.
    using Log = std::function<void(const std::string&)>;

    /// Told to a renewal that finds the setting on although the helper last
    /// wrote 0.
    static constexpr std::string_view alreadyOnReason = LidHelperRefusal::settingOnElsewhereText;
    /// Told to the client whose renewal found the setting turned off elsewhere,
    /// and once to every other client that held a lease then.
    static constexpr std::string_view yieldedReason = LidHelperRefusal::settingTurnedOffElsewhereText;

    /// `mainLoop` carries requests from the transport's threads to the main
    /// thread. The service must outlive every call of the function that
    /// `requests()` returns and everything that function queued.
    LidLeaseService(std::shared_ptr<LidSleepLeaseKeeper> keeper, Log log, std::shared_ptr<MainRunLoop> mainLoop);

    LidLeaseService(const LidLeaseService&) = delete;
    LidLeaseService& operator=(const LidLeaseService&) = delete;

    /// The request function for the transport: each call is queued to the main
    /// thread, handled there, and its reply called there with the answer.
    LidLeaseRequestFunction requests();

    /// Handles one request from `client` and returns the answer. Main thread.
    std::optional<std::string> handle(const LidLeaseRequest& request, LidLeaseClientNumber client);

    /// Drops lapsed terms and holds what remains, or gives the setting back
    /// when nothing does. Runs no command while nothing changes.
    void checkLease();

    /// The clients that hold a lease now.
    std::set<LidLeaseClientNumber> holders() const;
    /// The lease each client holds now.
    const std::map<LidLeaseClientNumber, LidLeaseTerm>& terms() const { return terms_; }

private:
    std::optional<std::string> renew(double until, LidLeaseClientNumber client);
    std::optional<std::string> revoke(LidLeaseClientNumber client);
    void settle();

    std::map<LidLeaseClientNumber, LidLeaseTerm> terms_;
    std::shared_ptr<LidSleepLeaseKeeper> keeper_;
    Log log_;
    std::set<LidLeaseClientNumber> yielded_;
    std::shared_ptr<MainRunLoop> mainLoop_;
};

} // namespace staywake
