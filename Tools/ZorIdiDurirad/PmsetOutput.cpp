#include "ZorIdiDurirad/PmsetOutput.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace staywake {

namespace {

using Words = std::vector<std::string_view>;

// One code point of UTF-8 text: its value and its length in bytes. A byte that
// does not start a well-formed sequence counts as a code point of its own that
// is neither a line break nor white space, so stray bytes stay inside a word.
struct CodePoint {
    char32_t value;
    std::size_t length;
};

CodePoint codePointAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return {char32_t{lead}, 1};
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if (lead >= 0xC0 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF7) {
        length = 4;
        value = lead & 0x07u;
        smallest = 0x10000;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= text.size() || (byte(at + i) & 0xC0) != 0x80) {
            length = 0;
            break;
        }
        value = (value << 6) | (byte(at + i) & 0x3Fu);
    }
    // Overlong forms and surrogates are stray bytes too: an overlong line feed
    // must not cut a line.
    if (length == 0 || value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return {char32_t{0xFFFD}, 1};
    }
    return {value, length};
}

bool isLineBreak(char32_t c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }

// Unicode's White_Space property. Line breaks are in it too, but never reach
// the word split: lines are cut at them first.
bool isWhiteSpace(char32_t c) {
    return c == 0x09 || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
           c == 0x205F || c == 0x3000 || isLineBreak(c);
}

// Splits at every code point the predicate picks, leaving out empty pieces.
// Cutting at each break on its own is enough for CR LF: the empty piece
// between the two is left out.
template <typename Separator> Words split(std::string_view text, Separator isSeparator) {
    Words pieces;
    std::size_t pieceStart = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const CodePoint point = codePointAt(text, at);
        if (isSeparator(point.value)) {
            if (at > pieceStart) {
                pieces.push_back(text.substr(pieceStart, at - pieceStart));
            }
            pieceStart = at + point.length;
        }
        at += point.length;
    }
    if (at > pieceStart) {
        pieces.push_back(text.substr(pieceStart));
    }
    return pieces;
}

std::string joined(Words::const_iterator first, Words::const_iterator last) {
    std::string text;
    for (auto word = first; word != last; ++word) {
        if (!text.empty()) {
            text += ' ';
        }
        text += *word;
    }
    return text;
}

} // namespace

SleepDisabledReading PmsetOutput::sleepDisabled(std::string_view listing) {
    std::vector<Words> lines;
    for (const auto line : split(listing, isLineBreak)) {
        lines.push_back(split(line, isWhiteSpace));
    }

    char foundValue = 0;
    bool hasHeader = false;
    for (const auto& words : lines) {
        if (words.empty()) {
            continue; // a line of blanks only
        }
        if (words.front() != "SleepDisabled") {
            hasHeader = hasHeader || joined(words.begin(), words.end()) == "Currently in use:";
            continue;
        }
        if (words.size() != 2 || (words[1] != "0" && words[1] != "1")) {
            return SleepDisabledReading::unreadable("SleepDisabled line without a single 0 or 1: \"" +
                                                    joined(words.begin() + 1, words.end()) + "\"");
        }
        const char value = words[1].front();
        if (foundValue != 0 && value != foundValue) {
            return SleepDisabledReading::unreadable("SleepDisabled reported both 0 and 1");
        }
        foundValue = value;
    }

    if (foundValue != 0) {
        return foundValue == '1' ? SleepDisabledReading::disabled() : SleepDisabledReading::enabled();
    }
    if (hasHeader) {
        return SleepDisabledReading::enabled();
    }
    return SleepDisabledReading::unreadable(
        "no SleepDisabled line, and no \"Currently in use:\" \xE2\x80\x94 this is not pmset -g output");
}

} // namespace staywake
