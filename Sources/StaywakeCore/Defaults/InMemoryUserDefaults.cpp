#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"

namespace staywake {

std::optional<PropertyValue> InMemoryUserDefaults::object(const std::string& key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void InMemoryUserDefaults::set(const std::string& key, PropertyValue value) {
    values_.insert_or_assign(key, std::move(value));
}

void InMemoryUserDefaults::removeObject(const std::string& key) { values_.erase(key); }

} // namespace staywake
