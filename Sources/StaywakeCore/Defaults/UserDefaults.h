#pragma once

#include "StaywakeCore/Defaults/PropertyValue.h"

#include <optional>
#include <string>

namespace staywake {

/// One user-defaults domain: typed values under text keys. Used from the main
/// thread only.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;

    /// The value under `key`, or nothing.
    virtual std::optional<PropertyValue> object(const std::string& key) const = 0;
    virtual void set(const std::string& key, PropertyValue value) = 0;
    /// Removes `key`; a missing key is no error.
    virtual void removeObject(const std::string& key) = 0;

    /// Reads `key` the way user defaults read Booleans: a Boolean as itself, a
    /// number as true when it is not 0, the texts "YES", "true" and "1" (any
    /// case) as true; anything else, and an absent key, as false.
    bool boolean(const std::string& key) const;
};

} // namespace staywake
