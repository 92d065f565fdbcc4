#pragma once

#include "StaywakeCore/Identity/LidHelperFileWatch.h"

#include <optional>
#include <string>

namespace staywake {

/// Where the running program came from, as the replacement watch needs it.
class ProcessExecutable {
public:
    ProcessExecutable() = delete;

    /// The kernel's path of the running program (/proc/self/exe); links are
    /// resolved, and a replaced file reads with " (deleted)" appended.
    static std::optional<std::string> path();
    /// The file the process was started from; stat on /proc/self/exe reaches
    /// it even after another file took its path.
    static std::optional<LidHelperFileWatch::File> runningExecutableFile();
    /// The path the program was launched as, unresolved, so that the watch
    /// looks where the service manager will look: the kernel's exec path
    /// (AT_EXECFN), then argv[0] as the loader left it, then the given path;
    /// the first that is absolute.
    static std::optional<std::string> launchedPath(const std::optional<std::string>& processPath);
};

} // namespace staywake
