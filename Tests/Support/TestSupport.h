#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

/// Skips a test that cannot run here (it needs root, or a missing tool or
/// service), with the reason. CI sets STAYWAKE_NO_SKIP (.ci/run), under which
/// the same case fails instead: everything it expects to run must run.
#define STAYWAKE_SKIP(reason)                                                                                     \
    do {                                                                                                          \
        if (std::getenv("STAYWAKE_NO_SKIP") != nullptr) {                                                         \
            FAIL() << "expected to run, but: " << (reason);                                                       \
        }                                                                                                         \
        GTEST_SKIP() << (reason);                                                                                 \
    } while (false)

namespace staywake::testing {

/// Whether this build runs under AddressSanitizer, which makes every process step several times slower.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool isSanitized = true;
#else
inline constexpr bool isSanitized = false;
#endif

} // namespace staywake::testing
