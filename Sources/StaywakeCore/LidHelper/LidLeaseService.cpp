#include "StaywakeCore/LidHelper/LidLeaseService.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace staywake {

LidLeaseService::LidLeaseService(std::shared_ptr<LidSleepLeaseKeeper> keeper, Log log,
                                 std::shared_ptr<MainRunLoop> mainLoop)
    : keeper_(std::move(keeper)), log_(std::move(log)), mainLoop_(std::move(mainLoop)) {
    if (!keeper_ || !log_ || !mainLoop_) {
        throw std::invalid_argument("the lease service needs a keeper, a log and the main loop");
    }
}

LidLeaseRequestFunction LidLeaseService::requests() {
    return [this](LidLeaseClientNumber client, LidLeaseRequest request, LidLeaseReply reply) {
        mainLoop_->perform([this, client, request, reply = std::move(reply)] {
            auto answer = handle(request, client);
            if (reply) {
                reply(std::move(answer));
            }
        });
    };
}

std::optional<std::string> LidLeaseService::handle(const LidLeaseRequest& request, LidLeaseClientNumber client) {
    switch (request.kind()) {
    case LidLeaseRequest::Kind::renew:
        return renew(request.until(), client);
    case LidLeaseRequest::Kind::revoke:
    case LidLeaseRequest::Kind::disconnect:
        return revoke(client);
    }
    return std::nullopt;
}

void LidLeaseService::checkLease() { settle(); }

std::set<LidLeaseClientNumber> LidLeaseService::holders() const {
    std::set<LidLeaseClientNumber> clients;
    for (const auto& [client, term] : terms_) {
        clients.insert(client);
    }
    return clients;
}

std::optional<std::string> LidLeaseService::renew(double until, LidLeaseClientNumber client) {
    if (!std::isfinite(until)) {
        return LidHelperRefusal::deadlineNotANumber().reason();
    }
    const auto term = keeper_->term(Date{until});
    if (!term) {
        // A deadline long past is how the app gives its lease back.
        return revoke(client);
    }
    if (yielded_.erase(client) > 0) {
        return std::string(yieldedReason);
    }
    const auto standing = keeper_->readStanding();
    switch (standing.kind()) {
    case SleepSettingStanding::Kind::asWritten:
        // The term stays even when the write fails, so the periodic check
        // keeps trying while the client keeps renewing.
        terms_[client] = *term;
        settle();
        if (const auto error = keeper_->lastErrorDescription()) {
            return LidHelperRefusal::settingUnwritten(*error).reason();
        }
        return std::nullopt;
    case SleepSettingStanding::Kind::onElsewhere:
        log_("lease refused: disablesleep is already 1 and this helper did not write it; left as it is");
        return std::string(alreadyOnReason);
    case SleepSettingStanding::Kind::offElsewhere:
        // Whoever turned it off ended every lease, not only this client's:
        // the others hear it at their next renewal.
        yielded_.clear();
        for (const auto& [holder, heldTerm] : terms_) {
            if (holder != client) {
                yielded_.insert(holder);
            }
        }
        terms_.clear();
        log_("lease ended: disablesleep was set to 0 by something else; left at 0");
        return std::string(yieldedReason);
    case SleepSettingStanding::Kind::unread:
        log_("lease refused: disablesleep could not be read, so it was not written: " + standing.reason());
        return LidHelperRefusal::settingUnreadable(standing.reason()).reason();
    }
    return std::nullopt;
}

std::optional<std::string> LidLeaseService::revoke(LidLeaseClientNumber client) {
    terms_.erase(client);
    yielded_.erase(client);
    settle();
    if (!terms_.empty()) {
        return std::nullopt;
    }
    if (const auto error = keeper_->lastErrorDescription()) {
        return LidHelperRefusal::settingNotPutBack(*error).reason();
    }
    return std::nullopt;
}

void LidLeaseService::settle() {
    std::erase_if(terms_, [this](const auto& entry) { return keeper_->hasLapsed(entry.second); });
    if (terms_.empty()) {
        keeper_->revoke();
        return;
    }
    // Each end is the latest of its clock on its own: the two may come from
    // different clients, and holding both keeps every client's lease whole.
    LidLeaseTerm held = terms_.begin()->second;
    for (const auto& [client, term] : terms_) {
        held.expiry = std::max(held.expiry, term.expiry);
        held.uptimeExpiry = std::max(held.uptimeExpiry, term.uptimeExpiry);
    }
    keeper_->hold(held);
}

} // namespace staywake
