#include "StaywakeLinux/Identity/ProcessExecutable.h"

#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace staywake {

namespace {

std::optional<std::string> presentText(const char* text) {
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    return std::string(text);
}

} // namespace

std::optional<std::string> ProcessExecutable::path() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    // A path that fills the buffer may have been cut short.
    if (length < 1 || static_cast<std::size_t>(length) >= buffer.size()) {
        return std::nullopt;
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::optional<LidHelperFileWatch::File> ProcessExecutable::runningExecutableFile() {
    struct stat status {};
    if (::stat("/proc/self/exe", &status) != 0) {
        return std::nullopt;
    }
    LidHelperFileWatch::File file;
    file.device = status.st_dev;
    file.inode = status.st_ino;
    return file;
}

std::optional<std::string> ProcessExecutable::launchedPath(const std::optional<std::string>& processPath) {
    const auto execFn = ::getauxval(AT_EXECFN);
    const auto kernelExecPath = execFn == 0 ? std::nullopt : presentText(reinterpret_cast<const char*>(execFn));
    // glibc keeps the loader's argv[0] for the program.
    return LidHelperFileWatch::launchedPath(kernelExecPath, presentText(program_invocation_name), processPath);
}

} // namespace staywake
