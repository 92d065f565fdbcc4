#pragma once

#include <compare>
#include <string_view>

namespace staywake::SoftwareVersion {

/// Orders two version texts the way release numbering reads: they are split
/// into runs of digits and runs of letters (anything else only separates), and
/// compared run by run. Digit runs compare as numbers of any length, letter
/// runs lexically, and a number is newer than text in the same place ("1.2.1"
/// after "1.2rc1"). Where one text ends, a missing number counts as 0 ("1.2" ==
/// "1.2.0" < "1.2.1") and a letter run marks a pre-release ("1.2b3" < "1.2").
std::strong_ordering compare(std::string_view a, std::string_view b);

} // namespace staywake::SoftwareVersion
