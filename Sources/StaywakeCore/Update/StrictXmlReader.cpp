#include "StaywakeCore/Update/StrictXmlReader.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

namespace staywake {

const std::string* XmlElement::attribute(std::string_view uri, std::string_view local) const {
    for (const auto& attribute : attributes) {
        if (attribute.namespaceUri == uri && attribute.name == local) {
            return &attribute.value;
        }
    }
    return nullptr;
}

const XmlElement* XmlElement::child(std::string_view uri, std::string_view local) const {
    for (const auto& element : children) {
        if (element.namespaceUri == uri && element.name == local) {
            return &element;
        }
    }
    return nullptr;
}

namespace {

constexpr std::string_view xmlNamespace = "http://www.w3.org/XML/1998/namespace";

struct Failure {
    std::string reason;
};

struct Binding {
    std::string prefix;
    std::string uri;
};

bool isNameStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

bool isNameChar(unsigned char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

/// Whether `text` is well-formed UTF-8 without overlong forms or surrogates.
bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

class Reader {
public:
    Reader(std::string_view text, const StrictXmlReader::Limits& limits) : text_(text), limits_(limits) {}

    XmlElement document() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
            position_ = 3;
        }
        if (lookingAt("<?xml") && position_ + 5 < text_.size() && isSpace(text_[position_ + 5])) {
            skipPast("?>", "the XML declaration");
        }
        skipMisc();
        if (lookingAt("<!DOCTYPE")) {
            fail("a document type declaration is not accepted");
        }
        if (!lookingAt("<")) {
            fail(atEnd() ? "the document has no root element" : "text before the root element");
        }
        std::vector<Binding> bindings;
        XmlElement root = element(bindings, 1);
        skipMisc();
        if (!atEnd()) {
            fail("content after the root element");
        }
        return root;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        const auto line =
            1 + std::count(text_.begin(),
                           text_.begin() + static_cast<std::ptrdiff_t>(std::min(position_, text_.size())), '\n');
        throw Failure{"line " + std::to_string(line) + ": " + what};
    }

    bool atEnd() const { return position_ >= text_.size(); }
    bool lookingAt(std::string_view what) const { return text_.substr(position_, what.size()) == what; }

    void expect(std::string_view what, const char* where) {
        if (!lookingAt(what)) {
            fail(atEnd() ? std::string("the document ends inside ") + where
                         : "expected \"" + std::string(what) + "\" in " + where);
        }
        position_ += what.size();
    }

    void skipSpace() {
        while (!atEnd() && isSpace(text_[position_])) {
            ++position_;
        }
    }

    void skipPast(std::string_view end, const char* what) {
        const auto found = text_.find(end, position_);
        if (found == std::string_view::npos) {
            fail(std::string("the document ends inside ") + what);
        }
        position_ = found + end.size();
    }

    /// Whitespace, comments and processing instructions outside the root.
    void skipMisc() {
        while (true) {
            skipSpace();
            if (lookingAt("<!--")) {
                skipPast("-->", "a comment");
            } else if (lookingAt("<?")) {
                skipPast("?>", "a processing instruction");
            } else {
                return;
            }
        }
    }

    std::string_view name(const char* what) {
        const auto start = position_;
        if (atEnd() || !isNameStart(static_cast<unsigned char>(text_[position_]))) {
            fail(atEnd() ? std::string("the document ends before ") + what : std::string("expected ") + what);
        }
        while (!atEnd() && isNameChar(static_cast<unsigned char>(text_[position_]))) {
            ++position_;
        }
        return text_.substr(start, position_ - start);
    }

    /// Decodes one reference after its "&".
    void reference(std::string& out) {
        const auto end = text_.find(';', position_);
        if (end == std::string_view::npos || end - position_ > 10) {
            fail("an unterminated entity reference");
        }
        const auto body = text_.substr(position_, end - position_);
        position_ = end + 1;
        static constexpr std::pair<std::string_view, char> predefined[] = {
            {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
        for (const auto& [entity, character] : predefined) {
            if (body == entity) {
                out += character;
                return;
            }
        }
        if (body.size() < 2 || body[0] != '#') {
            fail("the entity \"" + std::string(body) + "\" is not defined (no entities are)");
        }
        const bool hex = body[1] == 'x';
        const auto digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) {
            fail("an empty character reference");
        }
        std::uint32_t code = 0;
        for (const char c : digits) {
            std::uint32_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<std::uint32_t>(c - '0');
            } else if (hex && c >= 'a' && c <= 'f') {
                digit = static_cast<std::uint32_t>(c - 'a' + 10);
            } else if (hex && c >= 'A' && c <= 'F') {
                digit = static_cast<std::uint32_t>(c - 'A' + 10);
            } else {
                fail("a malformed character reference");
            }
            code = code * (hex ? 16 : 10) + digit;
            if (code > 0x10FFFF) {
                fail("a character reference beyond Unicode");
            }
        }
        if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) ||
            (code < 0x20 && code != '\t' && code != '\n' && code != '\r')) {
            fail("a character reference to a character XML does not allow");
        }
        appendUtf8(out, code);
    }

    std::string attributeValue() {
        if (atEnd() || (text_[position_] != '"' && text_[position_] != '\'')) {
            fail("an attribute value without quotes");
        }
        const char quote = text_[position_++];
        std::string value;
        while (true) {
            if (atEnd()) {
                fail("the document ends inside an attribute value");
            }
            const char c = text_[position_++];
            if (c == quote) {
                return value;
            }
            if (c == '<') {
                fail("\"<\" inside an attribute value");
            }
            if (c == '&') {
                reference(value);
            } else {
                value += isSpace(c) ? ' ' : c;
            }
        }
    }

    static std::pair<std::string_view, std::string_view> split(std::string_view qualified) {
        const auto colon = qualified.find(':');
        if (colon == std::string_view::npos) {
            return {{}, qualified};
        }
        return {qualified.substr(0, colon), qualified.substr(colon + 1)};
    }

    std::string resolve(std::string_view prefix, const std::vector<Binding>& bindings, bool isElement) {
        if (prefix == "xml") {
            return std::string(xmlNamespace);
        }
        if (prefix.empty() && !isElement) {
            return {};
        }
        for (auto binding = bindings.rbegin(); binding != bindings.rend(); ++binding) {
            if (binding->prefix == prefix) {
                return binding->uri;
            }
        }
        if (prefix.empty()) {
            return {};
        }
        fail("the prefix \"" + std::string(prefix) + "\" is not bound to a namespace");
    }

    XmlElement element(std::vector<Binding>& bindings, std::size_t depth) {
        if (depth > limits_.depth) {
            fail("elements nest deeper than " + std::to_string(limits_.depth) + " levels");
        }
        if (++elements_ > limits_.elements) {
            fail("more than " + std::to_string(limits_.elements) + " elements");
        }
        expect("<", "an element");
        const auto qualified = name("an element name");
        std::vector<std::pair<std::string_view, std::string>> raw;
        const auto scope = bindings.size();
        bool empty = false;
        while (true) {
            const auto before = position_;
            skipSpace();
            if (lookingAt("/>")) {
                position_ += 2;
                empty = true;
                break;
            }
            if (lookingAt(">")) {
                ++position_;
                break;
            }
            if (position_ == before) {
                fail(atEnd() ? "the document ends inside a start tag" : "a malformed start tag");
            }
            const auto attributeName = name("an attribute name");
            skipSpace();
            expect("=", "an attribute");
            skipSpace();
            auto value = attributeValue();
            for (const auto& [seen, _] : raw) {
                if (seen == attributeName) {
                    fail("the attribute \"" + std::string(attributeName) + "\" appears twice");
                }
            }
            if (raw.size() >= limits_.attributesPerElement) {
                fail("too many attributes on one element");
            }
            if (attributeName == "xmlns") {
                bindings.push_back({"", value});
            } else if (attributeName.substr(0, 6) == "xmlns:") {
                bindings.push_back({std::string(attributeName.substr(6)), value});
            }
            raw.emplace_back(attributeName, std::move(value));
        }

        XmlElement result;
        const auto [prefix, local] = split(qualified);
        result.namespaceUri = resolve(prefix, bindings, true);
        result.name = std::string(local);
        for (auto& [attributeName, value] : raw) {
            if (attributeName == "xmlns" || attributeName.substr(0, 6) == "xmlns:") {
                continue;
            }
            const auto [attributePrefix, attributeLocal] = split(attributeName);
            result.attributes.push_back(
                {resolve(attributePrefix, bindings, false), std::string(attributeLocal), std::move(value)});
        }
        if (!empty) {
            content(result, bindings, depth);
            expect("</", "an element");
            if (name("an end tag's name") != qualified) {
                fail("the end tag does not match <" + std::string(qualified) + ">");
            }
            skipSpace();
            expect(">", "an end tag");
        }
        bindings.resize(scope);
        return result;
    }

    void content(XmlElement& parent, std::vector<Binding>& bindings, std::size_t depth) {
        while (true) {
            if (atEnd()) {
                fail("the document ends inside <" + parent.name + ">");
            }
            if (lookingAt("</")) {
                return;
            }
            if (lookingAt("<!--")) {
                skipPast("-->", "a comment");
            } else if (lookingAt("<![CDATA[")) {
                position_ += 9;
                const auto end = text_.find("]]>", position_);
                if (end == std::string_view::npos) {
                    fail("the document ends inside a CDATA section");
                }
                parent.text += text_.substr(position_, end - position_);
                position_ = end + 3;
            } else if (lookingAt("<!")) {
                fail("a declaration inside an element");
            } else if (lookingAt("<?")) {
                skipPast("?>", "a processing instruction");
            } else if (lookingAt("<")) {
                parent.children.push_back(element(bindings, depth + 1));
            } else if (lookingAt("&")) {
                ++position_;
                reference(parent.text);
            } else {
                const auto end = text_.find_first_of("<&", position_);
                const auto stop = end == std::string_view::npos ? text_.size() : end;
                parent.text += text_.substr(position_, stop - position_);
                position_ = stop;
            }
        }
    }

    std::string_view text_;
    const StrictXmlReader::Limits& limits_;
    std::size_t position_ = 0;
    std::size_t elements_ = 0;
};

} // namespace

std::variant<XmlElement, StrictXmlReader::Error> StrictXmlReader::read(std::string_view document,
                                                                       const Limits& limits) {
    if (document.size() > limits.bytes) {
        return Error{"the document is larger than " + std::to_string(limits.bytes / 1024) + " KiB"};
    }
    if (!isUtf8(document)) {
        return Error{"the document is not UTF-8"};
    }
    if (document.find('\0') != std::string_view::npos) {
        return Error{"the document contains a NUL character"};
    }
    try {
        return Reader(document, limits).document();
    } catch (const Failure& failure) {
        return Error{failure.reason};
    }
}

} // namespace staywake
