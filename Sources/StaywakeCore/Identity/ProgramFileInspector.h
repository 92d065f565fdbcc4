#pragma once

#include "StaywakeCore/Identity/LidHelperFileWatch.h"

#include <optional>
#include <string>

namespace staywake {

/// Reads what the replacement watch needs to know about a program file. Both
/// operations are free of shared state and may run on any thread; every
/// failure reads as nothing.
class ProgramFileInspector {
public:
    virtual ~ProgramFileInspector() = default;

    /// The identity of the regular file at a path (links followed); nothing
    /// for anything else or when it cannot be read.
    virtual std::optional<LidHelperFileWatch::Identity> identity(const std::string& path) const = 0;
    /// The code directory hash of the program at a path if that program is
    /// trusted and satisfies the requirement text; else nothing.
    virtual std::optional<std::string> codeDirectoryHash(const std::string& path,
                                                         const std::string& requirement) const = 0;
};

} // namespace staywake
