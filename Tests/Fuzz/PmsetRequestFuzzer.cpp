// Any bytes as the pmset tool's argument list, NUL-separated.

#include "FuzzCheck.h"

#include "pmset/PmsetRequest.h"

#include <vector>

void staywake::fuzz::check(std::span<const std::uint8_t>, std::string_view input) {
    std::vector<std::string_view> arguments;
    for (std::size_t start = 0; !input.empty() && start <= input.size();) {
        const auto end = std::min(input.find('\0', start), input.size());
        arguments.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    using Words = std::vector<std::string_view>;
    if (const auto request = PmsetRequest::parse(arguments)) {
        const Words write{"-a", "disablesleep", request->disableSleep ? "1" : "0"};
        const Words spelt = request->kind == PmsetRequest::Kind::read   ? Words{"-g"}
                            : request->kind == PmsetRequest::Kind::hold ? Words{"--hold"}
                                                                        : write;
        require(std::ranges::equal(spelt, arguments), "only the exact command lines parse");
    }
}
