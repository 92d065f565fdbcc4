#include "StaywakeCore/LidHelper/LidHelperService.h"

#include "StaywakeCore/Identity/CodeRequirement.h"

namespace staywake::LidHelperService {

namespace {

bool isAsciiLetterOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::optional<std::string> versionText(const PropertyValue::Dictionary& info, const std::string& key) {
    const auto found = info.find(key);
    const auto* text = found == info.end() ? nullptr : found->second.as<std::string>();
    if (text == nullptr || !isVersion(*text)) {
        return std::nullopt;
    }
    return *text;
}

} // namespace

PropertyValue::Dictionary launchdPlist() {
    return PropertyValue::Dictionary{
        {"Label", std::string(label)},
        {"BundleProgram", std::string(bundleProgram)},
        {"MachServices", PropertyValue::Dictionary{{std::string(label), true}}},
        {"AssociatedBundleIdentifiers", PropertyValue::Array{std::string(appIdentifier)}},
        {"RunAtLoad", true},
        {"KeepAlive", true},
    };
}

std::optional<std::string> codeRequirement(std::string_view identifier,
                                           const std::optional<std::string>& teamIdentifier) {
    if (!teamIdentifier || !CodeRequirement::isTeamIdentifier(*teamIdentifier) ||
        !CodeRequirement::isIdentifier(identifier)) {
        return std::nullopt;
    }
    return CodeRequirement{std::string(identifier), *teamIdentifier}.text();
}

std::string startLine(const std::optional<std::string>& version, const std::optional<std::string>& executablePath,
                      const std::optional<std::string>& launchedPath,
                      const std::optional<std::string>& codeDirectoryHash) {
    std::string line = "helper starting: Staywake ";
    line += version.value_or("version unknown");
    line += ", cdhash ";
    line += codeDirectoryHash.value_or("unknown");
    line += ", from ";
    line += executablePath.value_or("a path that could not be read");
    if (launchedPath && (!executablePath || *launchedPath != *executablePath)) {
        line += ", started as ";
        line += *launchedPath;
    }
    return line;
}

std::optional<std::string> bundleVersion(const PropertyValue::Dictionary& info) {
    const auto shortVersion = versionText(info, "CFBundleShortVersionString");
    const auto build = versionText(info, "CFBundleVersion");
    if (!shortVersion || !build) {
        return std::nullopt;
    }
    return *shortVersion + " (" + *build + ")";
}

bool isVersion(std::string_view text) {
    if (text.empty() || text.size() > 64) {
        return false;
    }
    for (const char c : text) {
        if (!isAsciiLetterOrDigit(c) && c != '.' && c != '-' && c != '_') {
            return false;
        }
    }
    return true;
}

} // namespace staywake::LidHelperService
