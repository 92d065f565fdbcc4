#pragma once

#include <string>
#include <string_view>

namespace staywake {

/// `bytes` as valid UTF-8: every ill-formed sequence (stray continuation bytes,
/// truncated or overlong sequences, encoded surrogates, values past U+10FFFF)
/// becomes U+FFFD, one per maximal ill-formed subpart. Valid input comes back
/// unchanged, embedded NUL bytes included.
std::string repairedUtf8(std::string_view bytes);

} // namespace staywake
