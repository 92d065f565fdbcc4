#include "StaywakeLidHelper/PollMainLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace staywake {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Each case arms the one timer as listed (0 s apart), and ends the loop at
// 0.3 s; the timer's firings are recorded by when they came.
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
        SCOPED_TRACE(test.name);
        PollMainLoop loop([](const std::string& failure) { ADD_FAILURE() << failure; });
        std::vector<double> fired;
        const auto started = Clock::now();
        const auto timer = loop.timer([&] { fired.push_back(secondsSince(started)); });
        for (const auto& arming : test.armings) {
            loop.arm(timer, arming);
        }
        loop.perform(0.3, [&] { loop.quit(0); });
        loop.run();
        ASSERT_EQ(fired.size(), test.firesAround.size());
        for (std::size_t i = 0; i < fired.size(); ++i) {
            EXPECT_GE(fired[i], test.firesAround[i]);
            EXPECT_LT(fired[i], test.firesAround[i] + 0.1);
        }
    }
}

} // namespace
} // namespace staywake
