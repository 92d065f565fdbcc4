#include "StaywakeLinux/Bundle/BundleInfo.h"

#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Defaults/PropertyListCoding.h"
#include "StaywakeLinux/Socket/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace staywake {

namespace {

// The whole file when it is a regular file within the limit. Opened without
// blocking, so that a FIFO put in its place cannot hang the reader; one byte
// past the limit is asked for, so that a file that grew meanwhile is still
// refused.
std::optional<std::string> readSmallRegularFile(const std::filesystem::path& path) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat status {};
    if (!file || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::uintmax_t>(status.st_size) > BundleInfo::sizeLimit) {
        return std::nullopt;
    }
    std::string bytes(BundleInfo::sizeLimit + 1, '\0');
    std::size_t count = 0;
    while (count < bytes.size()) {
        const ssize_t read = ::read(file.get(), bytes.data() + count, bytes.size() - count);
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read < 0) {
            return std::nullopt;
        }
        if (read == 0) {
            break;
        }
        count += static_cast<std::size_t>(read);
    }
    if (count > BundleInfo::sizeLimit) {
        return std::nullopt;
    }
    bytes.resize(count);
    return bytes;
}

} // namespace

std::optional<PropertyValue::Dictionary> BundleInfo::around(const std::filesystem::path& program) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(program, error);
    if (program.empty() || error) {
        return std::nullopt;
    }
    const auto bytes = readSmallRegularFile(absolute.parent_path().parent_path() / "Info.plist");
    if (!bytes) {
        return std::nullopt;
    }
    return PropertyListCoding::decodeDictionary(*bytes);
}

std::optional<std::string> BundleInfo::versionAround(const std::optional<std::string>& program) {
    const auto info = program ? around(*program) : std::nullopt;
    return info ? LidHelperService::bundleVersion(*info) : std::nullopt;
}

} // namespace staywake
