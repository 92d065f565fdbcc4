#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace staywake {

/// What the pmset tool was asked, from its arguments: `-g` (print the
/// listing) or `-a disablesleep 1|0` (write the setting). `--hold` is how the
/// tool starts its own lock holder (LockHolding.h), left out of the usage.
/// Nothing else.
struct PmsetRequest {
    enum class Kind { read, write, hold };

    Kind kind = Kind::read;
    /// For a write: true for 1.
    bool disableSleep = false;

    static constexpr std::string_view usage = "usage: pmset -g | pmset -a disablesleep 1|0";

    /// The request, or nothing for any other arguments.
    static std::optional<PmsetRequest> parse(std::span<const std::string_view> arguments);
};

} // namespace staywake
