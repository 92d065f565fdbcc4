// The core is shared by the app and the root helper and must build anywhere
// the standard library, ICU and libplist do: no toolkit, bus, service manager,
// crypto or POSIX system header may creep into it.

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(CoreDependencies, IncludesOnlyTheStandardLibraryIcuAndLibplist) {
    const fs::path root = fs::path(STAYWAKE_SOURCE_DIR) / "Sources" / "StaywakeCore";
    ASSERT_TRUE(fs::is_directory(root)) << root;
    const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    // Standard library headers are named in lower case without a folder or an
    // extension; ICU and libplist are the only libraries allowed besides.
    const std::regex library(R"(([a-z_]+)|(unicode|plist)/[a-z0-9_]+\.h)");
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::ifstream file(entry.path());
        std::smatch match;
        for (std::string line; std::getline(file, line);) {
            if (std::regex_search(line, match, include)) {
                const std::string header = match[2];
                EXPECT_TRUE(match[1] == "\"" ? header.starts_with("StaywakeCore/")
                                             : std::regex_match(header, library))
                    << entry.path().string() << " includes " << header;
            }
        }
    }
}

} // namespace
