#pragma once

#include "StaywakeCore/Lid/LidSleepBlocker.h"

#include <deque>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

namespace staywake {

/// A lid sleep blocker without a helper, for tests and previews. Its answers
/// can be scripted (the next renewal, revocation or preparation fails with a
/// given error) and held back until the test releases them, so that a caller
/// can be seen while a request is in flight.
///
/// An answer does its work when it is delivered, not when it is asked for: a
/// held renewal extends the lease only once it is answered.
class InMemoryLidSleepBlocker final : public LidSleepBlocker {
public:
    /// Counts the call, runs `whilePreparing`, then answers with
    /// `nextPreparationError` (taken) or nothing: at once, or, while
    /// `holdsPreparations` is set, when the test calls a held one.
    void prepare(Prepared prepared) override;
    /// Takes `nextRenewalError`; the answer sets `leaseExpiry` to `until` and
    /// counts the renewal when there is no error. Answered now unless
    /// `holdsReplies` is set or earlier answers are still held.
    void renew(Date until, Completion completion) override;
    /// Takes `nextRevocationError`; the answer clears `leaseExpiry` and counts
    /// the revocation (also when it fails). Held by the same rule as renew.
    void revoke(Completion completion) override;
    bool isEngaged() const override { return leaseExpiry.has_value(); }

    /// Delivers the oldest held answer. Returns false when none was held.
    bool answerNext();
    /// Delivers held answers, oldest first, until none is left, including
    /// answers added while delivering.
    void answerAll();
    /// The lease's expiry if `at` is before it; nothing otherwise.
    std::optional<Date> lease(Date at) const;
    std::size_t unansweredCount() const { return unanswered.size(); }

    std::optional<Date> leaseExpiry;
    int renewCount = 0;
    int revokeCount = 0;
    int prepareCount = 0;
    std::optional<LidSleepBlockerError> nextRenewalError;
    std::exception_ptr nextPreparationError;
    std::function<void()> whilePreparing;
    bool holdsPreparations = false;
    /// Each answers its preparation when called.
    std::vector<std::function<void()>> heldPreparations;
    std::optional<LidSleepBlockerError> nextRevocationError;
    bool holdsReplies = false;
    std::deque<std::function<void()>> unanswered;

private:
    void answerOrHold(std::function<void()> answer);
};

} // namespace staywake
