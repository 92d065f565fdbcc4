#include "ZorIdiDurirad/PmsetSleepSetting.h"
#include "ZorIdiDurirad/PmsetToolPath.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace staywake {
namespace {

using Result = BoundedCommand::Result;

// That a read-back passes exactly when the listing shows the wanted value is the listing fuzzer's to check.
TEST(PmsetSleepSetting, ReadsAndConfirmsEachWriteWithAReadBack) {
    using Calls = std::vector<std::vector<std::string>>;
    const Result on = {0, "Currently in use:\n SleepDisabled 1\n"};
    const Result off = {0, "Currently in use:\n standby 1\n"};
    const Calls read = {{"-g"}};
    const Calls write1 = {{"-a", "disablesleep", "1"}, {"-g"}};
    const std::string unreadable =
        "pmset -g established nothing about the setting: SleepDisabled line without a single 0 or 1: \"2\"";
    const struct {
        int write; // -1: a read
        Result written;
        Result listed;
        std::string outcome; // a read's value, or what failed; "" for a confirmed write
        Calls calls;
    } cases[] = {
        {-1, {}, on, "1", read},
        {-1, {}, off, "0", read},
        {-1, {}, {2, on.output}, "pmset -g exited 2", read},
        {-1, {}, {0, "SleepDisabled 2\n"}, unreadable, read},
        {1, {}, on, "", write1},
        {0, {}, off, "", {{"-a", "disablesleep", "0"}, {"-g"}}},
        {1, {1, ""}, on, "pmset exited 1", {{"-a", "disablesleep", "1"}}},
        {1, {}, off, "asked for disablesleep 1, read back 0", write1},
        {0, {}, on, "asked for disablesleep 0, read back 1", {{"-a", "disablesleep", "0"}, {"-g"}}},
        // The status is judged before the listing.
        {1, {}, {3, on.output}, "pmset -g exited 3, so the setting was never read back", write1},
        {1, {}, {0, "SleepDisabled 2\n"}, unreadable, write1},
    };
    for (const auto& c : cases) {
        Calls calls;
        int logged = 0;
        PmsetSleepSetting setting([&](const std::string&) { ++logged; }, 1.0, 0.25, [] { return 0.0; },
                                  [&](const std::string&, const std::vector<std::string>& arguments, double) {
                                      calls.push_back(arguments);
                                      return arguments.size() == 1 ? c.listed : c.written;
                                  },
                                  "pmset");
        std::string outcome;
        try {
            if (c.write < 0) {
                outcome = setting.isSleepDisabled() ? "1" : "0";
            } else {
                setting.setSleepDisabled(c.write == 1);
            }
        } catch (const std::exception& failure) {
            outcome = failure.what();
        }
        EXPECT_EQ(outcome, c.outcome) << c.write << " " << c.listed.output;
        EXPECT_EQ(calls, c.calls) << c.outcome;
        EXPECT_EQ(logged, c.write >= 0 && c.outcome.empty() ? 1 : 0) << "a line for each confirmed write";
    }
}

TEST(PmsetSleepSetting, AReadHasItsOwnLimitAndAReadBackWhatTheWriteLeftOfTheBudget) {
    // The clock moves by the write's time at each reading: start, then after the write.
    for (const auto& [took, readBackLimit] :
         std::vector<std::pair<double, double>>{{0.0, 1.0}, {0.375, 0.625}, {1.0, 0.0}, {1.5, 0.0}}) {
        const double writeTook = took; // a lambda may not capture a structured binding in clang 14
        std::vector<double> limits;
        double now = 100;
        PmsetSleepSetting setting(
            nullptr, 1.0, 7.0, [&] { return std::exchange(now, now + writeTook); },
            [&](const std::string&, const std::vector<std::string>& arguments, double limit) {
                limits.push_back(limit);
                return Result{0, arguments.size() == 1 ? "SleepDisabled 1\n" : ""};
            },
            "pmset");
        setting.setSleepDisabled(true);
        setting.isSleepDisabled();
        EXPECT_EQ(limits, (std::vector<double>{1.0, readBackLimit, 7.0})) << writeTook;
    }
}

TEST(PmsetToolPath, IsBesideTheRunningExecutableEvenOnceItsFileIsReplaced) {
    // A helper whose file an update replaced still finds the bundle's tool.
    EXPECT_EQ(pmsetPathBeside("/opt/Staywake.app/Contents/Helpers/StaywakeLidHelper (deleted)"),
              "/opt/Staywake.app/Contents/Helpers/pmset");
}

} // namespace
} // namespace staywake
