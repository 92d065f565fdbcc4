// Any bytes as the settings file: XML or binary, from this app, another version of it, or anything else.

#include "FuzzCheck.h"

#include "StaywakeLinux/Defaults/PropertyListCoding.h"

#include <stdexcept>

void staywake::fuzz::check(std::span<const std::uint8_t>, std::string_view text) {
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
    // A not-a-number equals nothing, itself included: such a file is only read back, not compared.
    const auto copy = stored;
    require(*reread == stored || copy != stored, "what the app writes reads back unchanged");
}
