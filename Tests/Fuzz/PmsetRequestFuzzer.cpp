// The pmset tool accepts two command lines, and its own hold mode, and nothing else. The input is the
// argument list, NUL-separated; whatever parses must be one of the two
// command lines, spelt exactly.

#include "FuzzCheck.h"

#include "pmset/PmsetRequest.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

using staywake::PmsetRequest;
using staywake::fuzz::require;

namespace {

std::vector<std::string_view> commandLine(const PmsetRequest& request) {
    if (request.kind == PmsetRequest::Kind::read) {
        return {"-g"};
    }
    if (request.kind == PmsetRequest::Kind::hold) {
        return {"--hold"};
    }
    return {"-a", "disablesleep", request.disableSleep ? "1" : "0"};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string_view> arguments;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start <= input.size();) {
        const auto end = std::min(input.find('\0', start), input.size());
        arguments.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    if (size == 0) {
        arguments.clear();
    }

    if (const auto request = PmsetRequest::parse(arguments)) {
        require(std::ranges::equal(commandLine(*request), arguments), "only the exact command lines parse");
    }
    return 0;
}
