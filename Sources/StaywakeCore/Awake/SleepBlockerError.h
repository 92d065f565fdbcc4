#pragma once

#include <cstdint>
#include <stdexcept>

namespace staywake {

/// The system refused the idle-sleep lock. `code` is the mechanism's signed
/// 32-bit code (negative codes included); two errors are equal when their codes
/// are.
class SleepBlockerError : public std::runtime_error {
public:
    static SleepBlockerError assertionFailed(std::int32_t code) { return SleepBlockerError(code); }

    std::int32_t code() const { return code_; }

    friend bool operator==(const SleepBlockerError& a, const SleepBlockerError& b) { return a.code_ == b.code_; }

private:
    explicit SleepBlockerError(std::int32_t code);

    std::int32_t code_;
};

} // namespace staywake
