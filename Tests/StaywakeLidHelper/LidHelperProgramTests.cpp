#include "StaywakeLidHelper/LaunchdPlistCommand.h"
#include "StaywakeLidHelper/PollMainLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace staywake {
namespace {

using Clock = std::chrono::steady_clock;

TEST(PollMainLoop, RunsWorkFromAnyThreadInOrderDelayedWorkByItsDueTimeAndCarriesOnAfterAFailure) {
    std::vector<std::string> failures;
    PollMainLoop loop([&](const std::string& failure) { failures.push_back(failure); });
    std::vector<std::string> order;
    std::vector<std::string> expected;
    const auto mainThread = std::this_thread::get_id();
    std::thread([&] {
        loop.perform([&] { throw std::runtime_error("a request went wrong"); });
        for (int i = 0; i < 100; ++i) {
            expected.push_back(std::to_string(i));
            loop.perform([&, i] {
                EXPECT_EQ(std::this_thread::get_id(), mainThread);
                order.push_back(std::to_string(i));
            });
        }
    }).join();
    const auto started = Clock::now();
    loop.perform(0.2, [&] {
        order.push_back("late");
        loop.quit(7);
        loop.perform([&] { order.push_back("after the quit"); }); // dropped
    });
    loop.perform(0.05, [&] { order.push_back("early"); });
    EXPECT_EQ(loop.run(), 7);
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(200));
    expected.insert(expected.end(), {"early", "late"});
    EXPECT_EQ(order, expected);
    EXPECT_EQ(failures, (std::vector<std::string>{"a request went wrong"}));
}

TEST(PollMainLoop, AStopRunsBeforeEverythingQueuedWhichIsDroppedAtOnce) {
    PollMainLoop loop([](const std::string&) {});
    std::vector<std::string> ran;
    const auto held = std::make_shared<int>(0);
    loop.perform([&] {
        ran.push_back("first");
        for (int i = 0; i < 5; ++i) {
            loop.perform([&, held] { ran.push_back("queued"); });
        }
        std::thread([&] {
            loop.stopWith([&] {
                ran.push_back("stop");
                loop.quit(3);
            });
        }).join();
        // Dropped by the stop, not kept until the loop ends: what they hold (a client's connection) goes now.
        EXPECT_EQ(held.use_count(), 1);
        loop.perform([&, held] { ran.push_back("after the stop"); });
        EXPECT_EQ(held.use_count(), 1);
        loop.stopWith([&] { ran.push_back("a second stop"); });
    });
    EXPECT_EQ(loop.run(), 3);
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "stop"}));
}

// Each case arms one timer as listed and ends the loop at 0.3 s; the firings are recorded by when they came.
TEST(PollMainLoopTimer, FiresOnceForTheLastArmingAndNotAtAllWhenDisarmed) {
    const struct {
        const char* name;
        std::vector<std::optional<double>> armings;
        std::vector<double> firesAround;
    } cases[] = {
        {"armed once", {0.05}, {0.05}},           {"re-armed later", {0.05, 0.15}, {0.15}},
        {"re-armed sooner", {0.2, 0.05}, {0.05}}, {"disarmed", {0.05, std::nullopt}, {}},
        {"a delay already past", {-1.0}, {0.0}},  {"never armed", {}, {}},
    };
    for (const auto& test : cases) {
        PollMainLoop loop([](const std::string& failure) { ADD_FAILURE() << failure; });
        std::vector<double> fired;
        const auto started = Clock::now();
        const auto timer =
            loop.timer([&] { fired.push_back(std::chrono::duration<double>(Clock::now() - started).count()); });
        for (const auto& arming : test.armings) {
            loop.arm(timer, arming);
        }
        loop.perform(0.3, [&] { loop.quit(0); });
        loop.run();
        ASSERT_EQ(fired.size(), test.firesAround.size()) << test.name;
        for (std::size_t i = 0; i < fired.size(); ++i) {
            EXPECT_TRUE(fired[i] >= test.firesAround[i] && fired[i] < test.firesAround[i] + 0.1) << test.name;
        }
    }
}

TEST(LaunchdPlistCommand, ADescriptionThatNeverReachedItsReaderIsAFailure) {
    std::ostringstream written;
    std::ostringstream errors;
    std::ostream closed(nullptr);
    EXPECT_EQ(printLaunchdPlist(written, errors), 0);
    EXPECT_EQ(printLaunchdPlist(closed, errors), 1);
    EXPECT_EQ(errors.str(), "could not write the launchd plist: standard output could not be written\n");
}

} // namespace
} // namespace staywake
