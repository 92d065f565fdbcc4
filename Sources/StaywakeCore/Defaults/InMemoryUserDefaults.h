#pragma once

#include "StaywakeCore/Defaults/UserDefaults.h"

#include <map>

namespace staywake {

/// User defaults that live only as long as the object: for tests and previews.
class InMemoryUserDefaults final : public UserDefaults {
public:
    InMemoryUserDefaults() = default;
    explicit InMemoryUserDefaults(PropertyValue::Dictionary values) : values_(std::move(values)) {}

    std::optional<PropertyValue> object(const std::string& key) const override;
    void set(const std::string& key, PropertyValue value) override;
    void removeObject(const std::string& key) override;

    const PropertyValue::Dictionary& values() const { return values_; }

private:
    PropertyValue::Dictionary values_;
};

} // namespace staywake
