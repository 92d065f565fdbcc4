#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace staywake {

/// A small file the pmset tool owns below /run: written whole or not at all
/// (a temporary file renamed into place), so logind never reads half a drop-in.
/// Failures throw SystemError.
class RuntimeFile {
public:
    explicit RuntimeFile(std::filesystem::path path) : path_(std::move(path)) {}

    const std::filesystem::path& path() const { return path_; }
    /// The contents, or nothing when there is no file (or no directory for it).
    std::optional<std::string> read() const;
    /// Writes the contents with mode 0644, making missing directories with
    /// mode 0755; false when the file already held exactly these contents.
    bool write(const std::string& contents) const;
    /// Removes the file; false when there was none.
    bool remove() const;

private:
    std::filesystem::path path_;
};

} // namespace staywake
