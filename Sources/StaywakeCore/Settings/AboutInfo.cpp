#include "StaywakeCore/Settings/AboutInfo.h"

namespace staywake {

std::optional<AboutInfo> AboutInfo::fromInfoDictionary(const std::optional<PropertyValue::Dictionary>& info) {
    if (!info) {
        return std::nullopt;
    }
    const auto text = [&](const char* key) -> const std::string* {
        const auto entry = info->find(key);
        return entry == info->end() ? nullptr : entry->second.as<std::string>();
    };
    const std::string* version = text("CFBundleShortVersionString");
    if (version == nullptr || version->empty()) {
        return std::nullopt;
    }
    const std::string* build = text("CFBundleVersion");
    return AboutInfo{*version, build != nullptr ? *build : std::string()};
}

std::string AboutInfo::formattedVersion() const {
    if (build.empty() || build == version) {
        return version;
    }
    return version + " (" + build + ")";
}

} // namespace staywake
