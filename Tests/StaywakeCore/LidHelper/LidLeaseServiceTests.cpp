#include "FakeSystemSleepSetting.h"
#include "StaywakeCore/LidHelper/LidLeaseService.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"

#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace staywake {
namespace {

using testing::FakeDateProvider;
using testing::FakeSystemSleepSetting;
using testing::FakeUptimeProvider;
using testing::ManualMainRunLoop;
using Calls = std::vector<std::string>;
using Lines = std::vector<std::string>;
using Clients = std::set<LidLeaseClientNumber>;

const std::optional<std::string> granted = std::nullopt;
const std::string notANumber = "The lease deadline is not a number.";
const std::string alreadyOn =
    "The sleep setting is already on, set by something other than Staywake, and was left as it is.";
const std::string turnedOff =
    "The sleep setting was turned off by something other than Staywake, and was left off.";

struct ServiceHarness {
    ServiceHarness()
        : setting(std::make_shared<FakeSystemSleepSetting>()), dates(std::make_shared<FakeDateProvider>()),
          uptime(std::make_shared<FakeUptimeProvider>()),
          keeper(std::make_shared<LidSleepLeaseKeeper>(setting, dates, uptime)),
          mainLoop(std::make_shared<ManualMainRunLoop>()),
          service(
              keeper, [this](const std::string& line) { lines.push_back(line); }, mainLoop) {
        setting->takeCalls();
    }

    void advance(double seconds) {
        dates->advance(seconds);
        uptime->advance(seconds);
    }
    std::optional<std::string> renew(LidLeaseClientNumber client, double ahead) {
        return service.handle(LidLeaseRequest::renew(dates->now().secondsSince1970 + ahead), client);
    }
    std::optional<std::string> send(LidLeaseClientNumber client, const LidLeaseRequest& request) {
        return service.handle(request, client);
    }

    std::shared_ptr<FakeSystemSleepSetting> setting;
    std::shared_ptr<FakeDateProvider> dates;
    std::shared_ptr<FakeUptimeProvider> uptime;
    std::shared_ptr<LidSleepLeaseKeeper> keeper;
    std::shared_ptr<ManualMainRunLoop> mainLoop;
    Lines lines;
    LidLeaseService service;
};

TEST(LidLeaseService, HoldsTheLatestTermOfItsClientsAndWritesZeroWhenTheLastOneLeaves) {
    const std::pair<const char*, LidLeaseRequest> leavings[] = {
        {"revoke", LidLeaseRequest::revoke()},
        {"disconnect", LidLeaseRequest::disconnect()},
        {"renew until zero", LidLeaseRequest::renew(0)},
    };
    for (const auto& [name, leave] : leavings) {
        SCOPED_TRACE(name);
        ServiceHarness h;
        const Date start = h.dates->now();
        EXPECT_EQ(h.renew(1, 10), granted);
        EXPECT_EQ(h.setting->takeCalls(), (Calls{"read", "write 1"}));
        EXPECT_EQ(h.renew(2, 20), granted);
        EXPECT_EQ(h.setting->takeCalls(), Calls{"read"}) << "a renewal while 1 stands writes nothing";
        EXPECT_EQ(h.keeper->leaseExpiry(), start + 20);
        EXPECT_EQ(h.service.holders(), (Clients{1, 2}));

        EXPECT_EQ(h.send(2, leave), granted);
        EXPECT_EQ(h.keeper->leaseExpiry(), start + 10) << "the first client's term, not nothing";
        EXPECT_EQ(h.service.holders(), Clients{1});
        EXPECT_TRUE(h.setting->value);

        EXPECT_EQ(h.send(1, leave), granted);
        EXPECT_FALSE(h.keeper->leaseExpiry());
        EXPECT_FALSE(h.setting->value);
        EXPECT_TRUE(h.service.holders().empty());
        EXPECT_TRUE(h.lines.empty());
    }
}

TEST(LidLeaseService, HoldsEachClocksLatestEndEvenFromDifferentClients) {
    ServiceHarness h;
    const Date start = h.dates->now();
    const double upStart = h.uptime->current;
    ASSERT_EQ(h.renew(1, 20), granted);
    // The wall clock is set back before the second client asks: its term ends
    // earlier on the wall clock but later on the uptime clock.
    h.dates->advance(-100);
    h.uptime->advance(5);
    ASSERT_EQ(h.renew(2, 30), granted);
    EXPECT_EQ(h.keeper->leaseExpiry(), start + 20);
    EXPECT_EQ(h.keeper->leaseUptimeExpiry(), upStart + 35);
}

TEST(LidLeaseService, ARenewalThatIsNotANumberChangesNothing) {
    for (const double until : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity()}) {
        ServiceHarness h;
        ASSERT_EQ(h.renew(1, 30), granted);
        const auto terms = h.service.terms();
        h.setting->takeCalls();
        EXPECT_EQ(h.send(1, LidLeaseRequest::renew(until)), notANumber) << until;
        EXPECT_EQ(h.send(2, LidLeaseRequest::renew(until)), notANumber) << until;
        EXPECT_EQ(h.service.terms(), terms) << until;
        EXPECT_TRUE(h.setting->takeCalls().empty()) << until;
        EXPECT_TRUE(h.setting->value) << until;
    }
}

TEST(LidLeaseService, AFailedWriteKeepsTheClientsTermForTheCheckToRetry) {
    ServiceHarness h;
    h.setting->writeFailure = "pmset timed out after 1 s";
    EXPECT_EQ(h.renew(1, 30), "The sleep setting could not be written: pmset timed out after 1 s");
    EXPECT_EQ(h.service.holders(), Clients{1});
    EXPECT_FALSE(h.setting->value);

    h.setting->writeFailure.reset();
    h.advance(1);
    h.service.checkLease();
    EXPECT_TRUE(h.setting->value);
    EXPECT_FALSE(h.keeper->lastError());
    EXPECT_EQ(h.renew(1, 30), granted);
}

TEST(LidLeaseService, TheLastRevocationReportsASettingNotPutBack) {
    ServiceHarness h;
    ASSERT_EQ(h.renew(1, 30), granted);
    ASSERT_EQ(h.renew(2, 30), granted);
    h.setting->writeFailure = "could not unmask sleep.target";
    EXPECT_EQ(h.send(1, LidLeaseRequest::revoke()), granted) << "another lease remains: nothing is written";
    EXPECT_EQ(h.send(2, LidLeaseRequest::revoke()), "The sleep setting could not be put back, and the helper "
                                                    "is still trying: could not unmask sleep.target");
    EXPECT_TRUE(h.service.holders().empty());
}

TEST(LidLeaseService, TheSettingTurnedOffElsewhereYieldsEveryHolderExactlyOnce) {
    ServiceHarness h;
    ASSERT_EQ(h.renew(1, 30), granted);
    ASSERT_EQ(h.renew(2, 30), granted);
    ASSERT_EQ(h.renew(3, 30), granted);
    ASSERT_EQ(h.send(3, LidLeaseRequest::revoke()), granted);
    h.setting->value = false;
    h.setting->takeCalls();

    EXPECT_EQ(h.renew(1, 30), turnedOff);
    EXPECT_EQ(h.lines, Lines{"lease ended: disablesleep was set to 0 by something else; left at 0"});
    EXPECT_TRUE(h.service.holders().empty());
    EXPECT_FALSE(h.keeper->leaseExpiry());
    h.service.checkLease();
    EXPECT_EQ(h.setting->takeCalls(), Calls{"read"}) << "nothing is written back";

    EXPECT_EQ(h.renew(2, 30), turnedOff);
    EXPECT_TRUE(h.setting->takeCalls().empty()) << "the told client is answered without a read";
    EXPECT_EQ(h.renew(3, 30), granted) << "client 3 held no lease then";
    EXPECT_EQ(h.setting->takeCalls(), (Calls{"read", "write 1"}));
    EXPECT_EQ(h.renew(2, 30), granted) << "told once, then handled normally";
    EXPECT_EQ(h.renew(1, 30), granted);
    EXPECT_EQ(h.service.holders(), (Clients{1, 2, 3}));
    EXPECT_EQ(h.lines.size(), 1u);
}

TEST(LidLeaseService, AYieldedClientThatLeavesIsForgotten) {
    ServiceHarness h;
    ASSERT_EQ(h.renew(1, 30), granted);
    ASSERT_EQ(h.renew(2, 30), granted);
    h.setting->value = false;
    ASSERT_EQ(h.renew(1, 30), turnedOff);
    EXPECT_EQ(h.send(2, LidLeaseRequest::renew(0)), granted);
    EXPECT_EQ(h.renew(2, 30), granted) << "its notice went with its lease";
}

TEST(LidLeaseService, TheSettingOnElsewhereIsRefusedAndLeftAlone) {
    ServiceHarness h;
    h.setting->value = true;
    EXPECT_EQ(h.renew(1, 30), alreadyOn);
    EXPECT_EQ(h.lines,
              Lines{"lease refused: disablesleep is already 1 and this helper did not write it; left as it is"});
    EXPECT_TRUE(h.service.holders().empty());
    h.service.checkLease();
    EXPECT_EQ(h.send(1, LidLeaseRequest::disconnect()), granted);
    EXPECT_EQ(h.setting->takeCalls(), Calls{"read"});
    EXPECT_TRUE(h.setting->value);
}

TEST(LidLeaseService, AnUnreadableSettingIsNotWritten) {
    ServiceHarness h;
    h.setting->readFailure = "pmset printed no SleepDisabled line";
    EXPECT_EQ(h.renew(1, 30),
              "The sleep setting could not be read, so it was left as it is: pmset printed no SleepDisabled line");
    EXPECT_EQ(h.lines,
              Lines{"lease refused: disablesleep could not be read, so it was not written: pmset printed no "
                    "SleepDisabled line"});
    EXPECT_TRUE(h.service.holders().empty());
    EXPECT_EQ(h.setting->takeCalls(), Calls{"read"});

    // Once 1 is written, an unreadable setting no longer stands in the way.
    h.setting->readFailure.reset();
    ASSERT_EQ(h.renew(1, 30), granted);
    h.setting->readFailure = "pmset printed no SleepDisabled line";
    EXPECT_EQ(h.renew(2, 30), granted);
    EXPECT_EQ(h.service.holders(), (Clients{1, 2}));
}

TEST(LidLeaseService, TheCheckDropsLapsedTermsByEitherClock) {
    ServiceHarness h;
    ASSERT_EQ(h.renew(1, 10), granted);
    ASSERT_EQ(h.renew(2, 30), granted);
    h.setting->takeCalls();

    // The wall clock is set back an hour; the uptime clock still ends both.
    h.dates->advance(-3600);
    h.uptime->advance(10);
    h.service.checkLease();
    EXPECT_EQ(h.service.holders(), Clients{2});
    EXPECT_TRUE(h.setting->takeCalls().empty());

    h.uptime->advance(20);
    h.service.checkLease();
    EXPECT_TRUE(h.service.holders().empty());
    EXPECT_EQ(h.setting->takeCalls(), Calls{"write 0"});
    h.service.checkLease();
    EXPECT_TRUE(h.setting->takeCalls().empty()) << "the check runs nothing while nothing changes";
}

TEST(LidLeaseService, RequestsAreHandledOnTheMainLoopAndRepliedThere) {
    ServiceHarness h;
    const auto requests = h.service.requests();
    std::vector<std::optional<std::string>> replies;
    const auto record = [&](std::optional<std::string> reply) { replies.push_back(std::move(reply)); };

    requests(1, LidLeaseRequest::renew(h.dates->now().secondsSince1970 + 30), record);
    requests(2, LidLeaseRequest::renew(std::numeric_limits<double>::quiet_NaN()), record);
    requests(1, LidLeaseRequest::disconnect(), nullptr);
    EXPECT_TRUE(replies.empty());
    EXPECT_TRUE(h.setting->calls.empty());

    EXPECT_EQ(h.mainLoop->drain(), 3);
    EXPECT_EQ(replies, (std::vector<std::optional<std::string>>{granted, notANumber}));
    EXPECT_EQ(h.setting->takeCalls(), (Calls{"read", "write 1", "write 0"})) << "in arrival order";
}

} // namespace
} // namespace staywake
