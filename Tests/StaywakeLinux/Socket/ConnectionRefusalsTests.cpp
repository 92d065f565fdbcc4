#include "StaywakeLinux/Socket/ConnectionRefusals.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace staywake {
namespace {

TEST(ConnectionRefusals, LogsTheFirstRefusalOfAMinutePerUserAtOnceAndCountsTheRest) {
    const std::string user = "refused a connection from uid 1000: ";
    const std::string nobody = "refused a connection from uid 65534: too many";
    const std::string more = " from uid 1000 in the last minute; the last: ";
    const struct {
        double at;
        uid_t uid;
        std::string reason; // none: a flush
        std::vector<std::string> lines;
    } steps[] = {
        {0, 1000, "too many", {user + "too many"}},
        {1, 1000, "too many", {}},
        {2, 1000, "not authorized by polkit", {}},
        {30, 65534, "too many", {nobody}},
        {59.9, 0, "", {}},
        {60, 0, "", {"refused 2 more connections" + more + "not authorized by polkit"}},
        // Its minute over and told, uid 1000 starts afresh.
        {61, 1000, "too many", {user + "too many"}},
        {62, 1000, "too many", {}},
        // A refusal after the minute, before any flush, tells both.
        {125, 1000, "gone", {"refused 1 more connection" + more + "too many", user + "gone"}},
        // A minute with nothing held back ends silently.
        {200, 0, "", {}},
        {201, 65534, "too many", {nobody}},
    };
    ConnectionRefusals refusals;
    for (const auto& step : steps) {
        EXPECT_EQ(step.reason.empty() ? refusals.flush(step.at) : refusals.refuse(step.uid, step.reason, step.at),
                  step.lines)
            << "at " << step.at;
    }
    EXPECT_EQ(refusals.nextFlush(), std::optional<double>(261));
}

} // namespace
} // namespace staywake
