#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace staywake {

/// The holds scripts have on the app: each keeps the machine awake while it
/// exists and belongs to the bus connection that asked for it. Ids are never
/// given out twice, so a late Release cannot end someone else's hold.
class HoldBook {
public:
    /// A client that asks in a loop is stopped here rather than by memory.
    static constexpr std::size_t perOwnerLimit = 64;

    struct Hold {
        std::uint32_t id = 0;
        std::string owner;
        std::string why;
    };

    /// A new hold of `owner`; absent when the owner already has
    /// perOwnerLimit.
    std::optional<std::uint32_t> add(std::string owner, std::string why);
    /// Ends hold `id` if `owner` has it; a hold of another owner stays.
    bool release(std::string_view owner, std::uint32_t id);
    /// Ends every hold of `owner` (its connection went away); how many.
    std::size_t releaseAll(std::string_view owner);

    bool isEmpty() const { return holds_.empty(); }
    bool hasOwner(std::string_view owner) const;
    /// Oldest first.
    const std::vector<Hold>& holds() const { return holds_; }
    /// The holds' reasons, oldest first, each named once.
    std::vector<std::string> holders() const;

private:
    std::vector<Hold> holds_;
    std::uint32_t lastId_ = 0;
};

} // namespace staywake
