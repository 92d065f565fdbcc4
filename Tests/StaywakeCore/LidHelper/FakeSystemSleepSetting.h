#pragma once

#include "StaywakeCore/LidHelper/SystemSleepSetting.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace staywake::testing {

/// An in-memory sleep setting that records every call ("write 1", "write 0",
/// "read") and fails on demand with a fixed text.
class FakeSystemSleepSetting final : public SystemSleepSetting {
public:
    explicit FakeSystemSleepSetting(bool initial = false, std::optional<std::string> failingWrites = std::nullopt)
        : value(initial), writeFailure(std::move(failingWrites)) {}

    void setSleepDisabled(bool disabled) override {
        calls.push_back(disabled ? "write 1" : "write 0");
        if (duringWrite) {
            duringWrite();
        }
        if (writeFailure) {
            throw std::runtime_error(*writeFailure);
        }
        value = disabled;
    }

    bool isSleepDisabled() override {
        calls.push_back("read");
        if (readFailure) {
            throw std::runtime_error(*readFailure);
        }
        return value;
    }

    /// The calls since the last time this was asked, and forgets them.
    std::vector<std::string> takeCalls() { return std::exchange(calls, {}); }

    bool value;
    std::vector<std::string> calls;
    /// Every write fails with this text while it is set; the value stays.
    std::optional<std::string> writeFailure;
    /// Every read fails with this text while it is set.
    std::optional<std::string> readFailure;
    /// Runs inside each write attempt, before it succeeds or fails.
    std::function<void()> duringWrite;
};

} // namespace staywake::testing
