#pragma once

#include <string>
#include <utility>
#include <vector>

namespace staywake {

/// An interface text as the translation layer needs it: the table it lives in,
/// its key and its arguments, kept apart so that the template is translated
/// before the arguments go in.
///
/// The key is the English source text. Arguments are marked "%1", "%2", ... as
/// Qt's QString::arg expects, and arrive already formatted for the locale (a
/// countdown, a duration). A translation layer looks the key up in `table`
/// (its translation context) and then fills in the arguments in order.
struct LocalizableText {
    /// The table of most interface texts.
    static constexpr const char* defaultTable = "Localizable";
    /// The table of the Night Brew texts.
    static constexpr const char* nightBrewTable = "NightBrew";

    std::string table;
    std::string key;
    std::vector<std::string> arguments;

    /// A text of the default table.
    static LocalizableText localizable(std::string key, std::vector<std::string> arguments = {}) {
        return {defaultTable, std::move(key), std::move(arguments)};
    }
    /// A text of the Night Brew table.
    static LocalizableText nightBrew(std::string key, std::vector<std::string> arguments = {}) {
        return {nightBrewTable, std::move(key), std::move(arguments)};
    }

    /// The untranslated text: the key with each "%n" replaced by argument n, in
    /// one pass (an argument that itself contains "%1" stays as it is). A
    /// marker without an argument is left in place.
    std::string english() const;

    friend bool operator==(const LocalizableText&, const LocalizableText&) = default;
};

} // namespace staywake
