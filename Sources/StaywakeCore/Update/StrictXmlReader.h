#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace staywake {

struct XmlAttribute {
    std::string namespaceUri;
    std::string name;
    std::string value;
};

/// One element of a document read by StrictXmlReader, with its names resolved
/// to (namespace, local name).
struct XmlElement {
    std::string namespaceUri;
    std::string name;
    std::vector<XmlAttribute> attributes;
    /// The element's own character data and CDATA sections, joined; the text of
    /// its children is theirs.
    std::string text;
    std::vector<XmlElement> children;

    /// The attribute's value, or null.
    const std::string* attribute(std::string_view namespaceUri, std::string_view name) const;
    /// The first child with this name, or null.
    const XmlElement* child(std::string_view namespaceUri, std::string_view name) const;
};

/// A reader for documents from the network that only accepts what a plain
/// data feed needs: UTF-8, elements, attributes, character data, CDATA,
/// comments, processing instructions, namespaces, the five predefined entities
/// and character references. A document type declaration is refused outright,
/// so there are no entity definitions to expand and nothing external to load;
/// the size, the nesting and the number of elements are capped, so a hostile
/// document costs at most a bounded amount of memory and time.
class StrictXmlReader {
public:
    struct Limits {
        std::size_t bytes = 1024 * 1024;
        std::size_t depth = 32;
        std::size_t elements = 10000;
        std::size_t attributesPerElement = 64;
    };

    /// What was wrong and where ("line 3: ..."); never thrown.
    struct Error {
        std::string reason;
    };

    static std::variant<XmlElement, Error> read(std::string_view document, const Limits& limits);
    static std::variant<XmlElement, Error> read(std::string_view document) { return read(document, Limits{}); }
};

} // namespace staywake
