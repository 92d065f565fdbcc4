// The bundle's Info.plist as the helper reads it for its first log line: any
// bytes in Contents/Info.plist. The version is either absent or
// "short version (build)" with both parts safe to log as they are.

#include "FuzzCheck.h"

#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Bundle/BundleInfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace LidHelperService = staywake::LidHelperService;
using staywake::fuzz::require;

namespace {

// A bundle in a temporary folder, removed when the fuzzer exits. In memory
// where there is a memory file system: rewriting a file on disk for every
// input can wait for the disk.
class TemporaryBundle {
public:
    TemporaryBundle() {
        std::error_code noMemory;
        const std::filesystem::path parent = std::filesystem::is_directory("/dev/shm", noMemory)
                                                 ? std::filesystem::path("/dev/shm")
                                                 : std::filesystem::temp_directory_path();
        std::string pattern = (parent / "fuzz-bundle-XXXXXX").string();
        require(mkdtemp(pattern.data()) != nullptr, "a temporary folder can be created");
        root_ = pattern;
        std::filesystem::create_directories(root_ / "Contents" / "Helpers");
    }
    ~TemporaryBundle() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TemporaryBundle(const TemporaryBundle&) = delete;
    TemporaryBundle& operator=(const TemporaryBundle&) = delete;

    std::string executable() const { return (root_ / "Contents" / "Helpers" / "StaywakeLidHelper").string(); }

    void holdInfoPlist(const std::uint8_t* data, std::size_t size) const {
        std::ofstream file(root_ / "Contents" / "Info.plist", std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        require(file.good(), "the Info.plist can be written");
    }

private:
    std::filesystem::path root_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TemporaryBundle bundle;
    bundle.holdInfoPlist(data, size);
    const auto version = staywake::BundleInfo::versionAround(bundle.executable());
    if (!version) {
        return 0;
    }
    const std::string_view text(*version);
    const auto open = text.find(" (");
    require(open != std::string_view::npos && text.ends_with(')'), "a version reads \"short version (build)\"");
    require(LidHelperService::isVersion(text.substr(0, open)), "the short version is safe to log");
    require(LidHelperService::isVersion(text.substr(open + 2, text.size() - open - 3)),
            "the build is safe to log");
    return 0;
}
