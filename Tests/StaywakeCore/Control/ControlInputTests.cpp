#include "StaywakeCore/Control/ControlInput.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace staywake {
namespace {

TEST(ControlInput, ReadsSessionLengthsAndRejectsEverythingElse) {
    const struct {
        std::string text;
        std::optional<double> seconds;
    } cases[] = {
        // clang-format off
        {"1h30m", 5400}, {"45m", 2700}, {"90s", 90}, {"2h", 7200}, {"1h2m3s", 3723}, {"0h5m", 300},
        {"720h", 2592000}, {"721h", std::nullopt}, {"9999999999h", std::nullopt},
        {"0m", std::nullopt}, {"0h0m0s", std::nullopt}, {"-5m", std::nullopt},
        {"", std::nullopt}, {"90", std::nullopt}, {"1.5h", std::nullopt}, {"30m1h", std::nullopt},
        {"1h1h", std::nullopt}, {"h", std::nullopt}, {"5 m", std::nullopt}, {"5d", std::nullopt},
        {"nan", std::nullopt}, {"1h30", std::nullopt},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ControlInput::duration(c.text), c.seconds) << c.text;
    }
}

TEST(ControlInput, ReadsClockTimesOfOneDay) {
    const struct {
        std::string text;
        bool valid;
        int hour;
        int minute;
    } cases[] = {
        {"17:30", true, 17, 30}, {"7:05", true, 7, 5},    {"00:00", true, 0, 0},  {"23:59", true, 23, 59},
        {"24:00", false, 0, 0},  {"12:60", false, 0, 0},  {"7:5", false, 0, 0},   {"1730", false, 0, 0},
        {":30", false, 0, 0},    {"123:00", false, 0, 0}, {"-1:30", false, 0, 0}, {"17:30pm", false, 0, 0},
    };
    for (const auto& c : cases) {
        const auto time = ControlInput::clockTime(c.text);
        ASSERT_EQ(time.has_value(), c.valid) << c.text;
        if (time) {
            EXPECT_EQ(time->hour, c.hour) << c.text;
            EXPECT_EQ(time->minute, c.minute) << c.text;
        }
    }
}

TEST(ControlInput, PicksTheNextTimeTheClockShows) {
    const struct {
        ControlInput::ClockTime target;
        int hour, minute, second;
        int days;
    } cases[] = {
        {{17, 30}, 9, 0, 0, 0},   {{17, 30}, 17, 29, 59, 0}, {{17, 30}, 17, 30, 0, 1}, // now is not a session
        {{17, 30}, 17, 30, 1, 1}, {{1, 0}, 23, 30, 0, 1},                              // across midnight
        {{0, 0}, 23, 59, 59, 1},  {{23, 59}, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ControlInput::daysUntil(c.target, c.hour, c.minute, c.second), c.days)
            << c.target.hour << ":" << c.target.minute << " at " << c.hour << ":" << c.minute << ":" << c.second;
    }
}

} // namespace
} // namespace staywake
