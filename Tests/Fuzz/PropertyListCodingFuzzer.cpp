// Any bytes as the settings file: XML or binary, from this app, another version of it, or anything else.

#include "FuzzCheck.h"

#include "StaywakeLinux/Defaults/PropertyListCoding.h"

namespace staywake::fuzz {
namespace {

bool sameValue(const PropertyValue& a, const PropertyValue& b);

bool sameEntry(const PropertyValue::Dictionary::value_type& x, const PropertyValue::Dictionary::value_type& y) {
    return x.first == y.first && sameValue(x.second, y.second);
}

bool sameValue(const PropertyValue& a, const PropertyValue& b) {
    if (a.storage().index() != b.storage().index()) {
        return false;
    }
    if (const auto* real = a.as<double>()) {
        // Every not-a-number is the same value to a reader.
        const double other = *b.as<double>();
        return (std::isnan(*real) && std::isnan(other)) ||
               std::bit_cast<std::uint64_t>(*real) == std::bit_cast<std::uint64_t>(other);
    }
    if (const auto* array = a.as<PropertyValue::Array>()) {
        return std::ranges::equal(*array, *b.as<PropertyValue::Array>(), sameValue);
    }
    if (const auto* dictionary = a.as<PropertyValue::Dictionary>()) {
        return std::ranges::equal(*dictionary, *b.as<PropertyValue::Dictionary>(), sameEntry);
    }
    return a == b;
}

} // namespace

void check(std::span<const std::uint8_t>, std::string_view text) {
    const auto decoded = PropertyListCoding::decodeDictionary(text);
    if (!decoded) {
        return;
    }
    PropertyValue::Dictionary stored;
    for (const auto& [key, value] : *decoded) {
        try {
            stored.insert_or_assign(key, PropertyListCoding::storableForm(key, value));
        } catch (const std::invalid_argument& refusal) {
            require(std::strlen(refusal.what()) > 0, "a value that cannot be stored is refused with a reason");
        }
    }
    const auto reread = PropertyListCoding::decodeDictionary(PropertyListCoding::encodeXml(stored));
    require(reread.has_value(), "what the app writes it reads back");
    require(std::ranges::equal(*reread, stored, sameEntry), "what the app writes reads back unchanged");
}

} // namespace staywake::fuzz
