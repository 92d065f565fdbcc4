#include "StaywakeCore/LidHelper/LidLeaseService.h"
#include "StaywakeCore/LidHelper/LidSleepLease.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"

#include <gtest/gtest.h>
#include <limits>
#include <set>

namespace staywake {
namespace {

using Clients = std::set<LidLeaseClientNumber>;
constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
const std::optional<std::string> granted = std::nullopt;
const std::string turnedOff =
    "The sleep setting was turned off by something other than Staywake, and was left off.";

class FakeSystemSleepSetting final : public SystemSleepSetting {
public:
    void setSleepDisabled(bool disabled) override {
        calls += disabled ? " write 1" : " write 0";
        if (duringWrite) {
            duringWrite();
        }
        if (writeFailure) {
            throw std::runtime_error(*writeFailure);
        }
        value = disabled;
    }
    bool isSleepDisabled() override {
        calls += " read";
        if (readFailure) {
            throw std::runtime_error(*readFailure);
        }
        return value;
    }
    bool value = false;
    std::string calls;
    std::optional<std::string> writeFailure;
    std::optional<std::string> readFailure;
    std::function<void()> duringWrite;
};

/// A lease service over a keeper of a fake setting; the clocks move together unless moved alone.
struct Harness {
    explicit Harness(bool initial = false, std::optional<std::string> writeFailure = std::nullopt) {
        setting->value = initial;
        setting->writeFailure = std::move(writeFailure);
        keeper = std::make_shared<LidSleepLeaseKeeper>(setting, dates, uptime);
        service = std::make_unique<LidLeaseService>(
            keeper, [this](const std::string& line) { lines.push_back(line); }, mainLoop);
    }
    void advance(double seconds) { dates->advance(seconds), uptime->advance(seconds); }
    std::string calls() { return std::exchange(setting->calls, ""); }
    std::optional<std::string> renew(LidLeaseClientNumber client, double ahead) {
        return service->handle(LidLeaseRequest::renew(dates->now().secondsSince1970 + ahead), client);
    }
    /// Holds a lease whose write of 1 fails; later writes fail alike until reset.
    void failToHold() {
        setting->writeFailure = "the tool timed out";
        keeper->renew(dates->now() + 30);
    }

    std::shared_ptr<FakeSystemSleepSetting> setting = std::make_shared<FakeSystemSleepSetting>();
    std::shared_ptr<testing::FakeDateProvider> dates = std::make_shared<testing::FakeDateProvider>();
    std::shared_ptr<testing::FakeUptimeProvider> uptime = std::make_shared<testing::FakeUptimeProvider>();
    std::shared_ptr<testing::ManualMainRunLoop> mainLoop = std::make_shared<testing::ManualMainRunLoop>();
    std::shared_ptr<LidSleepLeaseKeeper> keeper;
    std::vector<std::string> lines;
    std::unique_ptr<LidLeaseService> service;
};

TEST(LidSleepLeaseKeeper, TurnsTheSettingOffAtConstructionAndRetriesAFailedFirstWrite) {
    Harness h(true, "pmset is missing");
    EXPECT_EQ(h.keeper->lastErrorDescription(), "pmset is missing");
    h.setting->writeFailure.reset();
    h.uptime->advance(LidSleepLease::retrySpacing);
    h.keeper->checkLease();
    EXPECT_FALSE(h.keeper->lastError());
    EXPECT_EQ(h.calls(), " write 0 write 0");
    EXPECT_EQ(LidSleepLeaseKeeper::describe(std::make_exception_ptr(42)), "an unknown error");
}

TEST(LidSleepLeaseKeeper, CapsTermsAtThirtySecondsOnBothClocksEitherOfWhichEndsThem) {
    const std::pair<double, std::optional<double>> lengths[] = {
        {3600, 30},          {30.5, 30},        {12.5, 12.5},
        {infinity, 30},      {0, std::nullopt}, {-infinity, std::nullopt},
        {nan, std::nullopt},
    };
    for (const auto& [ahead, length] : lengths) {
        Harness h;
        const auto term = h.keeper->term(h.dates->now() + ahead);
        EXPECT_EQ(term ? std::optional(term->expiry - h.dates->now()) : std::nullopt, length) << ahead;
        EXPECT_EQ(term ? std::optional(term->uptimeExpiry - h.uptime->current) : std::nullopt, length) << ahead;
    }
    const std::tuple<const char*, double, double, bool> moves[] = {
        {"both short of the end", 9.9, 9.9, false},
        {"wall clock reaches the end", 10, 5, true},
        {"wall clock set back, uptime runs out", -3600, 10, true},
        {"slept through: uptime stood still, wall clock ran out", 20, 0, true},
    };
    for (const auto& [name, wallMove, uptimeMove, lapsed] : moves) {
        Harness h;
        const auto term = h.keeper->term(h.dates->now() + 10);
        h.dates->advance(wallMove);
        h.uptime->advance(uptimeMove);
        EXPECT_EQ(h.keeper->hasLapsed(*term), lapsed) << name;
    }
}

// A failed write is retried no sooner than the spacing after the attempt; the other value is never held back.
TEST(LidSleepLeaseKeeper, SpacesRetriesOfAFailedValueOnly) {
    Harness h;
    h.calls();
    h.setting->duringWrite = [&] { h.advance(1); }; // the attempt takes a second
    h.failToHold();
    h.setting->duringWrite = nullptr;
    const std::pair<std::function<void()>, std::string> steps[] = {
        {[] {}, " write 1"},
        {[&] { h.advance(0.2), h.keeper->checkLease(), h.keeper->renew(h.dates->now() + 30); }, ""},
        // While a failure stands, the standing is what was asked, unread.
        {[&] { EXPECT_EQ(h.keeper->readStanding(), SleepSettingStanding::asWritten()); }, ""},
        {[&] { h.advance(0.05), h.keeper->checkLease(); }, " write 1"},
        {[&] { h.keeper->revoke(); }, " write 0"}, // the other value goes at once
        // A confirmed value is repeated while the other's failure stands.
        {[&] { h.setting->writeFailure.reset(), h.keeper->renew(h.dates->now() + 30); }, " write 1"},
    };
    for (std::size_t step = 0; step < std::size(steps); ++step) {
        steps[step].first();
        EXPECT_EQ(h.calls(), steps[step].second) << "step " << step;
    }
    EXPECT_FALSE(h.keeper->lastError());
    EXPECT_TRUE(h.keeper->isSleepDisabled());
}

TEST(LidSleepLeaseKeeper, TakesAnUnreadableSettingUnderALeaseAsWrittenAndDoesNotRewriteIt) {
    Harness h;
    h.keeper->renew(h.dates->now() + 30);
    h.calls();
    h.setting->readFailure = "no SleepDisabled line";
    EXPECT_EQ(h.keeper->readStanding(), SleepSettingStanding::asWritten());
    h.keeper->checkLease();
    EXPECT_EQ(h.calls(), " read");
    EXPECT_TRUE(h.keeper->leaseExpiry());
}

TEST(LidSleepLeaseKeeper, RevokeBeforeExitPausesBetweenAttemptsUntilToldToStop) {
    // Attempts that fail, the call of `until` that says stop (1-based), whether 0 was restored, what happened.
    const std::tuple<int, int, bool, std::string> cases[] = {
        {0, 1, true, " write 0"},
        {2, 5, true, " write 0 until pause write 0 until pause write 0"},
        {100, 3, false, " write 0 until pause write 0 until pause write 0 until"},
        {100, 1, false, " write 0 until"},
    };
    for (const auto& [failingAttempts, stopAtCall, restored, events] : cases) {
        Harness h;
        h.keeper->renew(h.dates->now() + 30);
        h.calls();
        int failuresLeft = failingAttempts;
        h.setting->duringWrite = [&] {
            h.setting->writeFailure = failuresLeft-- > 0 ? std::optional<std::string>("busy") : std::nullopt;
        };
        int untilCalls = 0;
        const int stopAt = stopAtCall; // clang 14 cannot capture a structured binding
        const auto until = [&] { return h.setting->calls += " until", ++untilCalls >= stopAt; };
        EXPECT_EQ(h.keeper->revokeBeforeExit(until, [&] { h.setting->calls += " pause"; }), restored);
        EXPECT_EQ(h.calls(), events);
        EXPECT_FALSE(h.keeper->leaseExpiry());
        EXPECT_EQ(h.setting->value, !restored);
    }
    Harness h; // the retry spacing does not hold back the last attempt
    h.failToHold();
    h.setting->writeFailure.reset();
    h.calls();
    EXPECT_TRUE(h.keeper->revokeBeforeExit([] { return true; }, [] {}));
    EXPECT_EQ(h.calls(), " write 0");
}

TEST(LidLeaseService, HoldsTheLatestTermOfItsClientsAndWritesZeroWhenTheLastOneLeaves) {
    for (const auto& leave :
         {LidLeaseRequest::revoke(), LidLeaseRequest::disconnect(), LidLeaseRequest::renew(0)}) {
        SCOPED_TRACE(::testing::PrintToString(leave));
        Harness h;
        h.calls();
        const Date start = h.dates->now();
        EXPECT_EQ(h.renew(1, 10), granted);
        EXPECT_EQ(h.renew(2, 20), granted);
        EXPECT_EQ(h.calls(), " read write 1 read") << "a renewal while 1 stands writes nothing";
        EXPECT_EQ(h.keeper->leaseExpiry(), start + 20);
        EXPECT_EQ(h.service->handle(leave, 2), granted);
        EXPECT_EQ(h.keeper->leaseExpiry(), start + 10) << "the first client's term, not nothing";
        EXPECT_EQ(h.service->holders(), Clients{1});
        EXPECT_EQ(h.service->handle(leave, 1), granted);
        EXPECT_EQ(h.calls(), " write 0");
        EXPECT_TRUE(!h.keeper->leaseExpiry() && h.service->holders().empty() && h.lines.empty());
    }
}

TEST(LidLeaseService, HoldsEachClocksLatestEndEvenFromDifferentClients) {
    Harness h;
    const Date start = h.dates->now();
    const double upStart = h.uptime->current;
    ASSERT_EQ(h.renew(1, 20), granted);
    // The wall clock set back: the second term ends earlier on the wall clock but later on the uptime clock.
    h.dates->advance(-100);
    h.uptime->advance(5);
    ASSERT_EQ(h.renew(2, 30), granted);
    EXPECT_EQ(h.keeper->leaseExpiry(), start + 20);
    EXPECT_EQ(h.keeper->leaseUptimeExpiry(), upStart + 35);

    // The check drops each term that either clock ends, and writes 0 once none is left.
    h.uptime->advance(15);
    h.service->checkLease();
    EXPECT_EQ(h.service->holders(), Clients{2});
    h.calls();
    h.uptime->advance(15);
    h.service->checkLease();
    h.service->checkLease();
    EXPECT_TRUE(h.service->holders().empty());
    EXPECT_EQ(h.calls(), " write 0");
}

TEST(LidLeaseService, AFailedWriteKeepsTheTermForTheCheckAndALastFailedRevocationIsReported) {
    Harness h;
    h.setting->writeFailure = "pmset timed out after 1 s";
    EXPECT_EQ(h.renew(1, 30), "The sleep setting could not be written: pmset timed out after 1 s");
    EXPECT_EQ(h.service->holders(), Clients{1});
    h.setting->writeFailure.reset();
    h.advance(1);
    h.service->checkLease();
    EXPECT_TRUE(h.setting->value);
    EXPECT_EQ(h.renew(2, 30), granted);

    h.setting->writeFailure = "could not unmask sleep.target";
    EXPECT_EQ(h.service->handle(LidLeaseRequest::revoke(), 1), granted)
        << "another lease remains: nothing written";
    EXPECT_EQ(
        h.service->handle(LidLeaseRequest::revoke(), 2),
        "The sleep setting could not be put back, and the helper is still trying: could not unmask sleep.target");
    EXPECT_TRUE(h.service->holders().empty());
}

TEST(LidLeaseService, TheSettingTurnedOffElsewhereYieldsEveryHolderExactlyOnce) {
    Harness h;
    for (const LidLeaseClientNumber client : {1, 2, 3, 4}) {
        ASSERT_EQ(h.renew(client, 30), granted);
    }
    ASSERT_EQ(h.service->handle(LidLeaseRequest::revoke(), 3), granted);
    h.setting->value = false;
    h.calls();
    EXPECT_EQ(h.renew(1, 30), turnedOff);
    EXPECT_EQ(h.lines,
              std::vector<std::string>{"lease ended: disablesleep was set to 0 by something else; left at 0"});
    EXPECT_TRUE(h.service->holders().empty());
    h.service->checkLease();
    EXPECT_EQ(h.calls(), " read") << "nothing is written back";
    EXPECT_EQ(h.renew(2, 30), turnedOff);
    EXPECT_EQ(h.calls(), "") << "the told client is answered without a read";
    EXPECT_EQ(h.service->handle(LidLeaseRequest::renew(0), 4), granted);
    EXPECT_EQ(h.renew(4, 30), granted) << "a client's notice goes with its lease";
    EXPECT_EQ(h.renew(3, 30), granted) << "client 3 held no lease then";
    EXPECT_EQ(h.renew(2, 30), granted) << "told once, then handled normally";
    EXPECT_EQ(h.calls(), " read write 1 read read");
    EXPECT_EQ(h.service->holders(), (Clients{2, 3, 4}));
    EXPECT_EQ(h.lines.size(), 1u);
}

TEST(LidLeaseService, ASettingOnElsewhereOrUnreadableIsNotWritten) {
    const std::tuple<bool, std::optional<std::string>, std::string, std::string> cases[] = {
        // setting, read; reply, log
        {true, std::nullopt,
         "The sleep setting is already on, set by something other than Staywake, and was left as it is.",
         "lease refused: disablesleep is already 1 and this helper did not write it; left as it is"},
        {false, "no SleepDisabled line",
         "The sleep setting could not be read, so it was left as it is: no SleepDisabled line",
         "lease refused: disablesleep could not be read, so it was not written: no SleepDisabled line"},
    };
    for (const auto& [on, readFailure, reply, line] : cases) {
        Harness h;
        h.calls();
        h.setting->value = on;
        h.setting->readFailure = readFailure;
        EXPECT_EQ(h.renew(1, 30), reply);
        EXPECT_EQ(h.lines, std::vector<std::string>{line});
        EXPECT_TRUE(h.service->holders().empty());
        h.service->checkLease();
        EXPECT_EQ(h.service->handle(LidLeaseRequest::disconnect(), 1), granted);
        EXPECT_EQ(h.calls(), " read");
        EXPECT_EQ(h.setting->value, on);
    }
}

TEST(LidLeaseService, RequestsAreHandledOnTheMainLoopAndRepliedThere) {
    Harness h;
    h.calls();
    std::vector<std::optional<std::string>> replies;
    const auto record = [&](std::optional<std::string> reply) { replies.push_back(std::move(reply)); };
    const auto requests = h.service->requests();
    requests(1, LidLeaseRequest::renew(h.dates->now().secondsSince1970 + 30), record);
    requests(2, LidLeaseRequest::renew(nan), record);
    requests(1, LidLeaseRequest::disconnect(), nullptr);
    EXPECT_TRUE(replies.empty());
    EXPECT_EQ(h.mainLoop->drain(), 3);
    EXPECT_EQ(replies, (std::vector<std::optional<std::string>>{granted, "The lease deadline is not a number."}));
    EXPECT_EQ(h.calls(), " read write 1 write 0") << "in arrival order";
}

} // namespace
} // namespace staywake
