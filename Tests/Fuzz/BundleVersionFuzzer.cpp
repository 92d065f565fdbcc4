// Any bytes as the Info.plist the helper reads its version from for its first log line.

#include "FuzzCheck.h"

#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Bundle/BundleInfo.h"
#include "Support/TemporaryDirectory.h"

void staywake::fuzz::check(std::span<const std::uint8_t> bytes, std::string_view) {
    static const MemoryFile info;
    static const testing::TemporaryDirectory bundle("fuzz-bundle");
    static const bool linked = std::filesystem::create_directories(bundle.path() / "Contents") &&
                               symlink(info.path().c_str(), (bundle.path() / "Contents/Info.plist").c_str()) == 0;
    require(linked, "the bundle's Info.plist leads to the memory file");
    info.hold(bytes);
    const auto version =
        BundleInfo::versionAround((bundle.path() / "Contents/Helpers/StaywakeLidHelper").string());
    if (version) {
        const std::string_view text(*version);
        const auto open = text.find(" (");
        require(open != std::string_view::npos && text.ends_with(')'),
                "a version reads \"short version (build)\"");
        require(LidHelperService::isVersion(text.substr(0, open)), "the short version is safe to log");
        require(LidHelperService::isVersion(text.substr(open + 2, text.size() - open - 3)),
                "the build is safe to log");
    }
}
