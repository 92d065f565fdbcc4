#include "StaywakeCore/Update/Appcast.h"

#include "StaywakeCore/Update/SoftwareVersion.h"
#include "StaywakeCore/Update/StrictXmlReader.h"

#include <charconv>

namespace staywake {

namespace {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

/// A Sparkle field given as an attribute of the enclosure or, as newer feeds
/// do, as an element of the item.
std::string sparkleField(const XmlElement& item, const XmlElement& enclosure, std::string_view name) {
    if (const auto* value = enclosure.attribute(Appcast::sparkleNamespace, name)) {
        return trimmed(*value);
    }
    if (const auto* element = item.child(Appcast::sparkleNamespace, name)) {
        return trimmed(element->text);
    }
    return {};
}

std::optional<std::string> childText(const XmlElement& item, std::string_view uri, std::string_view name) {
    if (const auto* element = item.child(uri, name)) {
        auto text = trimmed(element->text);
        if (!text.empty()) {
            return text;
        }
    }
    return std::nullopt;
}

/// The item, or why it cannot be used.
std::variant<AppcastItem, std::string> readItem(const XmlElement& element) {
    const auto* enclosure = element.child("", "enclosure");
    if (!enclosure) {
        return std::string("it has no enclosure");
    }
    AppcastItem item;
    item.title = childText(element, "", "title").value_or("");
    item.url = enclosure->attribute("", "url") ? trimmed(*enclosure->attribute("", "url")) : "";
    if (item.url.empty()) {
        return std::string("its enclosure has no url");
    }
    item.version = sparkleField(element, *enclosure, "version");
    if (item.version.empty()) {
        return std::string("it has no sparkle:version");
    }
    item.shortVersion = sparkleField(element, *enclosure, "shortVersionString");
    if (item.shortVersion.empty()) {
        item.shortVersion = item.version;
    }
    const std::string length =
        enclosure->attribute("", "length") ? trimmed(*enclosure->attribute("", "length")) : "";
    const auto [end, error] = std::from_chars(length.data(), length.data() + length.size(), item.length);
    if (length.empty() || error != std::errc{} || end != length.data() + length.size() || item.length == 0) {
        return "its enclosure's length \"" + length + "\" is not a positive whole number of bytes";
    }
    if (item.length > Appcast::lengthLimit) {
        return "its enclosure's length " + length + " is larger than any package accepted";
    }
    item.type = enclosure->attribute("", "type") ? trimmed(*enclosure->attribute("", "type")) : "";
    item.edSignature = sparkleField(element, *enclosure, "edSignature");
    item.minimumSystemVersion = childText(element, Appcast::sparkleNamespace, "minimumSystemVersion");
    item.releaseNotesLink = childText(element, Appcast::sparkleNamespace, "releaseNotesLink");
    item.description = childText(element, "", "description").value_or("");
    return item;
}

bool isNewer(const AppcastItem& item, std::string_view than) {
    return SoftwareVersion::compare(item.version, than) == std::strong_ordering::greater;
}

} // namespace

std::variant<Appcast, Appcast::Error> Appcast::parse(std::string_view feed) {
    if (feed.size() > sizeLimit) {
        return Error{"the feed is larger than " + std::to_string(sizeLimit / 1024) + " KiB"};
    }
    auto document = StrictXmlReader::read(feed);
    if (const auto* error = std::get_if<StrictXmlReader::Error>(&document)) {
        return Error{"the feed is not well-formed XML (" + error->reason + ")"};
    }
    const auto& root = std::get<XmlElement>(document);
    if (!root.namespaceUri.empty() || root.name != "rss") {
        return Error{"the feed is not an RSS document (its root is <" + root.name + ">)"};
    }
    const auto* channel = root.child("", "channel");
    if (!channel) {
        return Error{"the feed has no channel"};
    }
    Appcast appcast;
    std::size_t index = 0;
    for (const auto& element : channel->children) {
        if (!element.namespaceUri.empty() || element.name != "item") {
            continue;
        }
        ++index;
        auto item = readItem(element);
        if (auto* usable = std::get_if<AppcastItem>(&item)) {
            appcast.items.push_back(std::move(*usable));
        } else {
            appcast.skipped.push_back("item " + std::to_string(index) + ": " + std::get<std::string>(item));
        }
    }
    return appcast;
}

Appcast::Choice Appcast::newestApplicable(std::string_view currentVersion,
                                          const std::optional<std::string>& systemVersion,
                                          const std::optional<std::string>& skippedVersion) const {
    Choice choice;
    for (const auto& item : items) {
        if (!isNewer(item, currentVersion)) {
            continue;
        }
        if (skippedVersion &&
            SoftwareVersion::compare(item.version, *skippedVersion) != std::strong_ordering::greater) {
            continue;
        }
        const bool runsHere =
            !systemVersion || !item.minimumSystemVersion ||
            SoftwareVersion::compare(*systemVersion, *item.minimumSystemVersion) != std::strong_ordering::less;
        auto& slot = runsHere ? choice.update : choice.needsNewerSystem;
        if (!slot || isNewer(item, slot->version)) {
            slot = item;
        }
    }
    if (choice.needsNewerSystem && choice.update && !isNewer(*choice.needsNewerSystem, choice.update->version)) {
        choice.needsNewerSystem.reset();
    }
    return choice;
}

} // namespace staywake
