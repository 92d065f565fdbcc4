#pragma once

#include <string>
#include <string_view>

namespace staywake {

/// The bytes as UTF-8 text, every invalid sequence replaced by U+FFFD. Each
/// maximal subpart of an ill-formed sequence becomes one U+FFFD (the practice
/// the Unicode Standard recommends, chapter 3.9), so "\xE2\x82" at the end of a
/// cut-off output is one replacement and "\xED\xA0\x80" (a surrogate) is three.
std::string replacingInvalidUtf8(std::string_view bytes);

} // namespace staywake
