#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace staywake::RelaunchAfterExit {

/// Leaves behind a detached process that starts `program` (with this
/// process's environment and no arguments) the moment this process has
/// ended, however it ends. It waits on a pidfd of this process, so neither a
/// poll loop nor a reused process id can start the program early; it runs in
/// a session of its own with only the standard descriptors, so it outlives
/// this process's process group and holds none of its connections. Absent when
/// the waiter is in place; otherwise why not.
std::optional<std::string> arrange(const std::filesystem::path& program);

} // namespace staywake::RelaunchAfterExit
