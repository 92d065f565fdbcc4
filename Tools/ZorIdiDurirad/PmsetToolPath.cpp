#include "ZorIdiDurirad/PmsetToolPath.h"

#include <filesystem>
#include <system_error>

namespace staywake {

std::string pmsetPathBeside(const std::string& executablePath) {
    return (std::filesystem::path(executablePath).parent_path() / "pmset").string();
}

std::string defaultPmsetPath() {
#if defined(__linux__)
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        throw std::system_error(error, "could not name the running executable");
    }
    return pmsetPathBeside(executable.string());
#else
    return "/usr/bin/pmset";
#endif
}

} // namespace staywake
