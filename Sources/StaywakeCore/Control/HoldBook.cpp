#include "StaywakeCore/Control/HoldBook.h"

#include <algorithm>

namespace staywake {

std::optional<std::uint32_t> HoldBook::add(std::string owner, std::string why) {
    const auto owned =
        std::count_if(holds_.begin(), holds_.end(), [&](const Hold& hold) { return hold.owner == owner; });
    if (static_cast<std::size_t>(owned) >= perOwnerLimit) {
        return std::nullopt;
    }
    // 0 is never an id: a client may use it for "none".
    if (++lastId_ == 0) {
        ++lastId_;
    }
    holds_.push_back(Hold{lastId_, std::move(owner), std::move(why)});
    return lastId_;
}

bool HoldBook::release(std::string_view owner, std::uint32_t id) {
    return std::erase_if(holds_, [&](const Hold& hold) { return hold.id == id && hold.owner == owner; }) > 0;
}

std::size_t HoldBook::releaseAll(std::string_view owner) {
    return std::erase_if(holds_, [&](const Hold& hold) { return hold.owner == owner; });
}

bool HoldBook::hasOwner(std::string_view owner) const {
    return std::any_of(holds_.begin(), holds_.end(), [&](const Hold& hold) { return hold.owner == owner; });
}

std::vector<std::string> HoldBook::holders() const {
    std::vector<std::string> names;
    for (const auto& hold : holds_) {
        if (std::find(names.begin(), names.end(), hold.why) == names.end()) {
            names.push_back(hold.why);
        }
    }
    return names;
}

} // namespace staywake
