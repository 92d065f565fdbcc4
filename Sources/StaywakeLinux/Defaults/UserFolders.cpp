#include "StaywakeLinux/Defaults/UserFolders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace staywake::UserFolders {

std::optional<std::filesystem::path> home() {
    if (const char* variable = std::getenv("HOME"); variable != nullptr && *variable == '/') {
        return variable;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && *found->pw_dir == '/') {
        return found->pw_dir;
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> configHome() {
    const char* variable = std::getenv("XDG_CONFIG_HOME");
    return configHomeFor(variable ? std::optional<std::string>(variable) : std::nullopt, home());
}

std::optional<std::filesystem::path> configHomeFor(const std::optional<std::string>& xdgConfigHome,
                                                   const std::optional<std::filesystem::path>& home) {
    if (xdgConfigHome && xdgConfigHome->starts_with('/')) {
        return std::filesystem::path(*xdgConfigHome);
    }
    if (home && home->is_absolute()) {
        return *home / ".config";
    }
    return std::nullopt;
}

} // namespace staywake::UserFolders
