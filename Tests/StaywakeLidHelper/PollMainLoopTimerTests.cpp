#include "StaywakeLidHelper/PollMainLoop.h"

#include <gtest/gtest.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace staywake {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Each case arms the one timer as listed (0 s apart), and ends the loop at
// 0.3 s; the timer's firings are recorded by when they came.
TEST(PollMainLoopTimer, FiresOnceForTheLastArmingAndNotAtAllWhenDisarmed) {
    const struct {
        const char* name;
        std::vector<std::optional<double>> armings;
        std::vector<double> firesAround;
    } cases[] = {
        {"armed once", {0.05}, {0.05}},
        {"re-armed later", {0.05, 0.15}, {0.15}},
        {"re-armed sooner", {0.2, 0.05}, {0.05}},
        {"disarmed", {0.05, std::nullopt}, {}},
        {"a delay already past", {-1.0}, {0.0}},
        {"never armed", {}, {}},
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

TEST(PollMainLoopTimer, AWatchedDescriptorRunsItsActionEachTimeItBecomesReadable) {
    PollMainLoop loop([](const std::string& failure) { ADD_FAILURE() << failure; });
    UniqueFd events(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    const int fd = events.get();
    std::uint64_t one = 1;
    int runs = 0;
    loop.watch(std::move(events), [&] {
        std::uint64_t count = 0;
        ASSERT_EQ(::read(fd, &count, sizeof count), static_cast<ssize_t>(sizeof count));
        if (++runs == 2) {
            loop.quit(0);
        }
    });
    ASSERT_EQ(::write(fd, &one, sizeof one), static_cast<ssize_t>(sizeof one));
    loop.perform(0.05, [&] { ASSERT_EQ(::write(fd, &one, sizeof one), static_cast<ssize_t>(sizeof one)); });
    loop.perform(2.0, [&] { loop.quit(1); });
    EXPECT_EQ(loop.run(), 0);
    EXPECT_EQ(runs, 2);
}

} // namespace
} // namespace staywake
