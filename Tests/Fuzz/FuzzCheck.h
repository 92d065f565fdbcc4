#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace staywake::fuzz {

/// A broken invariant is a crash to libFuzzer: it keeps the input and stops.
inline void require(bool holds, std::string_view invariant) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %.*s\n", static_cast<int>(invariant.size()), invariant.data());
        std::abort();
    }
}

} // namespace staywake::fuzz
