#include "StaywakeCore/Lid/InMemoryLidSleepBlocker.h"

#include <utility>

namespace staywake {

void InMemoryLidSleepBlocker::prepare(Prepared prepared) {
    ++prepareCount;
    if (whilePreparing) {
        whilePreparing();
    }
    if (holdsPreparations) {
        heldPreparations.push_back([prepared = std::move(prepared),
                                    error = std::exchange(nextPreparationError, nullptr)] { prepared(error); });
        return;
    }
    prepared(std::exchange(nextPreparationError, nullptr));
}

void InMemoryLidSleepBlocker::renew(Date until, Completion completion) {
    auto error = std::exchange(nextRenewalError, std::nullopt);
    answerOrHold([this, until, error = std::move(error), completion = std::move(completion)] {
        if (!error) {
            leaseExpiry = until;
            ++renewCount;
        }
        completion(error);
    });
}

void InMemoryLidSleepBlocker::revoke(Completion completion) {
    auto error = std::exchange(nextRevocationError, std::nullopt);
    answerOrHold([this, error = std::move(error), completion = std::move(completion)] {
        leaseExpiry.reset();
        ++revokeCount;
        completion(error);
    });
}

bool InMemoryLidSleepBlocker::answerNext() {
    if (unanswered.empty()) {
        return false;
    }
    auto answer = std::move(unanswered.front());
    unanswered.pop_front();
    answer();
    return true;
}

void InMemoryLidSleepBlocker::answerAll() {
    while (answerNext()) {
    }
}

std::optional<Date> InMemoryLidSleepBlocker::lease(Date at) const {
    if (leaseExpiry && at < *leaseExpiry) {
        return leaseExpiry;
    }
    return std::nullopt;
}

void InMemoryLidSleepBlocker::answerOrHold(std::function<void()> answer) {
    // Answers keep their order: while one is held, later ones wait behind it.
    if (!holdsReplies && unanswered.empty()) {
        answer();
    } else {
        unanswered.push_back(std::move(answer));
    }
}

} // namespace staywake
