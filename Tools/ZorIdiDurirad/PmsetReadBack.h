#pragma once

#include <cstdint>
#include <string_view>

namespace staywake {

/// Confirms a write of the sleep setting from the `pmset -g` run after it.
class PmsetReadBack {
public:
    PmsetReadBack() = delete;

    /// Returns when the read-back (its exit status and listing) shows `wanted`
    /// (true = sleep disabled); otherwise throws SleepSettingWriteFailure:
    /// readBackFailed for a non-zero status, readBackUnreadable for a listing
    /// that establishes nothing, notApplied for the other value.
    static void confirm(bool wanted, std::int32_t status, std::string_view output);
};

} // namespace staywake
