#include "StaywakeCore/Lid/InMemoryLidSleepBlocker.h"
#include "StaywakeCore/Lid/UnavailableLidSleepBlocker.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace staywake {
namespace {

constexpr Date now{1'700'000'000};

/// Records each completion's error (or its absence) in the order they ran.
struct Answers {
    LidSleepBlocker::Completion record(std::string name) {
        return [this, name = std::move(name)](std::optional<LidSleepBlockerError> error) {
            received.push_back(error ? name + ": " + error->what() : name);
        };
    }
    std::vector<std::string> received;
};

TEST(InMemoryLidSleepBlocker, AnswersAtOnceAndScriptedErrorsApplyToOneRequestEach) {
    InMemoryLidSleepBlocker blocker;
    Answers answers;

    blocker.renew(now + 30, answers.record("renew"));
    EXPECT_TRUE(blocker.isEngaged());
    EXPECT_EQ(blocker.lease(now), now + 30);
    EXPECT_EQ(blocker.lease(now + 30), std::nullopt) << "the lease ends at its expiry";

    blocker.nextRenewalError = LidSleepBlockerError::helperUnavailable();
    blocker.renew(now + 40, answers.record("refused renew"));
    EXPECT_EQ(blocker.leaseExpiry, now + 30) << "a refused renewal leaves the lease as it was";
    EXPECT_EQ(blocker.renewCount, 1);

    blocker.nextRevocationError = LidSleepBlockerError::helperRefused("no");
    blocker.revoke(answers.record("revoke"));
    EXPECT_FALSE(blocker.isEngaged()) << "a failed revocation still forgets the lease";
    EXPECT_EQ(blocker.revokeCount, 1);

    blocker.revoke(answers.record("revoke again"));
    EXPECT_EQ(blocker.revokeCount, 2);
    EXPECT_EQ(answers.received,
              (std::vector<std::string>{"renew", "refused renew: the lid helper could not be reached",
                                        "revoke: the lid helper refused: no", "revoke again"}));
}

TEST(InMemoryLidSleepBlocker, HeldAnswersWaitAndAreDeliveredOldestFirst) {
    InMemoryLidSleepBlocker blocker;
    Answers answers;
    blocker.holdsReplies = true;

    blocker.renew(now + 30, answers.record("first"));
    blocker.renew(now + 40, answers.record("second"));
    blocker.revoke(answers.record("third"));
    EXPECT_EQ(blocker.unansweredCount(), 3u);
    EXPECT_TRUE(answers.received.empty());
    EXPECT_FALSE(blocker.isEngaged()) << "a held renewal grants nothing yet";

    EXPECT_TRUE(blocker.answerNext());
    EXPECT_EQ(answers.received, std::vector<std::string>{"first"});
    EXPECT_EQ(blocker.leaseExpiry, now + 30);

    // Released from holding, a new request still waits behind the held ones.
    blocker.holdsReplies = false;
    blocker.renew(now + 50, answers.record("fourth"));
    EXPECT_EQ(answers.received.size(), 1u);

    blocker.answerAll();
    EXPECT_EQ(answers.received, (std::vector<std::string>{"first", "second", "third", "fourth"}));
    EXPECT_EQ(blocker.leaseExpiry, now + 50);
    EXPECT_FALSE(blocker.answerNext());
}

TEST(InMemoryLidSleepBlocker, AnswerAllDeliversAnswersAddedWhileDelivering) {
    InMemoryLidSleepBlocker blocker;
    blocker.holdsReplies = true;
    std::vector<std::string> order;
    blocker.renew(now + 30, [&](std::optional<LidSleepBlockerError>) {
        order.push_back("renew");
        blocker.revoke([&](std::optional<LidSleepBlockerError>) { order.push_back("revoke from inside"); });
    });
    blocker.answerAll();
    EXPECT_EQ(order, (std::vector<std::string>{"renew", "revoke from inside"}));
    EXPECT_EQ(blocker.unansweredCount(), 0u);
}

TEST(InMemoryLidSleepBlocker, PrepareRunsItsHookAndAnswersTheScriptedErrorOnce) {
    InMemoryLidSleepBlocker blocker;
    int hookRuns = 0;
    blocker.whilePreparing = [&] { ++hookRuns; };
    blocker.nextPreparationError = std::make_exception_ptr(std::runtime_error("registration failed"));

    std::vector<std::exception_ptr> answers;
    blocker.prepare([&](std::exception_ptr error) { answers.push_back(error); });
    blocker.prepare([&](std::exception_ptr error) { answers.push_back(error); });
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_THROW(std::rethrow_exception(answers[0]), std::runtime_error);
    EXPECT_EQ(answers[1], nullptr);
    EXPECT_EQ(blocker.prepareCount, 2);
    EXPECT_EQ(hookRuns, 2);
}

TEST(UnavailableLidSleepBlocker, RefusesEveryRenewalAndHasNothingToGiveBack) {
    UnavailableLidSleepBlocker blocker;
    std::optional<std::exception_ptr> prepared;
    blocker.prepare([&](std::exception_ptr error) { prepared = error; });
    EXPECT_EQ(prepared, std::optional<std::exception_ptr>(nullptr));
    Answers answers;
    blocker.renew(now + 30, answers.record("renew"));
    blocker.revoke(answers.record("revoke"));
    EXPECT_EQ(answers.received,
              (std::vector<std::string>{"renew: the lid helper could not be reached", "revoke"}));
    EXPECT_FALSE(blocker.isEngaged());
}

} // namespace
} // namespace staywake
