#pragma once

#include "StaywakeCore/Clock/Date.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace staywake {

/// Raw bytes in a property list.
struct PropertyData {
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const PropertyData&, const PropertyData&) = default;
};

/// A typed property-list value: what user defaults and job descriptions hold.
/// A Boolean is its own type and never reads as a number.
class PropertyValue {
public:
    using Array = std::vector<PropertyValue>;
    using Dictionary = std::map<std::string, PropertyValue>;
    using Storage = std::variant<bool, std::int64_t, double, std::string, Date, PropertyData, Array, Dictionary>;

    PropertyValue() : storage_(false) {}
    PropertyValue(bool value) : storage_(value) {}
    PropertyValue(std::int64_t value) : storage_(value) {}
    PropertyValue(int value) : storage_(std::int64_t{value}) {}
    PropertyValue(double value) : storage_(value) {}
    PropertyValue(std::string value) : storage_(std::move(value)) {}
    PropertyValue(const char* value) : storage_(std::string(value)) {}
    PropertyValue(Date value) : storage_(value) {}
    PropertyValue(PropertyData value) : storage_(std::move(value)) {}
    PropertyValue(Array value) : storage_(std::move(value)) {}
    PropertyValue(Dictionary value) : storage_(std::move(value)) {}

    const Storage& storage() const { return storage_; }

    bool isBoolean() const { return std::holds_alternative<bool>(storage_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(storage_); }
    bool isReal() const { return std::holds_alternative<double>(storage_); }
    /// An integer or a real; never a Boolean.
    bool isNumber() const { return isInteger() || isReal(); }

    /// The value as a double when it is a number (integers are accepted);
    /// absent for a Boolean and every other type.
    std::optional<double> number() const;

    template <typename T> const T* as() const { return std::get_if<T>(&storage_); }

    friend bool operator==(const PropertyValue&, const PropertyValue&) = default;

private:
    Storage storage_;
};

} // namespace staywake
