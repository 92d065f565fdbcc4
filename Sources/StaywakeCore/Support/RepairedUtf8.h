#pragma once

#include <string>
#include <string_view>

namespace staywake {

/// Whether `bytes` is well-formed UTF-8 (embedded NUL bytes allowed).
bool isWellFormedUtf8(std::string_view bytes);

/// `bytes` as valid UTF-8: every ill-formed sequence (stray continuation bytes,
/// truncated or overlong sequences, encoded surrogates, values past U+10FFFF)
/// becomes U+FFFD, one per maximal ill-formed subpart. Valid input comes back
/// unchanged, embedded NUL bytes included.
std::string repairedUtf8(std::string_view bytes);

} // namespace staywake
