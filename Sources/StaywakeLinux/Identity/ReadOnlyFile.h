#pragma once

#include "StaywakeLinux/Socket/UniqueFd.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace staywake {

/// A file opened for reading the program files the identity checks inspect.
/// Opened without blocking (a FIFO planted at a checked path cannot hang the
/// check) and close-on-exec; closed with the object.
class ReadOnlyFile {
public:
    /// Opens the file at a path, following links; nothing when it cannot be opened.
    static std::optional<ReadOnlyFile> open(const std::string& path);
    /// A close-on-exec copy of a descriptor already open (a program's
    /// standard input); nothing when it cannot be copied.
    static std::optional<ReadOnlyFile> duplicate(int descriptor);

    int descriptor() const { return descriptor_.get(); }
    std::optional<struct stat> status() const;
    /// Fills the whole buffer from the offset; false when the file ends first or a read fails.
    bool readAt(std::uint64_t offset, std::span<std::byte> into) const;
    /// The absolute path the kernel has for the open file, as /proc/self/fd shows it.
    std::optional<std::string> resolvedPath() const;

private:
    explicit ReadOnlyFile(int descriptor) : descriptor_(descriptor) {}

    UniqueFd descriptor_;
};

} // namespace staywake
