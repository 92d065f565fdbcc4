// The core is shared by the app and the root helper and must build anywhere
// the standard library, ICU and libplist do: no toolkit, bus, service manager,
// crypto or POSIX system header may creep into it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::set<std::string>& standardHeaders() {
    static const std::set<std::string> headers = {
        "algorithm", "any", "array", "atomic", "bit", "bitset", "cassert", "cctype", "cerrno",
        "cfloat", "charconv", "chrono", "cinttypes", "climits", "clocale", "cmath", "compare",
        "concepts", "condition_variable", "cstddef", "cstdint", "cstdio", "cstdlib", "cstring",
        "ctime", "cuchar", "cwchar", "cwctype", "deque", "exception", "filesystem", "format",
        "forward_list", "fstream", "functional", "initializer_list", "iomanip", "ios", "iosfwd",
        "iostream", "istream", "iterator", "limits", "list", "locale", "map", "memory", "mutex",
        "new", "numbers", "numeric", "optional", "ostream", "queue", "random", "ranges", "ratio",
        "regex", "set", "shared_mutex", "source_location", "span", "sstream", "stack",
        "stdexcept", "streambuf", "string", "string_view", "system_error", "thread", "tuple",
        "type_traits", "typeindex", "typeinfo", "unordered_map", "unordered_set", "utility",
        "variant", "vector", "version"};
    return headers;
}

// Library prefixes the core may use besides the standard library.
bool isAllowedLibraryHeader(const std::string& header) {
    return header.starts_with("unicode/") || header.starts_with("plist/");
}

TEST(CoreDependencies, IncludesOnlyTheStandardLibraryIcuAndLibplist) {
    const fs::path root = fs::path(STAYWAKE_SOURCE_DIR) / "Sources" / "StaywakeCore";
    ASSERT_TRUE(fs::is_directory(root)) << root;

    const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    int filesRead = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto extension = entry.path().extension();
        if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) {
            continue;
        }
        ++filesRead;
        std::ifstream file(entry.path());
        std::string line;
        int number = 0;
        while (std::getline(file, line)) {
            ++number;
            std::smatch match;
            if (!std::regex_search(line, match, include)) {
                continue;
            }
            const std::string header = match[2];
            const bool quoted = match[1] == "\"";
            const bool allowed = quoted ? header.starts_with("StaywakeCore/")
                                        : standardHeaders().contains(header) || isAllowedLibraryHeader(header);
            EXPECT_TRUE(allowed) << entry.path().string() << ":" << number << " includes " << header;
        }
    }
    EXPECT_GT(filesRead, 0);
}

} // namespace
