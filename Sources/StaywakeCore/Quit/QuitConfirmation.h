#pragma once

#include "StaywakeCore/Wording/LocalizableText.h"

#include <optional>
#include <string>

namespace staywake {

/// What a quit asked for by the user has to confirm: nothing, the end of
/// awake mode, or the end of Night Brew, with the whole minutes left.
struct QuitConfirmation {
    enum class Kind { awakeMode, nightBrew, quitNow };

    Kind kind = Kind::quitNow;
    /// Seconds left, rounded down to whole minutes and at least 60; absent for
    /// a session without a deadline or with less than a minute left.
    std::optional<double> remaining;

    /// Night Brew whenever it keeps the lid closed awake (whatever the awake
    /// session says), awake mode while that is on, otherwise nothing to ask.
    static QuitConfirmation asked(bool isAwakeOn, bool keepsLidClosedAwake, std::optional<double> remaining);

    /// Every case but quitNow is confirmed first.
    bool asksFirst() const { return kind != Kind::quitNow; }

    /// The alert's texts. The message is `remainingLine` (when there is one),
    /// a blank, then `consequence`.
    struct Copy {
        LocalizableText title;
        std::optional<LocalizableText> remainingLine;
        LocalizableText consequence;
        LocalizableText confirm;
        LocalizableText cancel;
    };

    /// The texts for this confirmation, with the time left worded in `locale`
    /// (an ICU locale identifier); absent for quitNow.
    std::optional<Copy> copy(const std::string& locale) const;

    friend bool operator==(const QuitConfirmation&, const QuitConfirmation&) = default;
};

} // namespace staywake
