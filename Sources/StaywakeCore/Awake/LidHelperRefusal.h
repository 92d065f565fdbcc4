#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace staywake {

/// A reason the lid helper gives for refusing or ending a lease, carried
/// between the processes as its wire text (`reason()`). Every text it holds is
/// valid UTF-8. Immutable; usable from any thread.
class LidHelperRefusal {
public:
    enum class Kind {
        settingUnreadable,
        settingUnwritten,
        settingNotPutBack,
        unrecognized,
        deadlineNotANumber,
        settingOnElsewhere,
        settingTurnedOffElsewhere,
    };

    static constexpr std::string_view settingUnreadablePrefix =
        "The sleep setting could not be read, so it was left as it is: ";
    static constexpr std::string_view settingUnwrittenPrefix = "The sleep setting could not be written: ";
    static constexpr std::string_view settingNotPutBackPrefix =
        "The sleep setting could not be put back, and the helper is still trying: ";
    static constexpr std::string_view deadlineNotANumberText = "The lease deadline is not a number.";
    static constexpr std::string_view settingOnElsewhereText =
        "The sleep setting is already on, set by something other than Staywake, and was left as it is.";
    static constexpr std::string_view settingTurnedOffElsewhereText =
        "The sleep setting was turned off by something other than Staywake, and was left off.";

    /// Reads a reply text; first match wins:
    /// the three whole sentences give their cases; a text that starts, byte for
    /// byte, with one of the three prefixes gives that case with the rest as its
    /// detail (possibly empty); anything else is `unrecognized` with the whole
    /// text. Ill-formed UTF-8 in the detail or text becomes U+FFFD.
    explicit LidHelperRefusal(std::string_view reason);

    static LidHelperRefusal settingUnreadable(std::string_view detail);
    static LidHelperRefusal settingUnwritten(std::string_view detail);
    static LidHelperRefusal settingNotPutBack(std::string_view detail);
    static LidHelperRefusal unrecognized(std::string_view reason);
    static LidHelperRefusal deadlineNotANumber();
    static LidHelperRefusal settingOnElsewhere();
    static LidHelperRefusal settingTurnedOffElsewhere();

    Kind kind() const { return kind_; }
    /// The detail of settingUnreadable, settingUnwritten and settingNotPutBack;
    /// absent for the other cases.
    std::optional<std::string> detail() const;
    /// The wire text: the fixed sentence, the prefix followed by the detail, or
    /// for `unrecognized` the text itself. Reading it back gives the same case.
    std::string reason() const;

    friend bool operator==(const LidHelperRefusal&, const LidHelperRefusal&) = default;

private:
    LidHelperRefusal(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

    Kind kind_;
    // The detail, or the whole text of an unrecognized reason; empty otherwise.
    std::string text_;
};

} // namespace staywake
