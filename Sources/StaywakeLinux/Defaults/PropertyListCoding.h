#pragma once

#include "StaywakeCore/Defaults/PropertyValue.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace staywake {

/// Turns typed values into property-list documents and back, with libplist.
/// Every type keeps its identity: a Boolean stays a Boolean, integers stay
/// integers (negative ones included), reals keep every bit (not-a-number and
/// the infinities too).
class PropertyListCoding {
public:
    /// The smallest and largest dates a property list can carry here:
    /// libplist keeps a date as signed 32-bit seconds around 2001-01-01.
    static constexpr double earliestDate = 978307200.0 - 2147483648.0;
    static constexpr double latestDate = 978307200.0 + 2147483647.0;

    /// The largest document `decodeDictionary` reads. libplist parses nested
    /// containers recursively, a binary list needs only a few bytes a level,
    /// and tens of thousands of levels overflow a thread's stack; the app's
    /// own file is a few kilobytes.
    static constexpr std::size_t largestDocument = 64 * 1024;
    /// The deepest nesting of arrays and dictionaries `decodeDictionary` reads.
    static constexpr int deepestNesting = 64;

    /// An XML property list whose root is `dictionary`. The values must be
    /// storable (see storableForm).
    static std::string encodeXml(const PropertyValue::Dictionary& dictionary);

    /// The dictionary at the root of an XML or binary property list; absent
    /// when `bytes` is no property list, its root is not a dictionary, or it
    /// is larger or nested deeper than the limits above.
    /// Values of types the app does not use (UIDs), and entries whose key
    /// holds a NUL character, are left out.
    static std::optional<PropertyValue::Dictionary> decodeDictionary(std::string_view bytes);

    /// `value` as a property list stores and gives it back: dates to the whole
    /// second, as XML property lists write them. Throws std::invalid_argument
    /// for what no property list can carry: a text or key that is not valid
    /// UTF-8 or holds a NUL character, a date that is not finite or lies
    /// outside earliestDate...latestDate.
    static PropertyValue storableForm(const std::string& key, const PropertyValue& value);
};

} // namespace staywake
