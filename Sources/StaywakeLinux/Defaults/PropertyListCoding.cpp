#include "StaywakeLinux/Defaults/PropertyListCoding.h"

#include "StaywakeCore/Support/RepairedUtf8.h"

#include <plist/plist.h>

#include <algorithm>
#include <charconv>
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
    return text.find('\0') == std::string::npos && isWellFormedUtf8(text);
}

// libplist's XML reader is lenient where a settings file must not be: it
// reads <real>1.8e9xyz</real> as 1.8e9, <real>17e</real> as 17 and
// <integer>abc</integer> as 0, and drops a <key> that has no value. A damaged
// file would then restore, say, a made-up session deadline. So an XML
// property list is checked here first, strictly, and anything this check
// refuses counts as no property list at all.
class StrictXmlCheck {
public:
    explicit StrictXmlCheck(std::string_view xml) : rest_(xml) {}

    bool passes() {
        if (!isWellFormedUtf8(rest_)) {
            return false;
        }
        skip("\xEF\xBB\xBF");
        skipMisc();
        if (skip("<?xml")) {
            if (!skipPast("?>")) {
                return false;
            }
            skipMisc();
        }
        if (skip("<!DOCTYPE")) {
            if (!skipPast(">")) {
                return false;
            }
            skipMisc();
        }
        const auto root = openTag();
        if (!root || root->name != "plist" || root->empty) {
            return false;
        }
        skipMisc();
        if (!value(openTag())) {
            return false;
        }
        skipMisc();
        if (!closeTag("plist")) {
            return false;
        }
        skipMisc();
        return rest_.empty();
    }

private:
    struct Tag {
        std::string_view name;
        bool empty; // <name/>
    };

    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    bool skip(std::string_view text) {
        if (!rest_.starts_with(text)) {
            return false;
        }
        rest_.remove_prefix(text.size());
        return true;
    }
    bool skipPast(std::string_view end) {
        const auto found = rest_.find(end);
        if (found == std::string_view::npos) {
            return false;
        }
        rest_.remove_prefix(found + end.size());
        return true;
    }
    // White space and comments.
    void skipMisc() {
        while (true) {
            while (!rest_.empty() && isSpace(rest_.front())) {
                rest_.remove_prefix(1);
            }
            if (!rest_.starts_with("<!--") || !skipPast("-->")) {
                return;
            }
        }
    }

    // An opening or empty tag; attributes are allowed on <plist> only.
    std::optional<Tag> openTag() {
        if (rest_.size() < 2 || rest_[0] != '<' || rest_[1] == '/' || rest_[1] == '!' || rest_[1] == '?') {
            return std::nullopt;
        }
        const auto end = rest_.find('>');
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        std::string_view inside = rest_.substr(1, end - 1);
        rest_.remove_prefix(end + 1);
        Tag tag{inside, false};
        if (tag.name.ends_with('/')) {
            tag.empty = true;
            tag.name.remove_suffix(1);
        }
        const auto space = tag.name.find_first_of(" \t\r\n");
        if (space != std::string_view::npos) {
            if (tag.name.substr(0, space) != "plist") {
                return std::nullopt;
            }
            tag.name = tag.name.substr(0, space);
        }
        return tag;
    }
    bool closeTag(std::string_view name) { return skip("</") && skip(name) && skip(">"); }

    // Character data up to the closing tag: entities must be well formed and
    // CDATA sections are taken as they are.
    std::optional<std::string_view> text(std::string_view name) {
        const std::string_view start = rest_;
        while (!rest_.empty() && !rest_.starts_with("</")) {
            if (skip("<![CDATA[")) {
                if (!skipPast("]]>")) {
                    return std::nullopt;
                }
            } else if (rest_.front() == '<') {
                return std::nullopt;
            } else if (rest_.front() == '&') {
                const auto end = rest_.find(';');
                if (end == std::string_view::npos || !isEntity(rest_.substr(1, end - 1))) {
                    return std::nullopt;
                }
                rest_.remove_prefix(end + 1);
            } else {
                rest_.remove_prefix(1);
            }
        }
        const std::string_view content = start.substr(0, start.size() - rest_.size());
        if (!closeTag(name)) {
            return std::nullopt;
        }
        return content;
    }

    static bool isEntity(std::string_view name) {
        if (name == "lt" || name == "gt" || name == "amp" || name == "quot" || name == "apos") {
            return true;
        }
        if (!name.starts_with('#') || name.size() < 2) {
            return false;
        }
        const bool hex = name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        return !digits.empty() && std::all_of(digits.begin(), digits.end(), [hex](char c) {
            return isDigit(c) || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
        });
    }

    static std::string_view trimmed(std::string_view text) {
        while (!text.empty() && isSpace(text.front())) {
            text.remove_prefix(1);
        }
        while (!text.empty() && isSpace(text.back())) {
            text.remove_suffix(1);
        }
        return text;
    }
    static std::size_t digitCount(std::string_view text) {
        std::size_t count = 0;
        while (count < text.size() && isDigit(text[count])) {
            ++count;
        }
        return count;
    }

    // A decimal integer that fits 64 signed bits, as the values are read.
    static bool isInteger(std::string_view text) {
        if (text.starts_with('+')) {
            text.remove_prefix(1);
            if (text.starts_with('-')) {
                return false;
            }
        }
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc() && end == text.data() + text.size();
    }

    // [+-] digits [. digits] [e [+-] digits], at least one digit before the
    // exponent, or the words libplist writes for not-a-number and infinity.
    static bool isReal(std::string_view text) {
        if (text == "nan" || text == "+infinity" || text == "-infinity" || text == "infinity" || text == "+inf" ||
            text == "-inf" || text == "inf") {
            return true;
        }
        if (text.starts_with('+') || text.starts_with('-')) {
            text.remove_prefix(1);
        }
        std::size_t digits = digitCount(text);
        text.remove_prefix(digits);
        if (text.starts_with('.')) {
            text.remove_prefix(1);
            const std::size_t fraction = digitCount(text);
            text.remove_prefix(fraction);
            digits += fraction;
        }
        if (digits == 0) {
            return false;
        }
        if (text.starts_with('e') || text.starts_with('E')) {
            text.remove_prefix(1);
            if (text.starts_with('+') || text.starts_with('-')) {
                text.remove_prefix(1);
            }
            const std::size_t exponent = digitCount(text);
            if (exponent == 0) {
                return false;
            }
            text.remove_prefix(exponent);
        }
        return text.empty();
    }

    // YYYY-MM-DDTHH:MM:SSZ
    static bool isDate(std::string_view text) {
        constexpr std::string_view shape = "dddd-dd-ddTdd:dd:ddZ";
        if (text.size() != shape.size()) {
            return false;
        }
        for (std::size_t i = 0; i < shape.size(); ++i) {
            if (shape[i] == 'd' ? !isDigit(text[i]) : text[i] != shape[i]) {
                return false;
            }
        }
        return true;
    }

    static bool isBase64(std::string_view text) {
        return std::all_of(text.begin(), text.end(), [](char c) {
            return isSpace(c) || isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '+' ||
                   c == '/' || c == '=';
        });
    }

    bool value(const std::optional<Tag>& tag) {
        if (!tag || ++depth_ > maximumDepth) {
            return false;
        }
        const bool valid = valueBody(*tag);
        --depth_;
        return valid;
    }

    bool valueBody(const Tag& tag) {
        const std::string_view name = tag.name;
        if (name == "true" || name == "false") {
            return tag.empty || closeTag(name);
        }
        if (name == "array" || name == "dict") {
            return tag.empty || elements(name == "dict", name);
        }
        if (tag.empty) {
            return name == "string" || name == "data";
        }
        if (name != "string" && name != "integer" && name != "real" && name != "date" && name != "data") {
            return false;
        }
        const auto content = text(name);
        if (!content) {
            return false;
        }
        if (name == "integer") {
            return isInteger(trimmed(*content));
        }
        if (name == "real") {
            return isReal(trimmed(*content));
        }
        if (name == "date") {
            return isDate(trimmed(*content));
        }
        return name != "data" || isBase64(*content);
    }

    // The children of an array, or of a dictionary as key and value pairs.
    bool elements(bool keyed, std::string_view name) {
        while (true) {
            skipMisc();
            if (rest_.starts_with("</")) {
                return closeTag(name);
            }
            if (keyed) {
                const auto key = openTag();
                if (!key || key->name != "key" || key->empty || !text("key")) {
                    return false;
                }
                skipMisc();
            }
            if (!value(openTag())) {
                return false;
            }
        }
    }

    // Deeper nesting is no settings file; the limit keeps the check's own
    // stack small.
    static constexpr int maximumDepth = 64;
    std::string_view rest_;
    int depth_ = 0;
};

bool isBinaryPropertyList(std::string_view bytes) { return bytes.starts_with("bplist00"); }

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
    if (!isBinaryPropertyList(bytes) && !StrictXmlCheck(bytes).passes()) {
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
        throw std::invalid_argument("the value for \"" + repairedUtf8(key) +
                                    "\" cannot be kept in a property list: " + why);
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
