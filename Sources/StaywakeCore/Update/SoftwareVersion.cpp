#include "StaywakeCore/Update/SoftwareVersion.h"

#include <optional>

namespace staywake::SoftwareVersion {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

struct Run {
    std::string_view text;
    bool isNumber = false;
};

/// The next run of digits or letters from `rest`, which it consumes.
std::optional<Run> nextRun(std::string_view& rest) {
    while (!rest.empty() && !isDigit(rest.front()) && !isLetter(rest.front())) {
        rest.remove_prefix(1);
    }
    if (rest.empty()) {
        return std::nullopt;
    }
    const bool number = isDigit(rest.front());
    std::size_t length = 0;
    while (length < rest.size() && (number ? isDigit(rest[length]) : isLetter(rest[length]))) {
        ++length;
    }
    Run run{rest.substr(0, length), number};
    rest.remove_prefix(length);
    return run;
}

/// Numbers of any length: leading zeros dropped, then the longer is larger.
std::strong_ordering compareNumbers(std::string_view a, std::string_view b) {
    const auto significant = [](std::string_view digits) {
        const auto first = digits.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view{} : digits.substr(first);
    };
    a = significant(a);
    b = significant(b);
    if (a.size() != b.size()) {
        return a.size() <=> b.size();
    }
    return a.compare(b) <=> 0;
}

/// A run against the end of the other text.
std::strong_ordering compareWithEnd(const Run& run) {
    if (!run.isNumber) {
        return std::strong_ordering::less; // a pre-release comes before the release
    }
    return compareNumbers(run.text, "0");
}

} // namespace

std::strong_ordering compare(std::string_view a, std::string_view b) {
    while (true) {
        const auto left = nextRun(a);
        const auto right = nextRun(b);
        if (!left && !right) {
            return std::strong_ordering::equal;
        }
        std::strong_ordering order = std::strong_ordering::equal;
        if (!right) {
            order = compareWithEnd(*left);
        } else if (!left) {
            order = 0 <=> compareWithEnd(*right);
        } else if (left->isNumber != right->isNumber) {
            order = left->isNumber ? std::strong_ordering::greater : std::strong_ordering::less;
        } else if (left->isNumber) {
            order = compareNumbers(left->text, right->text);
        } else {
            order = left->text.compare(right->text) <=> 0;
        }
        if (order != std::strong_ordering::equal) {
            return order;
        }
    }
}

} // namespace staywake::SoftwareVersion
