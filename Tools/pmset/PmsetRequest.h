#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace staywake {

/// What the pmset tool was asked, from its arguments: `-g` (print the
/// listing) or `-a disablesleep 1|0` (write the setting). Nothing else.
struct PmsetRequest {
    enum class Kind { read, write };

    Kind kind = Kind::read;
    /// For a write: true for 1.
    bool disableSleep = false;

    static constexpr std::string_view usage = "usage: pmset -g | pmset -a disablesleep 1|0";

    /// The request, or nothing for any other arguments.
    static std::optional<PmsetRequest> parse(std::span<const std::string_view> arguments);

    friend bool operator==(const PmsetRequest&, const PmsetRequest&) = default;
};

} // namespace staywake
