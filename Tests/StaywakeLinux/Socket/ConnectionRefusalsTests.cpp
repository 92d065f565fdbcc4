#include "StaywakeLinux/Socket/ConnectionRefusals.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace staywake {
namespace {

TEST(ConnectionRefusals, LogsTheFirstRefusalOfAMinutePerUserAtOnceAndCountsTheRest) {
    struct Step {
        enum { refuse, flush } action;
        uid_t uid;
        double at;
        std::string reason;
        std::vector<std::string> lines;
    };
    const std::vector<Step> steps = {
        {Step::refuse, 1000, 0, "too many", {"refused a connection from uid 1000: too many"}},
        {Step::refuse, 1000, 1, "too many", {}},
        {Step::refuse, 1000, 2, "not authorized by polkit", {}},
        {Step::refuse, 65534, 30, "too many", {"refused a connection from uid 65534: too many"}},
        {Step::flush, 0, 59.9, "", {}},
        {Step::flush,
         0,
         60,
         "",
         {"refused 2 more connections from uid 1000 in the last minute; the last: not authorized by polkit"}},
        // Its minute over and told, uid 1000 starts afresh.
        {Step::refuse, 1000, 61, "too many", {"refused a connection from uid 1000: too many"}},
        {Step::refuse, 1000, 62, "too many", {}},
        // A refusal after the minute, before any flush, tells both.
        {Step::refuse,
         1000,
         125,
         "gone",
         {"refused 1 more connection from uid 1000 in the last minute; the last: too many",
          "refused a connection from uid 1000: gone"}},
        // A minute with nothing held back ends silently.
        {Step::flush, 0, 200, "", {}},
        {Step::refuse, 65534, 201, "too many", {"refused a connection from uid 65534: too many"}},
    };
    ConnectionRefusals refusals;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.at);
        const auto lines = step.action == Step::refuse ? refusals.refuse(step.uid, step.reason, step.at)
                                                       : refusals.flush(step.at);
        EXPECT_EQ(lines, step.lines);
    }
    EXPECT_EQ(refusals.nextFlush(), std::optional<double>(261));
}

} // namespace
} // namespace staywake
