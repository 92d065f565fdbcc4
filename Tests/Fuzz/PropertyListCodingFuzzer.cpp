// The settings file, whole, as the app reads it: XML or binary, written by
// this app, another version of it, or anything else. What decodes, once in the
// form a property list stores, is written and read back unchanged; a value
// that cannot be stored is refused with a reason.

#include "FuzzCheck.h"

#include "StaywakeLinux/Defaults/PropertyListCoding.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <variant>

using staywake::PropertyListCoding;
using staywake::PropertyValue;
using staywake::fuzz::require;

namespace {

bool sameReal(double a, double b) {
    // Every not-a-number is the same value to a reader.
    return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool sameValue(const PropertyValue& a, const PropertyValue& b);

bool sameDictionary(const PropertyValue::Dictionary& a, const PropertyValue::Dictionary& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (auto left = a.begin(), right = b.begin(); left != a.end(); ++left, ++right) {
        if (left->first != right->first || !sameValue(left->second, right->second)) {
            return false;
        }
    }
    return true;
}

bool sameValue(const PropertyValue& a, const PropertyValue& b) {
    if (a.storage().index() != b.storage().index()) {
        return false;
    }
    if (const auto* real = a.as<double>()) {
        return sameReal(*real, *b.as<double>());
    }
    if (const auto* array = a.as<PropertyValue::Array>()) {
        const auto& other = *b.as<PropertyValue::Array>();
        return std::equal(array->begin(), array->end(), other.begin(), other.end(), sameValue);
    }
    if (const auto* dictionary = a.as<PropertyValue::Dictionary>()) {
        return sameDictionary(*dictionary, *b.as<PropertyValue::Dictionary>());
    }
    return a == b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto decoded =
        PropertyListCoding::decodeDictionary(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!decoded) {
        return 0;
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
    require(sameDictionary(*reread, stored), "what the app writes reads back unchanged");
    return 0;
}
