#include "StaywakeCore/Settings/FeedbackLink.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace staywake::FeedbackLink {

#ifndef STAYWAKE_FEEDBACK_FORM
#error "STAYWAKE_FEEDBACK_FORM is set by the core's CMakeLists.txt"
#endif
const std::string_view form = STAYWAKE_FEEDBACK_FORM;

namespace {

std::string percentEncoded(std::string_view value) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += hex[byte >> 4];
            encoded += hex[byte & 0xF];
        }
    }
    return encoded;
}

/// An os-release value: unquoted, or in single or double quotes, where a
/// backslash takes the next character literally (shell rules, which the file
/// follows).
std::string unquoted(std::string_view raw) {
    if (raw.empty() || (raw.front() != '"' && raw.front() != '\'')) {
        return std::string(raw);
    }
    const char quote = raw.front();
    std::string value;
    for (std::size_t i = 1; i < raw.size() && raw[i] != quote; ++i) {
        if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size()) {
            ++i;
        }
        value += raw[i];
    }
    return value;
}

std::optional<unsigned> decimal(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

/// "15.1.0" as 15.1; anything but three decimal parts stays as the system wrote it.
std::string shortenedVersion(const std::string& version) {
    std::vector<unsigned> parts;
    std::size_t start = 0;
    while (start <= version.size()) {
        const std::size_t dot = std::min(version.find('.', start), version.size());
        const auto part = decimal(std::string_view(version).substr(start, dot - start));
        if (!part) {
            return version;
        }
        parts.push_back(*part);
        start = dot + 1;
    }
    return parts.size() == 3 ? systemVersion(parts[0], parts[1], parts[2]) : version;
}

} // namespace

std::string url(const std::optional<std::string>& appVersion, const std::optional<std::string>& osVersion,
                const std::optional<std::string>& language, std::string_view page) {
    const std::size_t hostStart = page.find("://");
    const std::size_t pathStart = page.find('/', hostStart == std::string_view::npos ? 0 : hostStart + 3);
    std::string address(page.substr(0, pathStart));
    const std::string_view path = pathStart == std::string_view::npos ? "" : page.substr(pathStart);
    if (language && std::find(languages.begin(), languages.end(), *language) != languages.end()) {
        address += '/';
        address += *language;
    }
    address += path;

    char separator = '?';
    const auto addItem = [&](std::string_view name, const std::optional<std::string>& value) {
        if (value && !value->empty()) {
            address += separator;
            address += name;
            address += '=';
            address += percentEncoded(*value);
            separator = '&';
        }
    };
    addItem("app", appVersion);
    addItem("os", osVersion);
    return address;
}

std::string operatingSystem(std::string_view osRelease) {
    std::string id = "linux";
    std::string versionId;
    while (!osRelease.empty()) {
        const std::size_t end = std::min(osRelease.find('\n'), osRelease.size());
        const std::string_view line = osRelease.substr(0, end);
        osRelease.remove_prefix(std::min(end + 1, osRelease.size()));
        const std::size_t equals = line.find('=');
        if (line.starts_with('#') || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = line.substr(0, equals);
        std::string value = unquoted(line.substr(equals + 1));
        if (key == "ID" && !value.empty()) {
            id = std::move(value);
        } else if (key == "VERSION_ID") {
            versionId = std::move(value);
        }
    }
    return versionId.empty() ? id : id + "-" + shortenedVersion(versionId);
}

std::string systemVersion(unsigned major, unsigned minor, unsigned patch) {
    std::string text = std::to_string(major) + "." + std::to_string(minor);
    if (patch != 0) {
        text += "." + std::to_string(patch);
    }
    return text;
}

} // namespace staywake::FeedbackLink
