#pragma once

#include <array>

namespace staywake {

/// Why turning Night Brew on is refused before anything is asked of the
/// helper.
enum class LidAwakeRefusal {
    /// The user has not yet acknowledged the heat warning.
    unacknowledged,
};

inline constexpr std::array<LidAwakeRefusal, 1> allLidAwakeRefusals = {LidAwakeRefusal::unacknowledged};

} // namespace staywake
