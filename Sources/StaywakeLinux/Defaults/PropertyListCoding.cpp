#include "StaywakeLinux/Defaults/PropertyListCoding.h"

#include "StaywakeCore/Support/RepairedUtf8.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <variant>

namespace staywake {

namespace {

// Property-list dates count from 2001-01-01 00:00:00 UTC.
constexpr double referenceDate = 978307200.0;

struct NodeFree {
    void operator()(void* node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeFree>;

struct MallocFree {
    void operator()(void* pointer) const { std::free(pointer); }
};

// libplist aborts the process when asked for a key that holds a NUL character,
// which a binary property list can carry but no file this app wrote does. The
// key's XML form shows such a character as it is.
bool holdsNulCharacter(plist_t key) {
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(key, &xml, &length);
    const std::unique_ptr<char, MallocFree> owner(xml);
    return xml == nullptr || std::memchr(xml, '\0', length) != nullptr;
}

bool isStorableText(const std::string& text) {
    return text.find('\0') == std::string::npos && repairedUtf8(text) == text;
}

plist_t encode(const PropertyValue& value);

plist_t encodeDictionary(const PropertyValue::Dictionary& dictionary) {
    plist_t node = plist_new_dict();
    for (const auto& [key, item] : dictionary) {
        plist_dict_set_item(node, key.c_str(), encode(item));
    }
    return node;
}

plist_t encode(const PropertyValue& value) {
    return std::visit(
        [](const auto& item) -> plist_t {
            using T = std::decay_t<decltype(item)>;
            if constexpr (std::is_same_v<T, bool>) {
                return plist_new_bool(item ? 1 : 0);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                // libplist keeps every integer as 64 unsigned bits and writes
                // them back signed; decode() reads them as signed again.
                return plist_new_uint(static_cast<std::uint64_t>(item));
            } else if constexpr (std::is_same_v<T, double>) {
                return plist_new_real(item);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return plist_new_string(item.c_str());
            } else if constexpr (std::is_same_v<T, Date>) {
                const double seconds = item.secondsSince1970 - referenceDate;
                return plist_new_date(static_cast<std::int32_t>(seconds), 0);
            } else if constexpr (std::is_same_v<T, PropertyData>) {
                return plist_new_data(reinterpret_cast<const char*>(item.bytes.data()), item.bytes.size());
            } else if constexpr (std::is_same_v<T, PropertyValue::Array>) {
                plist_t node = plist_new_array();
                for (const auto& element : item) {
                    plist_array_append_item(node, encode(element));
                }
                return node;
            } else {
                return encodeDictionary(item);
            }
        },
        value.storage());
}

// Thrown past the nesting limit: the whole document is refused.
struct NestedTooDeep {};

std::optional<PropertyValue> decode(plist_t node, int depth);

PropertyValue::Dictionary decodeDictionaryNode(plist_t node, int depth) {
    if (depth > PropertyListCoding::deepestNesting) {
        throw NestedTooDeep{};
    }
    PropertyValue::Dictionary dictionary;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    const std::unique_ptr<void, MallocFree> iteratorOwner(iterator);
    while (true) {
        plist_t item = nullptr;
        plist_dict_next_item(node, iterator, nullptr, &item);
        if (item == nullptr) {
            break;
        }
        const plist_t keyNode = plist_dict_item_get_key(item);
        if (holdsNulCharacter(keyNode)) {
            continue; // no key the app uses
        }
        char* rawKey = nullptr;
        plist_get_key_val(keyNode, &rawKey);
        const std::unique_ptr<char, MallocFree> key(rawKey);
        if (auto value = decode(item, depth)) {
            dictionary.insert_or_assign(key ? std::string(key.get()) : std::string(), std::move(*value));
        }
    }
    return dictionary;
}

std::optional<PropertyValue> decode(plist_t node, int depth) {
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        return PropertyValue(flag != 0);
    }
    case PLIST_UINT: {
        std::uint64_t bits = 0;
        plist_get_uint_val(node, &bits);
        return PropertyValue(static_cast<std::int64_t>(bits));
    }
    case PLIST_REAL: {
        double real = 0;
        plist_get_real_val(node, &real);
        return PropertyValue(real);
    }
    case PLIST_STRING: {
        // Read with its length: libplist aborts when asked for a copy of a
        // text that holds a NUL character.
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return PropertyValue(text ? std::string(text, length) : std::string());
    }
    case PLIST_DATE: {
        std::int32_t seconds = 0;
        std::int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return PropertyValue(Date{referenceDate + seconds + microseconds / 1e6});
    }
    case PLIST_DATA: {
        char* raw = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        const std::unique_ptr<char, MallocFree> bytes(raw);
        const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes.get());
        return PropertyValue(PropertyData{{begin, begin + (bytes ? length : 0)}});
    }
    case PLIST_ARRAY: {
        if (depth >= PropertyListCoding::deepestNesting) {
            throw NestedTooDeep{};
        }
        PropertyValue::Array array;
        const std::uint32_t size = plist_array_get_size(node);
        for (std::uint32_t index = 0; index < size; ++index) {
            if (auto element = decode(plist_array_get_item(node, index), depth + 1)) {
                array.push_back(std::move(*element));
            }
        }
        return PropertyValue(std::move(array));
    }
    case PLIST_DICT:
        return PropertyValue(decodeDictionaryNode(node, depth + 1));
    default:
        return std::nullopt;
    }
}

} // namespace

std::string PropertyListCoding::encodeXml(const PropertyValue::Dictionary& dictionary) {
    const Node root(encodeDictionary(dictionary));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    const std::unique_ptr<char, MallocFree> owner(xml);
    return std::string(xml, length);
}

std::optional<PropertyValue::Dictionary> PropertyListCoding::decodeDictionary(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > largestDocument) {
        return std::nullopt;
    }
    plist_t parsed = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &parsed);
    const Node root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        return std::nullopt;
    }
    try {
        return decodeDictionaryNode(root.get(), 1);
    } catch (const NestedTooDeep&) {
        return std::nullopt;
    }
}

PropertyValue PropertyListCoding::storableForm(const std::string& key, const PropertyValue& value) {
    const auto refuse = [&key](const std::string& why) {
        throw std::invalid_argument("the value for \"" + repairedUtf8(key) + "\" cannot be kept in a property list: " +
                                    why);
    };
    if (!isStorableText(key)) {
        refuse("a key must be valid UTF-8 without NUL characters");
    }
    if (const auto* text = value.as<std::string>(); text && !isStorableText(*text)) {
        refuse("a text must be valid UTF-8 without NUL characters");
    }
    if (const auto* date = value.as<Date>()) {
        const double seconds = std::round(date->secondsSince1970);
        if (!std::isfinite(seconds) || seconds < earliestDate || seconds > latestDate) {
            refuse("the date lies outside 1932-12-13 to 2069-01-19");
        }
        return PropertyValue(Date{seconds});
    }
    if (const auto* array = value.as<PropertyValue::Array>()) {
        PropertyValue::Array stored;
        stored.reserve(array->size());
        for (const auto& element : *array) {
            stored.push_back(storableForm(key, element));
        }
        return PropertyValue(std::move(stored));
    }
    if (const auto* dictionary = value.as<PropertyValue::Dictionary>()) {
        PropertyValue::Dictionary stored;
        for (const auto& [innerKey, element] : *dictionary) {
            stored.insert_or_assign(innerKey, storableForm(innerKey, element));
        }
        return PropertyValue(std::move(stored));
    }
    return value;
}

} // namespace staywake
