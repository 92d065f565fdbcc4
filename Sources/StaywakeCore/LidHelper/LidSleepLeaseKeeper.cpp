#include "StaywakeCore/LidHelper/LidSleepLeaseKeeper.h"

#include "StaywakeCore/LidHelper/LidSleepLease.h"

#include <stdexcept>
#include <utility>

namespace staywake {

LidSleepLeaseKeeper::LidSleepLeaseKeeper(std::shared_ptr<SystemSleepSetting> setting,
                                         std::shared_ptr<const DateProvider> dates,
                                         std::shared_ptr<const UptimeProvider> uptime)
    : setting_(std::move(setting)), dates_(std::move(dates)), uptime_(std::move(uptime)) {
    if (!setting_ || !dates_ || !uptime_) {
        throw std::invalid_argument("the lease keeper needs a sleep setting and both clocks");
    }
    // Nothing is written yet, so this always runs: whatever a previous helper
    // or anything else left behind, no lease stands now.
    write(false, false);
}

std::optional<LidLeaseTerm> LidSleepLeaseKeeper::term(Date until) const {
    const Date now = dates_->now();
    // Written as "not later" so that a deadline that is not a number, which
    // compares false both ways, has no term.
    if (!(until > now)) {
        return std::nullopt;
    }
    const Date capped = now + LidSleepLease::duration;
    const Date expiry = capped < until ? capped : until;
    return LidLeaseTerm{expiry, uptime_->uptime() + (expiry - now)};
}

bool LidSleepLeaseKeeper::hasLapsed(const LidLeaseTerm& term) const {
    return dates_->now() >= term.expiry || term.uptimeExpiry <= uptime_->uptime();
}

void LidSleepLeaseKeeper::hold(const LidLeaseTerm& term) {
    leaseExpiry_ = term.expiry;
    leaseUptimeExpiry_ = term.uptimeExpiry;
    write(true, false);
}

void LidSleepLeaseKeeper::renew(Date until) {
    if (const auto wanted = term(until)) {
        hold(*wanted);
    } else {
        revoke();
    }
}

void LidSleepLeaseKeeper::revoke() {
    clearLease();
    write(false, false);
}

void LidSleepLeaseKeeper::checkLease() {
    if (!leaseExpiry_ || !leaseUptimeExpiry_) {
        write(false, false);
        return;
    }
    if (hasLapsed(LidLeaseTerm{*leaseExpiry_, *leaseUptimeExpiry_})) {
        clearLease();
        write(false, false);
        return;
    }
    write(true, false);
}

SleepSettingStanding LidSleepLeaseKeeper::readStanding() {
    if (lastError_ || !written_) {
        return SleepSettingStanding::asWritten();
    }
    bool reading = false;
    try {
        reading = setting_->isSleepDisabled();
    } catch (...) {
        // While 1 stands, an unreadable setting is no reason to refuse a
        // renewal: the lease is already in force.
        if (*written_) {
            return SleepSettingStanding::asWritten();
        }
        return SleepSettingStanding::unread(describe(std::current_exception()));
    }
    if (*written_ && !reading) {
        // Whoever turned it off meant it: let go without writing it back.
        clearLease();
        written_ = false;
        return SleepSettingStanding::offElsewhere();
    }
    if (reading == *written_) {
        return SleepSettingStanding::asWritten();
    }
    return SleepSettingStanding::onElsewhere();
}

bool LidSleepLeaseKeeper::revokeBeforeExit(const std::function<bool()>& until,
                                           const std::function<void()>& pause) {
    clearLease();
    write(false, true);
    while (lastError_) {
        if (until()) {
            return false;
        }
        pause();
        clearLease();
        if (written_ == false && !lastError_) {
            return true;
        }
        attempt(false);
    }
    return true;
}

std::optional<std::string> LidSleepLeaseKeeper::lastErrorDescription() const {
    if (!lastError_) {
        return std::nullopt;
    }
    return describe(lastError_);
}

std::string LidSleepLeaseKeeper::describe(const std::exception_ptr& error) {
    if (!error) {
        return "no error";
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& failure) {
        return failure.what();
    } catch (...) {
        return "an unknown error";
    }
}

void LidSleepLeaseKeeper::write(bool disabled, bool evenIfJustFailed) {
    // A failure of either value is repeated even when the value wanted is the
    // one last confirmed: the failed attempt may have left the setting
    // anywhere.
    if (written_ == disabled && !lastError_) {
        return;
    }
    if (!evenIfJustFailed && failed_ && failed_->disabled == disabled &&
        uptime_->uptime() - failed_->at < LidSleepLease::retrySpacing) {
        return;
    }
    attempt(disabled);
}

bool LidSleepLeaseKeeper::attempt(bool disabled) {
    try {
        setting_->setSleepDisabled(disabled);
    } catch (...) {
        lastError_ = std::current_exception();
        // Read after the attempt, so the spacing runs from its end: an attempt
        // that used up its whole time budget is not repeated at once.
        failed_ = FailedAttempt{disabled, uptime_->uptime()};
        return false;
    }
    written_ = disabled;
    lastError_ = nullptr;
    failed_.reset();
    return true;
}

void LidSleepLeaseKeeper::clearLease() {
    leaseExpiry_.reset();
    leaseUptimeExpiry_.reset();
}

} // namespace staywake
