#include "StaywakeCore/LidHelper/LidHelperService.h"

#include "StaywakeCore/Identity/CodeRequirement.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <plist/plist.h>
#include <system_error>
#include <vector>

namespace staywake::LidHelperService {

namespace {

bool isAsciiLetterOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

struct PlistDeleter {
    void operator()(void* node) const { plist_free(node); }
};
using PlistPointer = std::unique_ptr<void, PlistDeleter>;

// Reads the whole file when it is a regular file within the size limit. One
// byte past the limit is asked for, so a file that grew after its size was
// looked at is still refused.
std::optional<std::string> readSmallRegularFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || error) {
        return std::nullopt;
    }
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > infoPlistSizeLimit) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string bytes(infoPlistSizeLimit + 1, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        return std::nullopt;
    }
    const auto count = static_cast<std::size_t>(file.gcount());
    if (count > infoPlistSizeLimit) {
        return std::nullopt;
    }
    bytes.resize(count);
    return bytes;
}

std::optional<std::string> versionText(plist_t dictionary, const char* key) {
    const plist_t node = plist_dict_get_item(dictionary, key);
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (text == nullptr) {
        return std::nullopt;
    }
    std::string value(text, length);
    if (!isVersion(value)) {
        return std::nullopt;
    }
    return value;
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

std::string startLine(const std::optional<std::string>& executablePath,
                      const std::optional<std::string>& launchedPath,
                      const std::optional<std::string>& codeDirectoryHash) {
    std::optional<std::string> version;
    if (executablePath) {
        version = bundleVersion(*executablePath);
    }
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

std::optional<std::string> bundleVersion(const std::string& aroundExecutable) {
    if (aroundExecutable.empty()) {
        return std::nullopt;
    }
    std::error_code error;
    const auto executable = std::filesystem::absolute(aroundExecutable, error);
    if (error) {
        return std::nullopt;
    }
    const auto bytes = readSmallRegularFile(executable.parent_path().parent_path() / "Info.plist");
    if (!bytes || bytes->empty()) {
        return std::nullopt;
    }
    plist_t parsed = nullptr;
    plist_from_memory(bytes->data(), static_cast<std::uint32_t>(bytes->size()), &parsed);
    const PlistPointer root(parsed);
    if (!root || plist_get_node_type(parsed) != PLIST_DICT) {
        return std::nullopt;
    }
    const auto shortVersion = versionText(parsed, "CFBundleShortVersionString");
    const auto build = versionText(parsed, "CFBundleVersion");
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
