#pragma once

#include <string>
#include <system_error>

namespace staywake {

/// The process launcher could not start a program (no such executable, no
/// permission, no memory, ...). Its code is the launcher's errno; what() reads
/// "could not launch /usr/bin/pmset: No such file or directory".
class CommandLaunchError : public std::system_error {
public:
    CommandLaunchError(const std::string& path, int errorNumber);

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace staywake
