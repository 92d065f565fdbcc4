#include "pmset/PmsetRoot.h"

#include "pmset/PmsetToolError.h"

#include <system_error>

namespace staywake {

PmsetRoot PmsetRoot::fromOverride(const char* value) {
    if (value == nullptr || *value == '\0') {
        return PmsetRoot(std::nullopt);
    }
    const std::filesystem::path root(value);
    std::error_code error;
    if (!root.is_absolute() || !std::filesystem::is_directory(root, error)) {
        throw PmsetToolError(std::string(overrideVariable) + " must name an existing directory by its absolute path, not \"" +
                             value + "\"");
    }
    return PmsetRoot(root.lexically_normal());
}

std::filesystem::path PmsetRoot::path(const std::string& absolute) const {
    if (!overridden_) {
        return absolute;
    }
    return *overridden_ / std::filesystem::path(absolute).relative_path();
}

std::vector<std::string> PmsetRoot::systemctlOptions() const {
    if (!overridden_) {
        return {};
    }
    return {"--root=" + overridden_->string()};
}

} // namespace staywake
